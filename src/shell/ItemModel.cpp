#include "shell/ItemModel.h"

#include "catalogue/ItemCsv.h"
#include "engine/Stats.h"

#include <QBrush>
#include <QColor>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

namespace vestor {

namespace {

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

} // namespace

int ItemModel::viewColumn(const char *name)
{
    for (int c = 0; c < kItemColumnCount; ++c)
        if (std::strcmp(kItemColumns[c].name, name) == 0)
            return c + 1;
    return -1;
}

// ---- the model ----

ItemModel::ItemModel(QObject *parent) : QAbstractTableModel(parent) { startFolding(); }

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
    startFolding();
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
    pushCellEdit(id, column, before, checked.value);
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

} // namespace vestor
