// The window's edits as undo steps: a changed cell, rows added or taken away.
#include "shell/ItemModel.h"

#include <QUndoCommand>
#include <algorithm>
#include <limits>
#include <numeric>
#include <unordered_map>

namespace vestor {

namespace {

constexpr std::size_t kNowhere = std::numeric_limits<std::size_t>::max();

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

void ItemModel::pushCellEdit(Id id, int column, const QVariant &before, const QVariant &after)
{
    undo_.push(new SetCell(*this, id, column, before, after));
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
    blank.number(kLevelColumn) = 1.0;
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
