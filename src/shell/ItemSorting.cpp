// Which rows the catalogue window shows, and in what order.
#include "shell/ItemModel.h"

#include <QStringDecoder>
#include <algorithm>
#include <cmath>
#include <limits>

namespace vestor {

namespace {

constexpr int kLevel = kLevelColumn; // UROV

} // namespace

bool ItemModel::passes(Id id) const
{
    const Filter &f = filter_;
    QByteArray hold;
    auto is = [&](int column, const QByteArray &code) {
        return utf8(id, column, hold) == std::string_view(code.constData(), std::size_t(code.size()));
    };
    static const QByteArray any = QByteArrayLiteral("No");
    auto raceAllows = [&](const QByteArray &code) { return is(kRaceColumn, code) || is(kRaceColumn, any); };
    // A blank level fails, as UROV <= N does in the queries.
    auto levelAllows = [&](int level) { return number(id, kLevel) <= level; };
    if (!f.type.isEmpty() && !is(kTypeColumn, codes_.type))
        return false;
    if (!f.race.isEmpty() && !raceAllows(codes_.race))
        return false;
    if (f.maxLevel > 0 && !levelAllows(f.maxLevel))
        return false;
    if (f.available && !(raceAllows(codes_.available) && levelAllows(f.available->second)))
        return false;
    if (f.name.isEmpty())
        return true;
    const std::string_view name = utf8(id, kNameColumn, hold);
    return QString::fromUtf8(name.data(), qsizetype(name.size())).contains(f.name, Qt::CaseInsensitive);
}

namespace {

// Sorts `ids` by `keyOf`, ties in their present order either way.
template <typename Key, typename KeyOf>
void sortBy(std::vector<std::uint32_t> &ids, Qt::SortOrder order, const KeyOf &keyOf)
{
    std::vector<std::pair<Key, std::uint32_t>> keyed(ids.size());
    for (std::uint32_t i = 0; i < ids.size(); ++i)
        keyed[i] = {keyOf(i), i};
    const bool up = order == Qt::AscendingOrder;
    std::sort(keyed.begin(), keyed.end(), [up](const auto &a, const auto &b) {
        if (a.first < b.first || b.first < a.first)
            return up == (a.first < b.first);
        return a.second < b.second;
    });
    std::vector<std::uint32_t> sorted(ids.size());
    for (std::size_t i = 0; i < keyed.size(); ++i)
        sorted[i] = ids[keyed[i].second];
    ids.swap(sorted);
}

} // namespace

namespace {

// Texts folded to one letter case, as UTF-16, one after another.
struct FoldedTexts {
    std::vector<char16_t> units;
    std::vector<std::uint32_t> start{0}; // text i is units[start[i], start[i + 1])

