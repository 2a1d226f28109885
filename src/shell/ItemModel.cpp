#include "shell/ItemModel.h"

#include "catalogue/ItemCsv.h"
#include "engine/Stats.h"

#include <QBrush>
#include <QColor>
#include <QLocale>
#include <QStringDecoder>
#include <QUndoCommand>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

namespace vestor {

namespace {

constexpr std::size_t kNowhere = std::numeric_limits<std::size_t>::max();
const QColor kEdited(255, 244, 204);

// Captions of the item columns that carry no stat; the stats' own come from the stat table.
struct Heading {
    const char *column;
    QString caption;
};
const Heading kHeadings[] = {
    {"TYPE", QStringLiteral("Тип")},    {"NAME", QStringLiteral("Название")}, {"PRICE", QStringLiteral("Цена")},
    {"RACE", QStringLiteral("Раса")},   {"UROV", QStringLiteral("Уровень")},  {"GOLOVA", QStringLiteral("Голова")},
    {"KORP", QStringLiteral("Корпус")}, {"NOGI", QStringLiteral("Ноги")},     {"RUKI", QStringLiteral("Руки")},
};

const int kLevel = ItemModel::itemColumn(ItemModel::viewColumn("UROV"));

bool isText(int column) { return isTextColumn(column); }

// A cell of a record as the model hands it round: QString, double, or an
// invalid QVariant for a blank number.
QVariant cellOf(const ItemRecord &r, int column)
{
    if (isText(column))
        return r.text(column);
    const auto n = r.number(column);
    return n ? QVariant(*n) : QVariant();
}

void setCell(ItemRecord &r, int column, const QVariant &v)
{
    if (isText(column))
        r.text(column) = v.toString();
    else
        r.number(column) = v.isValid() ? std::optional<double>(v.toDouble()) : std::nullopt;
}

// The warnings about `column` of `r`: a code no pick will ever match.
QString codeWarning(const ItemRecord &r, int column)
{
    const QString prefix = QString::fromLatin1(kItemColumns[column].name) + u':';
    QStringList mine;
    for (const QString &w : itemRecordWarnings(r))
        if (w.startsWith(prefix))
            mine << w;
    return mine.join(u'\n');
}

struct Checked {
    QVariant value;
    QString error;
};

// The checks the item CSV makes of a cell, for a value typed into the
// table; blanks around it are dropped, as the table would drop them.
Checked checkCell(int column, const QString &typed)
{
    const QString text = typed.trimmed();
    QString problem;
    if (isText(column)) {
        if (auto bad = itemTextProblem(text))
            return {{}, *bad};
        return {text, {}};
    }
    if (text.isEmpty())
        return {QVariant(), {}}; // a blank field
    if (const auto v = parseItemNumber(text.toUtf8(), problem))
        return {*v, {}};
    return {{}, problem};
}

std::uint64_t cellKey(std::uint32_t id, int column) { return std::uint64_t(id) * kItemColumnCount + column; }

// Puts `items` (value, final position) into `v`, in one pass.
template <typename T> void insertAt(std::vector<T> &v, std::vector<std::pair<std::size_t, T>> items)
{
    std::sort(items.begin(), items.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<T> out;
    out.reserve(v.size() + items.size());
    std::size_t from = 0;
    for (const auto &[at, value] : items) {
        while (out.size() < at && from < v.size())
            out.push_back(v[from++]);
        out.push_back(value);
    }
    out.insert(out.end(), v.begin() + std::ptrdiff_t(from), v.end());
    v.swap(out);
}

} // namespace

int ItemModel::viewColumn(const char *name)
{
    const int column = itemColumnIndex(name);
    return column < 0 ? -1 : column + 1;
}

// ---- undo steps ----

class SetCell : public QUndoCommand
{
public:
    SetCell(ItemModel &m, std::uint32_t id, int column, QVariant before, QVariant after)
        : QUndoCommand(QStringLiteral("изменение ячейки")), m_(m), id_(id), column_(column), before_(std::move(before)),
          after_(std::move(after))
    {
    }
    void redo() override { m_.putCell(id_, column_, after_); }
    void undo() override { m_.putCell(id_, column_, before_); }

private:
    ItemModel &m_;
    std::uint32_t id_;
    int column_;
    QVariant before_, after_;
};

// Adds the rows placed, or takes the rows given away; undo does the other.
class PlaceRows : public QUndoCommand
{
public:
    using Placed = ItemModel::Placed;
    PlaceRows(ItemModel &m, const QString &text, std::vector<Placed> adding)
        : QUndoCommand(text), m_(m), placed_(std::move(adding)), adding_(true)
    {
        for (const Placed &p : placed_)
            ids_.push_back(p.id);
    }
    PlaceRows(ItemModel &m, const QString &text, std::vector<std::uint32_t> taking)
        : QUndoCommand(text), m_(m), ids_(std::move(taking)), adding_(false)
    {
    }
    // Rows taken away remember where they stood, to come back there.
    void redo() override { adding_ ? m_.put(placed_) : void(placed_ = m_.take(ids_)); }
    void undo() override { adding_ ? void(m_.take(ids_)) : m_.put(placed_); }

private:
    ItemModel &m_;
    std::vector<Placed> placed_;
    std::vector<std::uint32_t> ids_;
    bool adding_;
};

// ---- the model ----

ItemModel::ItemModel(QObject *parent) : QAbstractTableModel(parent) {}

void ItemModel::setRows(const ItemRows &rows)
{
    undo_.clear();
    beginResetModel();
    base_ = rows;
    added_.clear();
    changed_.clear();
    changedInColumn_.fill(0);
    order_.resize(std::size_t(base_.rowCount()));
    std::iota(order_.begin(), order_.end(), Id(0));
    endResetModel();
    rebuild();
}

void ItemModel::setReadOnly(bool readOnly) { readOnly_ = readOnly; }

void ItemModel::setFilter(const Filter &filter)
{
    filter_ = filter;
    codes_ = {filter.type.toUtf8(), filter.race.toUtf8(), filter.available ? filter.available->first.toUtf8() : ""};
    rebuild();
}

QVariant ItemModel::value(Id id, int column) const
{
    if (isAdded(id))
        return cellOf(added_[id - Id(base_.rowCount())], column);
    if (changedInColumn_[column]) {
        const auto it = changed_.find(cellKey(id, column));
        if (it != changed_.end())
            return it->second;
    }
    return loaded(id, column);
}

QVariant ItemModel::loaded(Id id, int column) const
{
    if (isText(column))
        return base_.text(column, int(id));
    const auto n = base_.number(column, int(id));
    return n ? QVariant(*n) : QVariant();
}

ItemModel::Row ItemModel::row(Id id) const
{
    if (isAdded(id))
        return added_[id - Id(base_.rowCount())];
    Row r = itemRecordAt(base_, int(id));
    for (int c = 0; c < kItemColumnCount; ++c)
        if (isChanged(id, c))
            setCell(r, c, value(id, c));
    return r;
}

std::vector<ItemModel::Row> ItemModel::fileRows() const
{
    std::vector<Row> out;
    out.reserve(order_.size());
    forEachFileRow([&](const Row &r) { out.push_back(r); });
    return out;
}

void ItemModel::forEachOf(const std::vector<Id> &ids, const std::function<void(const Row &)> &f) const
{
    for (Id id : ids)
        f(row(id));
}

QString ItemModel::cellText(int itemColumn, const QVariant &value)
{
    if (isText(itemColumn) || !value.isValid())
        return value.toString();
    return QString::number(value.toDouble(), 'f', QLocale::FloatingPointShortest);
}

QString ItemModel::caption(int column)
{
    if (column == kRecordColumn)
        return QStringLiteral("№");
    const char *name = kItemColumns.at(itemColumn(column)).name;
    for (const Stat &s : stats())
        if (std::strcmp(s.column, name) == 0)
            return s.caption;
    for (const Heading &h : kHeadings)
        if (std::strcmp(h.column, name) == 0)
            return h.caption;
    return QString::fromLatin1(name);
}

int ItemModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(shown_.size()); }
int ItemModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant ItemModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(shown_.size()))
        return {};
    const Id id = shown_[index.row()];
    if (index.column() == kRecordColumn) {
        if (role == Qt::DisplayRole && !isAdded(id))
            return qlonglong(base_.recordNumber(int(id)));
        if (role == Qt::ToolTipRole && isAdded(id))
            return QStringLiteral("Новая строка: номер появится после сохранения");
        return role == Qt::TextAlignmentRole ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    }
    const int column = itemColumn(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cellText(column, value(id, column));
    case Qt::TextAlignmentRole:
        return isText(column) ? QVariant() : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        return column == kTypeColumn || column == kRaceColumn ? codeWarning(row(id), column) : QString();
    case Qt::BackgroundRole:
        if (isAdded(id) || isChanged(id, column))
            return QBrush(kEdited);
        return {};
    default:
        return {};
    }
}

