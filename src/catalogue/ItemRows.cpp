#include "catalogue/ItemRows.h"

#include "catalogue/ItemStore.h"

namespace vestor {

namespace {
// The store's column 0 is RECNO; the declared columns follow it.
constexpr int kFirstDeclared = 1;
} // namespace

ItemRows::ItemRows(std::shared_ptr<const ItemStore> store) : store_(std::move(store)) {}

int ItemRows::rowCount() const { return store_ ? int(store_->rowCount()) : 0; }

std::int64_t ItemRows::recordNumber(int row) const { return store_->recno(std::uint32_t(row)); }

std::string_view ItemRows::utf8(int column, int row) const
{
    return store_->text(column + kFirstDeclared, std::uint32_t(row));
}

std::optional<double> ItemRows::number(int column, int row) const
{
    const double v = store_->number(column + kFirstDeclared, std::uint32_t(row));
    return ItemStore::isNull(v) ? std::nullopt : std::optional<double>(v);
}

} // namespace vestor