    void add(std::string_view utf8, QStringDecoder &decoder)
    {
        const std::size_t at = units.size();
        units.resize(at + utf8.size()); // never more UTF-16 units than UTF-8 bytes
        auto *first = reinterpret_cast<QChar *>(units.data() + at);
        QChar *end = decoder.appendToBuffer(first, QByteArrayView(utf8.data(), qsizetype(utf8.size())));
        for (QChar *c = first; c != end; ++c)
            if (!c->isSurrogate())
                *c = c->toCaseFolded();
        units.resize(at + std::size_t(end - first));
        start.push_back(std::uint32_t(units.size()));
    }
    std::u16string_view text(std::uint32_t i) const { return {units.data() + start[i], start[i + 1] - start[i]}; }
    // Four units from `at` as one number that orders as they do; blanks past the end.
    std::uint64_t digit(std::uint32_t i, std::size_t at) const
    {
        const std::u16string_view t = text(i);
        std::uint64_t d = 0;
        for (std::size_t k = at; k < at + 4; ++k)
            d = d << 16 | (k < t.size() ? t[k] : 0);
        return d;
    }
};

// The texts' order, equal ones as they come, four units at a time: only rows that tie so far are read
// again, so long common beginnings cost a pass each, not a comparison each.
std::vector<std::uint32_t> alphabeticalOrder(const FoldedTexts &texts)
{
    const auto n = std::uint32_t(texts.start.size() - 1);
    std::vector<std::pair<std::uint64_t, std::uint32_t>> keyed(n);
    for (std::uint32_t i = 0; i < n; ++i)
        keyed[i] = {texts.digit(i, 0), i};
    std::sort(keyed.begin(), keyed.end());
    struct Run {
        std::size_t begin, end, at;
    };
    std::vector<Run> runs{{0, n, 0}};
    while (!runs.empty()) {
        const Run run = runs.back();
        runs.pop_back();
        for (std::size_t b = run.begin; b < run.end;) {
            std::size_t e = b + 1;
            while (e < run.end && keyed[e].first == keyed[b].first)
                ++e;
            // A tie among texts that go on past these four units.
            if (e - b > 1 && (keyed[b].first & 0xFFFF) != 0) {
                for (std::size_t k = b; k < e; ++k)
                    keyed[k].first = texts.digit(keyed[k].second, run.at + 4);
                std::sort(keyed.begin() + std::ptrdiff_t(b), keyed.begin() + std::ptrdiff_t(e));
                runs.push_back({b, e, run.at + 4});
            }
            b = e;
        }
    }
    std::vector<std::uint32_t> order(n);
    for (std::uint32_t k = 0; k < n; ++k)
        order[k] = keyed[k].second;
    return order;
}

} // namespace

void ItemModel::sortByText(int column)
{
    FoldedTexts texts;
    QStringDecoder decoder(QStringDecoder::Utf8);
    QByteArray hold;
    for (Id id : shown_)
        texts.add(utf8(id, column, hold), decoder);
    const std::vector<std::uint32_t> order = alphabeticalOrder(texts);
    std::vector<Id> sorted;
    sorted.reserve(shown_.size());
    if (sortOrder_ == Qt::AscendingOrder) {
        for (std::uint32_t i : order)
            sorted.push_back(shown_[i]);
    } else {
        // Runs of equal texts from the last, each run still in file order.
        for (std::size_t end = order.size(); end > 0;) {
            std::size_t begin = end - 1;
            while (begin > 0 && texts.text(order[begin - 1]) == texts.text(order[end - 1]))
                --begin;
            for (std::size_t k = begin; k < end; ++k)
                sorted.push_back(shown_[order[k]]);
            end = begin;
        }
    }
    shown_.swap(sorted);
}

void ItemModel::rebuild()
{
    beginResetModel();
    shown_.clear();
    const bool all = filter_.type.isEmpty() && filter_.race.isEmpty() && filter_.maxLevel <= 0 &&
                     filter_.name.isEmpty() && !filter_.available;
    if (all)
        shown_ = order_;
    else
        std::copy_if(order_.begin(), order_.end(), std::back_inserter(shown_), [this](Id id) { return passes(id); });
    if (sortColumn_ == kRecordColumn) {
        // New rows have no number yet; they come last, as they will be written.
        constexpr double kNew = std::numeric_limits<double>::infinity();
        sortBy<double>(shown_, sortOrder_, [this](std::uint32_t i) {
            return isAdded(shown_[i]) ? kNew : double(base_.recordNumber(int(shown_[i])));
        });
    } else if (sortColumn_ > kRecordColumn && isTextColumn(itemColumn(sortColumn_))) {
        sortByText(itemColumn(sortColumn_));
    } else if (sortColumn_ > kRecordColumn) {
        // Blank numbers first, as SQLite orders NULL.
        const int column = itemColumn(sortColumn_);
        constexpr double kBlank = -std::numeric_limits<double>::infinity();
        sortBy<double>(shown_, sortOrder_, [&](std::uint32_t i) {
            const double v = number(shown_[i], column);
            return std::isnan(v) ? kBlank : v;
        });
    }
    endResetModel();
}

void ItemModel::sort(int column, Qt::SortOrder order)
{
    sortColumn_ = column;
    sortOrder_ = order;
    rebuild();
}

} // namespace vestor