QVariant ItemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return caption(section);
    if (role == Qt::ToolTipRole && section != kRecordColumn)
        return QString::fromLatin1(kItemColumns[itemColumn(section)].name);
    return {};
}

Qt::ItemFlags ItemModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() != kRecordColumn && !readOnly_)
        f |= Qt::ItemIsEditable;
    return f;
}

bool ItemModel::setData(const QModelIndex &index, const QVariant &typed, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const int column = itemColumn(index.column());
    const Checked checked = checkCell(column, typed.toString());
    if (!checked.error.isEmpty()) {
        emit message(QStringLiteral("%1: %2").arg(caption(index.column()), checked.error), true);
        return false;
    }
    const Id id = shown_[index.row()];
    const QVariant before = value(id, column);
    if (before == checked.value)
        return true;
    undo_.push(new SetCell(*this, id, column, before, checked.value));
    if (const QString warning = codeWarning(row(id), column); !warning.isEmpty())
        emit message(warning, false);
    return true;
}

void ItemModel::putCell(Id id, int column, const QVariant &v)
{
    if (isAdded(id)) {
        setCell(added_[id - Id(base_.rowCount())], column, v);
    } else if (v == loaded(id, column)) {
        // Back to what the table holds: no longer an edit.
        changedInColumn_[column] -= int(changed_.erase(cellKey(id, column)));
    } else {
        auto [it, fresh] = changed_.try_emplace(cellKey(id, column), v);
        it->second = v;
        changedInColumn_[column] += int(fresh);
    }
    const auto at = std::find(shown_.begin(), shown_.end(), id);
    if (at != shown_.end()) {
        const QModelIndex cell = index(int(at - shown_.begin()), column + 1);
        emit dataChanged(cell, cell);
    }
}

