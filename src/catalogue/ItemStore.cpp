#include "ItemStore.h"

#include "Error.h"

namespace vestor {

ItemStore::ItemStore(std::span<const ItemColumn> declared)
{
    columns_.push_back({"RECNO", false, {}, {}, {}});
    for (const ItemColumn &c : declared)
        columns_.push_back({c.name, c.kind == ColumnKind::String, {}, {}, {}});
    textIndexes_.resize(columns_.size());
}

void ItemStore::reserve(std::size_t rows)
{
    recno_.reserve(rows);
    for (Column &c : columns_) {
        if (c.text)
            c.ends.reserve(rows);
        else if (&c != &columns_[0])
            c.numbers.reserve(rows);
    }
}

void ItemStore::endText()
{
    Column &c = columns_[next_++];
    if (c.chars.size() > std::numeric_limits<std::uint32_t>::max())
        throw Error(QStringLiteral("The item table is too large: the texts of column %1 exceed 4 GB")
                        .arg(QString::fromLatin1(c.name)));
    c.ends.push_back(std::uint32_t(c.chars.size()));
}

const std::vector<std::uint32_t> &ItemStore::rowsWithText(int column, std::string_view value) const
{
    static const std::vector<std::uint32_t> none;
    auto &index = textIndexes_[column];
    if (!index) {
        index = std::make_unique<TextIndex>();
        for (std::size_t row = 0; row < rowCount(); ++row)
            (*index)[text(column, row)].push_back(std::uint32_t(row));
    }
    const auto it = index->find(value);
    return it == index->end() ? none : it->second;
}

} // namespace vestor
