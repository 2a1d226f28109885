#pragma once

// The catalogue window's table: the loaded item rows, read in place, with
// the window's unsaved edits laid over them (changed cells, added rows,
// deleted rows). Picks keep reading the loaded table until a save.

#include "catalogue/Columns.h"
#include "catalogue/ItemRecord.h"
#include "catalogue/ItemRows.h"

#include <QAbstractTableModel>
#include <QUndoStack>
#include <QVariant>
#include <array>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vestor {

class ItemModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // Column 0 is the record number; the item columns follow as kItemColumns.
    static constexpr int kRecordColumn = 0;
    static constexpr int kColumnCount = 1 + kItemColumnCount;
    static constexpr int itemColumn(int column) { return column - 1; }
    // The view column of the item column named `name`; -1 if there is none.
    static int viewColumn(const char *name);

    using Row = ItemRecord;

    struct Filter {
        QString type;     // a type code; empty for every type
        QString race;     // a race code; "No" items go with every race; empty for all
        int maxLevel = 0; // UROV at most this; 0 for any level
        QString name;     // part of NAME, letter case ignored
        // "Only available": what the main window's race and level allow.
        std::optional<std::pair<QString, int>> available;
    };

    explicit ItemModel(QObject *parent = nullptr);

    // Shows `rows` in file order with no edits; the undo history starts anew.
    void setRows(const ItemRows &rows);
    void setReadOnly(bool readOnly);
    bool readOnly() const { return readOnly_; }
    void setFilter(const Filter &filter);
    const Filter &filter() const { return filter_; }
    QUndoStack *undoStack() { return &undo_; }
    bool modified() const { return !undo_.isClean(); }

    // Every row of the window, edits included, deleted rows left out.
    int totalCount() const { return int(order_.size()); }

    // Rows as the window has them: in file order, or as shown now; one at a
    // time to `f`, so a table of any size is written in little memory.
    std::vector<Row> fileRows() const;
    void forEachFileRow(const std::function<void(const Row &)> &f) const { forEachOf(order_, f); }
    void forEachShownRow(const std::function<void(const Row &)> &f) const { forEachOf(shown_, f); }

    // Edits, each one step to undo. Rows are view rows.
    void addRow();
    void duplicateRows(QList<int> rows);
    void deleteRows(QList<int> rows);
    // Puts `rows` in place of every row, or after them; one step.
    void importRows(const std::vector<Row> &rows, bool replace);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    // Stable: rows that compare equal keep their file order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // A cell's text as the table shows it.
    static QString cellText(int itemColumn, const QVariant &value);
    // The header of a view column.
    static QString caption(int column);

signals:
    // A refused edit (`refused`) or a warning about an accepted one.
    void message(const QString &text, bool refused);

private:
    friend class SetCell;
    friend class PlaceRows;
    using Id = std::uint32_t;
    // Where a row stands in the file order and in the view.
    struct Placed {
        Id id;
        std::size_t orderAt;
        std::size_t shownAt;
    };

    QVariant value(Id id, int column) const;
    QVariant loaded(Id id, int column) const;
    Row row(Id id) const;
    void forEachOf(const std::vector<Id> &ids, const std::function<void(const Row &)> &f) const;
    bool isAdded(Id id) const { return id >= Id(base_.rowCount()); }
    bool isChanged(Id id, int column) const;
    // A cell read without copying where it can be; `hold` keeps a copy alive otherwise.
    std::string_view utf8(Id id, int column, QByteArray &hold) const;
    // A number cell; NaN for a blank one.
    double number(Id id, int column) const;
    bool passes(Id id) const;
    bool nameMatches(Id id) const;
    // Puts the shown rows in alphabetical order of `column`, letter case aside.
    void sortByText(int column);
    // By the names folded once per load; false when an edit touches the names.
    bool sortByName();
    struct FoldedColumn;
    void startFolding();
    const FoldedColumn &foldedNames() const;
    void rebuild();
    Id newRow(const Row &values);

    // One edited cell as a step to undo.
    void pushCellEdit(Id id, int column, const QVariant &before, const QVariant &after);
    // What the undo commands do.
    void putCell(Id id, int column, const QVariant &v);
    std::vector<Placed> take(const std::vector<Id> &ids);
    void put(const std::vector<Placed> &placed);

    ItemRows base_;
    std::vector<Row> added_; // id = base row count + index
    std::unordered_map<std::uint64_t, QVariant> changed_;
    std::array<int, kItemColumnCount> changedInColumn_{};
    std::vector<Id> order_; // file order
    std::vector<Id> shown_; // view order
    Filter filter_;
    struct {
        QByteArray type, race, available;
    } codes_; // the filter's codes as the loaded rows hold them
    std::u16string foldedFilterName_;
    std::shared_future<std::shared_ptr<const FoldedColumn>> names_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    bool readOnly_ = false;
    QUndoStack undo_;
};

} // namespace vestor
