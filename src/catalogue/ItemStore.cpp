#include "catalogue/ItemStore.h"

#include "catalogue/Error.h"

#include <algorithm>
#include <stdexcept>

namespace vestor {

ItemStore::ItemStore(std::span<const ItemColumn> declared, int typeColumn)
{
    columns_.resize(declared.size() + 1);
    columns_[0].name = "RECNO";
    for (std::size_t c = 0; c < declared.size(); ++c) {
        columns_[c + 1].name = declared[c].name;
        columns_[c + 1].text = declared[c].kind == ColumnKind::String;
    }
    codes_.resize(columns_.size());
    if (typeColumn >= 0) {
        typeColumn_ = typeColumn + 1; // after RECNO
        codes_[typeColumn_] = std::make_unique<Codes>();
    }
}

void ItemStore::reserve(std::size_t rows)
{
    recno_.reserve(rows);
    for (std::size_t c = 1; c < columns_.size(); ++c) {
        if (columns_[c].text)
            columns_[c].spans.reserve(rows);
        else
            columns_[c].floats.reserve(rows);
    }
    if (typeColumn_ >= 0)
        codes_[typeColumn_]->code.reserve(rows);
}

std::vector<double> &ItemStore::widen(Column &c)
{
    if (!c.wide) {
        c.doubles.reserve(c.floats.capacity());
        c.doubles.assign(c.floats.begin(), c.floats.end());
        std::vector<float>().swap(c.floats);
        c.wide = true;
    }
    return c.doubles;
}

void ItemStore::checkTextSize(int column, std::size_t bytes) const
{
    if (bytes > std::numeric_limits<std::uint32_t>::max())
        throw Error(QStringLiteral("The item table is too large: the texts of column %1 exceed 4 GB")
                        .arg(QString::fromLatin1(columns_[column].name)));
}

void ItemStore::endText(int column, std::size_t start)
{
    Column &c = columns_[column];
    checkTextSize(column, c.chars.size());
    const auto row = std::uint32_t(c.spans.size());
    c.spans.emplace_back(std::uint32_t(start), std::uint32_t(c.chars.size() - start));
    if (column == typeColumn_)
        codes_[column]->add(text(column, row), row);
}

ItemStore::Builder::Builder(std::span<const ItemColumn> declared, int typeColumn, std::size_t expectedRows)
    : store_(new ItemStore(declared, typeColumn))
{
    store_->reserve(expectedRows);
}

void ItemStore::Builder::checkRowCount(std::size_t rows) const
{
    if (rows > std::numeric_limits<std::uint32_t>::max())
        throw Error(QStringLiteral("The item table is too large: it holds more than 4294967295 rows"));
}

void ItemStore::Builder::startRow(std::int64_t recno)
{
    checkRowCount(store_->recno_.size() + 1);
    store_->recno_.push_back(recno);
}

void ItemStore::Builder::append(Builder &&part)
{
    ItemStore &to = *store_;
    const ItemStore &from = *part.store_;
    checkRowCount(to.recno_.size() + from.recno_.size());
    const auto firstRow = std::uint32_t(to.recno_.size());
    to.recno_.insert(to.recno_.end(), from.recno_.begin(), from.recno_.end());
    for (std::size_t c = 1; c < to.columns_.size(); ++c) {
        Column &a = to.columns_[c];
        const Column &b = from.columns_[c];
        if (a.text) {
            const std::size_t start = a.chars.size();
            to.checkTextSize(int(c), start + b.chars.size());
            a.chars += b.chars;
            for (const auto &[at, length] : b.spans)
                a.spans.emplace_back(std::uint32_t(start + at), length);
        } else if (a.wide || b.wide) {
            std::vector<double> &doubles = widen(a);
            if (b.wide)
                doubles.insert(doubles.end(), b.doubles.begin(), b.doubles.end());
            else
                doubles.insert(doubles.end(), b.floats.begin(), b.floats.end());
        } else {
            a.floats.insert(a.floats.end(), b.floats.begin(), b.floats.end());
        }
    }
    // The part's type codes renumbered as they first appear, as one builder would have.
    if (to.typeColumn_ >= 0) {
        Codes &codes = *to.codes_[to.typeColumn_];
        for (std::uint32_t row = 0; row < from.rowCount(); ++row)
            codes.add(from.text(from.typeColumn_, row), firstRow + row);
    }
}

void ItemStore::Builder::endRow(int columnsGiven) const
{
    // Columns of unequal length would serve one row's values as another's.
    if (columnsGiven != store_->columnCount())
        throw std::logic_error("an item row was given " + std::to_string(columnsGiven - 1) + " of its " +
                               std::to_string(store_->columnCount() - 1) + " values");
}

void ItemStore::Codes::add(std::string_view value, std::uint32_t row)
{
    auto it = of.find(value);
    if (it == of.end()) {
        it = of.emplace(std::string(value), std::uint32_t(rows.size())).first;
        rows.emplace_back();
    }
    code.push_back(it->second);
    rows[it->second].push_back(row);
}

const ItemStore::Codes &ItemStore::codes(int column) const
{
    auto &codes = codes_[column];
    if (!codes) {
        codes = std::make_unique<Codes>();
        codes->code.reserve(rowCount());
        for (std::uint32_t row = 0; row < rowCount(); ++row)
            codes->add(text(column, row), row);
    }
    return *codes;
}

const std::vector<std::uint32_t> &ItemStore::sorted(int textColumn, std::uint32_t code, int numberColumn) const
{
    auto &rows = sorted_[std::uint64_t(code) << 16 | std::uint64_t(textColumn) << 8 | std::uint64_t(numberColumn)];
    const std::vector<std::uint32_t> &all = codes(textColumn).rows[code];
    if (!rows.empty() || all.empty())
        return rows;
    // Stats are mostly zero: nulls and zeros are set apart in file order, and
    // only the other values need sorting.
    withNumbers(numberColumn, [&](const auto *v) {
        std::vector<std::uint32_t> nulls, negative, zeros, positive;
        for (std::uint32_t row : all)
            (isNull(v[row]) ? nulls : v[row] < 0 ? negative : v[row] == 0 ? zeros : positive).push_back(row);
        auto byValue = [v](std::uint32_t a, std::uint32_t b) { return v[a] < v[b] || (v[a] == v[b] && a < b); };
        std::sort(negative.begin(), negative.end(), byValue);
        std::sort(positive.begin(), positive.end(), byValue);
        rows.reserve(all.size());
        for (const auto *part : {&nulls, &negative, &zeros, &positive})
            rows.insert(rows.end(), part->begin(), part->end());
    });
    return rows;
}

} // namespace vestor
