#pragma once

// The loaded item table, column by column: what the virtual table Subjects.dbf
// serves to SQLite. Column 0 is RECNO, the record's position in the file;
// columns 1.. are the declared columns in their order.
//
// Rows are grouped by the value of the first text column (TYPE): every
// best-item query names one or two item types, and a group's rows lie
// together in every column. Within a group they keep the file's order.

#include "Columns.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vestor {

class ItemStore {
public:
    explicit ItemStore(std::span<const ItemColumn> declared);
    ItemStore(const ItemStore &) = delete;
    ItemStore &operator=(const ItemStore &) = delete;

    // A number column's null: no dBase number reads as NaN, so NaN can stand for it.
    static constexpr double kNull = std::numeric_limits<double>::quiet_NaN();
    static bool isNull(double v) { return std::isnan(v); }

    int columnCount() const { return int(columns_.size()); }
    const char *columnName(int column) const { return columns_[column].name; }
    bool isText(int column) const { return columns_[column].text; }
    std::size_t rowCount() const { return recno_.size(); }

    std::int64_t recno(std::uint32_t row) const { return recno_[row]; }
    double number(int column, std::uint32_t row) const { return columns_[column].numbers[row]; }
    const double *numbers(int column) const { return columns_[column].numbers.data(); }
    std::string_view text(int column, std::uint32_t row) const
    {
        const Column &c = columns_[column];
        return {c.chars.data() + c.spans[row].first, c.spans[row].second};
    }

    // The column whose groups the rows lie in; -1 when there is no text column.
    int groupColumn() const { return groupColumn_; }
    // The rows [first, second) whose group column holds `value`; empty when none does.
    std::pair<std::uint32_t, std::uint32_t> group(std::string_view value) const;
    // Every row, in file order.
    const std::vector<std::uint32_t> &fileOrder() const { return fileOrder_; }

    // A text column's values as small numbers, made on first use.
    struct Codes {
        std::vector<std::uint32_t> code;                      // by row
        std::unordered_map<std::string_view, std::uint32_t> of; // value -> code
        std::vector<std::vector<std::uint32_t>> rows;         // code -> its rows, in row order
    };
    const Codes &codes(int column) const;

    // Loading. The loader places each row where its group puts it:
    // setLayout(), then per row setRecno(), the numbers and setText() in any order.
    // `groupStarts` holds each group's value and first row, in row order;
    // `fileOrder` the row of each record, in file order.
    void setLayout(std::vector<std::pair<std::string, std::uint32_t>> groupStarts, std::vector<std::uint32_t> fileOrder);
    void setRecno(std::uint32_t row, std::int64_t recno) { recno_[row] = recno; }
    // A number column's values by row, for the loader to fill.
    double *numbersToFill(int column) { return columns_[column].numbers.data(); }
    // Text is appended to textBuffer(column) by the caller, from `start` on.
    std::string &textBuffer(int column) { return columns_[column].chars; }
    void setText(int column, std::uint32_t row, std::size_t start);

private:
    struct Column {
        const char *name;
        bool text;
        std::vector<double> numbers;
        std::string chars; // every value, in file order
        std::vector<std::pair<std::uint32_t, std::uint32_t>> spans; // by row: where in chars, how long
    };

    std::vector<Column> columns_;
    std::vector<std::int64_t> recno_;
    int groupColumn_ = -1;
    std::unordered_map<std::string, std::pair<std::uint32_t, std::uint32_t>> groups_;
    std::vector<std::uint32_t> fileOrder_;
    mutable std::vector<std::unique_ptr<Codes>> codes_;
};

} // namespace vestor
