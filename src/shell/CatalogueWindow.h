#pragma once

// "Каталог вещей": every item of the loaded table, filtered, sorted and
// edited in place. Edits stay in the window until saved.

#include "ItemModel.h"

#include <QWidget>
#include <functional>
#include <utility>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableView;

namespace vestor {

class CatalogueWindow : public QWidget
{
    Q_OBJECT
public:
    explicit CatalogueWindow(QWidget *parent = nullptr);

    // Shows `rows`, read from `tablePath`; a table the user may not change
    // on disk, or none at all (`why` says why), opens read-only.
    void open(const ItemRows &rows, const QString &tablePath, const QString &why = {});

    ItemModel &model() { return *model_; }

    // The race code and level the main window has now, for "только доступные".
    std::function<std::pair<QString, int>()> player;

    // What to do with unsaved changes when the window closes.
    enum class Unsaved { Discard, Keep };
    std::function<Unsaved()> askUnsaved;

    static const QString kTitle;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    QWidget *makeFilters();
    QWidget *makeButtons();
    void applyFilter();
    void showCount();
    void showMessage(const QString &text, bool refused);
    QList<int> selectedRows() const;

    ItemModel *model_;
    QTableView *table_;
    QComboBox *type_;
    QComboBox *race_;
    QSpinBox *level_;
    QLineEdit *name_;
    QCheckBox *available_;
    QLabel *count_;
    QLabel *message_;
    QLabel *readOnly_;
    QList<QWidget *> editing_; // what read-only turns off
    ItemRows rows_;
};

} // namespace vestor
