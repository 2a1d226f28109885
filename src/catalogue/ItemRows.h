#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace vestor {

class ItemStore;

// A read-only look at the loaded item table, rows in file order, for readers
// outside the catalogue (the best set, the catalogue window). Cheap to copy;
// keeps the loaded rows alive; reads straight from them, no copy per cell.
// Columns are numbered as kItemColumns: 0 TYPE, 1 NAME, 2 PRICE, ...
class ItemRows
{
public:
    ItemRows() = default;
    explicit ItemRows(std::shared_ptr<const ItemStore> store);

    int rowCount() const;
    // The record's position in the file, from 1, deleted records counted.
    std::int64_t recordNumber(int row) const;
    // A text column's value, UTF-8, padding stripped.
    std::string_view utf8(int column, int row) const;
    QString text(int column, int row) const { return QString::fromUtf8(utf8(column, row)); }
    // A number column's value; nothing for a blank field.
    std::optional<double> number(int column, int row) const;

private:
    std::shared_ptr<const ItemStore> store_;
};

} // namespace vestor
