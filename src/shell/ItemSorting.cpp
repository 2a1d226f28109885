// Which rows the catalogue window shows, and in what order.
#include "shell/ItemModel.h"

#include <QStringDecoder>
#include <QThreadPool>
#include <algorithm>
#include <cmath>
#include <future>
#include <limits>
#include <memory>

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
    return f.name.isEmpty() || nameMatches(id);
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

// Folds UTF-16 in place as QString's case-insensitive search folds it:
// character by character, a surrogate pair as one.
void foldCase(QChar *c, QChar *end)
{
    for (; c != end; ++c) {
        if (c->isHighSurrogate() && c + 1 != end && c[1].isLowSurrogate()) {
            const char32_t folded = QChar::toCaseFolded(QChar::surrogateToUcs4(c[0], c[1]));
            c[0] = QChar(QChar::highSurrogate(folded));
            c[1] = QChar(QChar::lowSurrogate(folded));
            ++c;
        } else if (!c->isSurrogate()) {
            *c = c->toCaseFolded();
        }
    }
}

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
        foldCase(first, end);
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

// The loaded rows' texts of one column folded to one letter case, and their
// alphabetical order: made once per load, off the window's thread, so that a
// search or a sort at a million rows reads these instead of decoding every row.
struct ItemModel::FoldedColumn {
    FoldedTexts texts;                // by loaded row
    std::vector<std::uint32_t> order; // loaded rows alphabetically, equal texts in file order
    std::vector<std::uint32_t> rank;  // by loaded row; equal texts share one
};

void ItemModel::startFolding()
{
    auto promise = std::make_shared<std::promise<std::shared_ptr<const FoldedColumn>>>();
    names_ = promise->get_future().share();
    // The pool is waited for when the program ends; the rows are kept alive by the copy.
    QThreadPool::globalInstance()->start([promise, rows = base_] {
        auto folded = std::make_shared<FoldedColumn>();
        QStringDecoder decoder(QStringDecoder::Utf8);
        for (int row = 0; row < rows.rowCount(); ++row)
            folded->texts.add(rows.utf8(kNameColumn, row), decoder);
        folded->order = alphabeticalOrder(folded->texts);
        folded->rank.resize(folded->order.size());
        std::uint32_t rank = 0;
        for (std::size_t k = 0; k < folded->order.size(); ++k) {
            if (k > 0 && folded->texts.text(folded->order[k]) != folded->texts.text(folded->order[k - 1]))
                ++rank;
            folded->rank[folded->order[k]] = rank;
        }
        promise->set_value(std::move(folded));
    });
}

const ItemModel::FoldedColumn &ItemModel::foldedNames() const
{
    // Made since the rows came: only a search or sort in the first moments waits for it.
    return *names_.get();
}

bool ItemModel::nameMatches(Id id) const
{
    if (!isAdded(id) && !isChanged(id, kNameColumn))
        return foldedNames().texts.text(id).find(foldedFilterName_) != std::u16string_view::npos;
    QByteArray hold;
    const std::string_view name = utf8(id, kNameColumn, hold);
    return QString::fromUtf8(name.data(), qsizetype(name.size())).contains(filter_.name, Qt::CaseInsensitive);
}

bool ItemModel::sortByName()
{
    if (changedInColumn_[kNameColumn] || !added_.empty())
        return false;
    const FoldedColumn &names = foldedNames();
    std::vector<char> shown(names.order.size());
    for (Id id : shown_)
        shown[id] = 1;
    std::vector<Id> sorted;
    sorted.reserve(shown_.size());
    if (sortOrder_ == Qt::AscendingOrder) {
        for (std::uint32_t row : names.order)
            if (shown[row])
                sorted.push_back(row);
    } else {
        // Runs of equal names from the last, each run still in file order.
        for (std::size_t end = names.order.size(); end > 0;) {
            std::size_t begin = end - 1;
            while (begin > 0 && names.rank[names.order[begin - 1]] == names.rank[names.order[end - 1]])
                --begin;
            for (std::size_t k = begin; k < end; ++k)
                if (shown[names.order[k]])
                    sorted.push_back(names.order[k]);
            end = begin;
        }
    }
    shown_.swap(sorted);
    return true;
}

void ItemModel::sortByText(int column)
{
    if (column == kNameColumn && sortByName())
        return;
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
    QString name = filter_.name;
    foldCase(name.begin(), name.end());
    foldedFilterName_ = name.toStdU16String();
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