// ---- filter and sort ----

bool ItemModel::isChanged(Id id, int column) const
{
    return changedInColumn_[column] && changed_.count(cellKey(id, column));
}

std::string_view ItemModel::utf8(Id id, int column, QByteArray &hold) const
{
    // Loaded cells are read in place: a million rows must not mean a million copies.
    if (!isAdded(id) && !isChanged(id, column))
        return base_.utf8(column, int(id));
    hold = value(id, column).toString().toUtf8();
    return {hold.constData(), std::size_t(hold.size())};
}

double ItemModel::number(Id id, int column) const
{
    if (!isAdded(id) && !isChanged(id, column))
        return base_.number(column, int(id)).value_or(std::numeric_limits<double>::quiet_NaN());
    const QVariant v = value(id, column);
    return v.isValid() ? v.toDouble() : std::numeric_limits<double>::quiet_NaN();
}

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
    } else if (sortColumn_ > kRecordColumn && isText(itemColumn(sortColumn_))) {
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

// ---- adding and deleting rows ----

ItemModel::Id ItemModel::newRow(const Row &values)
{
    added_.push_back(values);
    return Id(base_.rowCount() + int(added_.size()) - 1);
}

std::vector<ItemModel::Placed> ItemModel::take(const std::vector<Id> &ids)
{
    std::vector<char> gone(std::size_t(base_.rowCount()) + added_.size());
    for (Id id : ids)
        gone[id] = 1;
    std::vector<Placed> placed;
    std::unordered_map<Id, std::size_t> at;
    for (std::size_t i = 0; i < order_.size(); ++i)
        if (gone[order_[i]]) {
            at[order_[i]] = placed.size();
            placed.push_back({order_[i], i, kNowhere});
        }
    for (std::size_t i = 0; i < shown_.size(); ++i)
        if (gone[shown_[i]])
            placed[at[shown_[i]]].shownAt = i;

    const bool one = placed.size() == 1 && placed[0].shownAt != kNowhere;
    if (one)
        beginRemoveRows({}, int(placed[0].shownAt), int(placed[0].shownAt));
    else
        beginResetModel();
    std::erase_if(order_, [&](Id id) { return gone[id]; });
    std::erase_if(shown_, [&](Id id) { return gone[id]; });
    one ? endRemoveRows() : endResetModel();
    return placed;
}

void ItemModel::put(const std::vector<Placed> &placed)
{
    std::vector<std::pair<std::size_t, Id>> inOrder, inView;
    for (const Placed &p : placed) {
        inOrder.emplace_back(p.orderAt, p.id);
        if (p.shownAt != kNowhere)
            inView.emplace_back(std::min(p.shownAt, shown_.size() + inView.size()), p.id);
    }
    const bool one = inView.size() == 1;
    if (one)
        beginInsertRows({}, int(inView[0].first), int(inView[0].first));
    else
        beginResetModel();
    insertAt(order_, inOrder);
    insertAt(shown_, inView);
    one ? endInsertRows() : endResetModel();
}

void ItemModel::addRow()
{
    // A row every check takes: the keeper changes what matters.
    Row blank;
    blank.numbers.fill(0.0);
    blank.text(kTypeColumn) = QStringLiteral("ring");
    blank.text(kNameColumn) = QStringLiteral("Новая вещь");
    blank.text(kRaceColumn) = QStringLiteral("No");
    blank.number(kLevel) = 1.0;
    const Placed p{newRow(blank), order_.size(), shown_.size()};
    undo_.push(new PlaceRows(*this, QStringLiteral("добавление строки"), std::vector<Placed>{p}));
}

void ItemModel::duplicateRows(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::unordered_map<Id, std::size_t> orderOf;
    for (int r : rows)
        orderOf[shown_.at(r)] = 0;
    for (std::size_t i = 0; i < order_.size(); ++i)
        if (auto it = orderOf.find(order_[i]); it != orderOf.end())
            it->second = i;
    // Each copy lands right after its row: later ones move by the copies before them.
    std::vector<Placed> placed;
    for (int j = 0; j < rows.size(); ++j) {
        const Id source = shown_[rows[j]];
        placed.push_back({newRow(row(source)), 0, std::size_t(rows[j] + j + 1)});
    }
    std::vector<std::size_t> sourceOrder;
    for (int r : rows)
        sourceOrder.push_back(orderOf[shown_[r]]);
    std::vector<std::size_t> rank(sourceOrder.size());
    std::iota(rank.begin(), rank.end(), 0);
    std::sort(rank.begin(), rank.end(), [&](auto a, auto b) { return sourceOrder[a] < sourceOrder[b]; });
    for (std::size_t k = 0; k < rank.size(); ++k)
        placed[rank[k]].orderAt = sourceOrder[rank[k]] + k + 1;
    if (!placed.empty())
        undo_.push(new PlaceRows(*this, QStringLiteral("копирование строк"), placed));
}

void ItemModel::deleteRows(QList<int> rows)
{
    std::vector<Id> ids;
    for (int r : rows)
        ids.push_back(shown_.at(r));
    if (!ids.empty())
        undo_.push(new PlaceRows(*this, QStringLiteral("удаление строк"), ids));
}

void ItemModel::importRows(const std::vector<Row> &rows, bool replace)
{
    undo_.beginMacro(QStringLiteral("импорт CSV"));
    if (replace && !order_.empty())
        undo_.push(new PlaceRows(*this, QStringLiteral("удаление строк"), order_));
    std::vector<Placed> placed;
    for (const Row &r : rows)
        placed.push_back({newRow(r), order_.size() + placed.size(), shown_.size() + placed.size()});
    undo_.push(new PlaceRows(*this, QStringLiteral("импорт CSV"), placed));
    undo_.endMacro();
}

} // namespace vestor
