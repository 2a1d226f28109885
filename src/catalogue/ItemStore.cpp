#include "ItemStore.h"

#include "Error.h"

namespace vestor {

ItemStore::ItemStore(std::span<const ItemColumn> declared)
{
    columns_.push_back({"RECNO", false, {}, {}, {}});
    for (const ItemColumn &c : declared) {
        columns_.push_back({c.name, c.kind == ColumnKind::String, {}, {}, {}});
        if (groupColumn_ < 0 && columns_.back().text)
            groupColumn_ = int(columns_.size()) - 1;
    }
    codes_.resize(columns_.size());
}

void ItemStore::setLayout(std::vector<std::pair<std::string, std::uint32_t>> groupStarts,
                          std::vector<std::uint32_t> fileOrder)
{
    const std::size_t rows = fileOrder.size();
    recno_.assign(rows, 0);
    for (std::size_t c = 1; c < columns_.size(); ++c) {
        if (columns_[c].text)
            columns_[c].spans.assign(rows, {0, 0});
        else
            columns_[c].numbers.assign(rows, kNull);
    }
    groups_.clear();
    for (std::size_t g = 0; g < groupStarts.size(); ++g) {
        const std::uint32_t end = g + 1 < groupStarts.size() ? groupStarts[g + 1].second : std::uint32_t(rows);
        groups_.emplace(std::move(groupStarts[g].first), std::pair{groupStarts[g].second, end});
    }
    fileOrder_ = std::move(fileOrder);
}

void ItemStore::setText(int column, std::uint32_t row, std::size_t start)
{
    Column &c = columns_[column];
    if (c.chars.size() > std::numeric_limits<std::uint32_t>::max())
        throw Error(QStringLiteral("The item table is too large: the texts of column %1 exceed 4 GB")
                        .arg(QString::fromLatin1(c.name)));
    c.spans[row] = {std::uint32_t(start), std::uint32_t(c.chars.size() - start)};
}

std::pair<std::uint32_t, std::uint32_t> ItemStore::group(std::string_view value) const
{
    const auto it = groups_.find(std::string(value));
    return it == groups_.end() ? std::pair<std::uint32_t, std::uint32_t>{0, 0} : it->second;
}

const ItemStore::Codes &ItemStore::codes(int column) const
{
    auto &codes = codes_[column];
    if (!codes) {
        codes = std::make_unique<Codes>();
        codes->code.resize(rowCount());
        for (std::uint32_t row = 0; row < rowCount(); ++row) {
            const auto [it, added] = codes->of.try_emplace(text(column, row), std::uint32_t(codes->rows.size()));
            if (added)
                codes->rows.emplace_back();
            codes->code[row] = it->second;
            codes->rows[it->second].push_back(row);
        }
    }
    return *codes;
}

} // namespace vestor
