#pragma once

// The loaded item table, column by column: what the virtual table Subjects.dbf
// serves to SQLite. Column 0 is RECNO, the record's position in the file;
// columns 1.. are the declared columns in their order.

#include "Columns.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
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

    std::int64_t recno(std::size_t row) const { return recno_[row]; }
    double number(int column, std::size_t row) const { return columns_[column].numbers[row]; }
    std::string_view text(int column, std::size_t row) const
    {
        const Column &c = columns_[column];
        const std::uint32_t start = row ? c.ends[row - 1] : 0;
        return {c.chars.data() + start, c.ends[row] - start};
    }

    // Loading, one row at a time in file order: begin it, append each
    // declared column's value in column order, end it.
    void reserve(std::size_t rows);
    void beginRow(std::int64_t recno) { recno_.push_back(recno); next_ = 1; }
    void appendNumber(double v) { columns_[next_++].numbers.push_back(v); }
    // The text column's buffer, for the decoder to append the value to.
    std::string &textBuffer() { return columns_[next_].chars; }
    void endText();

    // The rows, in file order, whose text column holds exactly `value`.
    // Built for a column on first use.
    const std::vector<std::uint32_t> &rowsWithText(int column, std::string_view value) const;

private:
    struct Column {
        const char *name;
        bool text;
        std::vector<double> numbers;
        std::string chars;                // every value, one after another
        std::vector<std::uint32_t> ends;  // where each row's value ends in chars
    };
    using TextIndex = std::unordered_map<std::string_view, std::vector<std::uint32_t>>;

    std::vector<Column> columns_;
    std::vector<std::int64_t> recno_;
    int next_ = 1;
    mutable std::vector<std::unique_ptr<TextIndex>> textIndexes_;
};

} // namespace vestor
