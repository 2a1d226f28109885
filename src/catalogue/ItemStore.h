#pragma once

// The loaded item table, column by column, rows in file order: what the
// virtual table Subjects.dbf serves to SQLite. Column 0 is RECNO, the
// record's position in the file; columns 1.. are the declared columns.

#include "Columns.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vestor {

class ItemStore
{
public:
    explicit ItemStore(std::span<const ItemColumn> declared);
    ItemStore(const ItemStore &) = delete;
    ItemStore &operator=(const ItemStore &) = delete;

    // A number column's null: no dBase number reads as NaN, so NaN can stand for it.
    static constexpr double kNull = std::numeric_limits<double>::quiet_NaN();
    static bool isNull(double v) { return std::isnan(v); }
    // SQLite's order of numbers: NULL first.
    static bool less(double x, double y) { return isNull(x) ? !isNull(y) : !isNull(y) && x < y; }

    int columnCount() const { return int(columns_.size()); }
    const char *columnName(int column) const { return columns_[column].name; }
    bool isText(int column) const { return columns_[column].text; }
    std::size_t rowCount() const { return recno_.size(); }

    std::int64_t recno(std::uint32_t row) const { return recno_[row]; } // grows with the row
    double number(int column, std::uint32_t row) const
    {
        const Column &c = columns_[column];
        return c.wide ? c.doubles[row] : double(c.floats[row]);
    }
    // Calls f with the column's values by row: a const float * or a const double *.
    template <typename F> decltype(auto) withNumbers(int column, F &&f) const
    {
        const Column &c = columns_[column];
        return c.wide ? f(c.doubles.data()) : f(c.floats.data());
    }
    std::string_view text(int column, std::uint32_t row) const
    {
        const Column &c = columns_[column];
        return {c.chars.data() + c.spans[row].first, c.spans[row].second};
    }

    // A text column's values as small numbers: the code of each row, the code
    // of each value, and each code's rows in file order. Made on first use;
    // for the item type column (the first text column), while loading.
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };
    struct Codes {
        std::vector<std::uint32_t> code;
        std::unordered_map<std::string, std::uint32_t, Hash, std::equal_to<>> of;
        std::vector<std::vector<std::uint32_t>> rows;
        void add(std::string_view value, std::uint32_t row);
    };
    const Codes &codes(int column) const;
    int typeColumn() const { return typeColumn_; }

    // The rows of one code of a text column in the order of a number column:
    // by value, null first as in SQLite, equal values in file order. Made on first use.
    const std::vector<std::uint32_t> &sorted(int textColumn, std::uint32_t code, int numberColumn) const;

    // Loading, one row at a time in file order: addRow(), then each declared
    // column's value: addNumber(), or the text appended to textBuffer()
    // followed by addText().
    void reserve(std::size_t rows);
    void addRow(std::int64_t recno);
    void addNumber(int column, double v)
    {
        Column &c = columns_[column];
        if (!c.wide && (isNull(v) || (std::fabs(v) <= std::numeric_limits<float>::max() && double(float(v)) == v)))
            c.floats.push_back(float(v));
        else
            widen(c).push_back(v);
    }
    std::string &textBuffer(int column) { return columns_[column].chars; }
    void addText(int column, std::size_t start);

private:
    // Numbers are kept as floats, half the memory, while every value of the
    // column is one exactly (whole numbers, halves, quarters...); the first
    // that is not turns the column to doubles.
    struct Column {
        const char *name;
        bool text;
        bool wide = false;
        std::vector<float> floats;
        std::vector<double> doubles;
        std::string chars;                                          // every value, one after another
        std::vector<std::pair<std::uint32_t, std::uint32_t>> spans; // by row: where in chars, how long
    };

    static std::vector<double> &widen(Column &c);

    std::vector<Column> columns_;
    std::vector<std::int64_t> recno_;
    int typeColumn_ = -1;
    mutable std::vector<std::unique_ptr<Codes>> codes_;
    mutable std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> sorted_;
};

} // namespace vestor
