#pragma once

// The loaded item table, column by column, rows in file order: what the
// virtual table Subjects.dbf serves to SQLite. Column 0 is RECNO, the
// record's position in the file; columns 1.. are the declared columns.

#include "catalogue/Columns.h"

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
    class Builder;

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
    // for the item type column, while loading.
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
    // The item type column, which every best-item query filters by equality; -1 if none.
    int typeColumn() const { return typeColumn_; }

    // The rows of one code of a text column in the order of a number column:
    // by value, null first as in SQLite, equal values in file order. Made on first use.
    const std::vector<std::uint32_t> &sorted(int textColumn, std::uint32_t code, int numberColumn) const;

private:
    // `typeColumn` indexes `declared`, or is -1.
    ItemStore(std::span<const ItemColumn> declared, int typeColumn);

    // Numbers are kept as floats, half the memory, while every value of the
    // column is one exactly (whole numbers, halves, quarters...); the first
    // that is not turns the column to doubles.
    struct Column {
        const char *name = nullptr;
        bool text = false;
        bool wide = false;
        std::vector<float> floats;
        std::vector<double> doubles;
        std::string chars;                                          // every value, one after another
        std::vector<std::pair<std::uint32_t, std::uint32_t>> spans; // by row: where in chars, how long
    };

    void reserve(std::size_t rows);
    void addNumber(int column, double v)
    {
        Column &c = columns_[column];
        if (!c.wide && (isNull(v) || (std::fabs(v) <= std::numeric_limits<float>::max() && double(float(v)) == v)))
            c.floats.push_back(float(v));
        else
            widen(c).push_back(v);
    }
    void endText(int column, std::size_t start);
    void checkTextSize(int column, std::size_t bytes) const;
    static std::vector<double> &widen(Column &c);

    std::vector<Column> columns_;
    std::vector<std::int64_t> recno_;
    int typeColumn_ = -1;
    mutable std::vector<std::unique_ptr<Codes>> codes_;
    mutable std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> sorted_;
};

// Fills a store one whole row at a time, in file order; the only way to make one.
class ItemStore::Builder
{
public:
    // `typeColumn` indexes `declared` (-1 for none); `expectedRows` is a hint.
    Builder(std::span<const ItemColumn> declared, int typeColumn, std::size_t expectedRows);

    // One row's values, given in column order.
    class Row
    {
    public:
        void number(double v) { store_.addNumber(next_++, v); }
        // `append(std::string &)` appends the value's UTF-8 bytes to the string it is given.
        template <typename Append> void text(Append &&append)
        {
            std::string &chars = store_.columns_[next_].chars;
            const std::size_t start = chars.size();
            append(chars);
            store_.endText(next_++, start);
        }

    private:
        friend class Builder;
        explicit Row(ItemStore &store) : store_(store) {}
        ItemStore &store_;
        int next_ = 1; // column 0 is RECNO
    };

    // Adds the record numbered `recno`: `fill(Row &)` gives every declared column its value.
    template <typename Fill> void addRow(std::int64_t recno, Fill &&fill)
    {
        startRow(recno);
        Row row(*store_);
        fill(row);
        endRow(row.next_);
    }

    // Appends the rows `part` was given: a load split into ranges of records
    // fills one builder per range, and the first gathers the rest in file order.
    // The store is the same as if one builder had been given every row.
    void append(Builder &&part);

    std::shared_ptr<const ItemStore> finish() { return std::move(store_); }

private:
    void startRow(std::int64_t recno);
    void checkRowCount(std::size_t rows) const;
    void endRow(int columnsGiven) const;
    std::shared_ptr<ItemStore> store_;
};

} // namespace vestor
