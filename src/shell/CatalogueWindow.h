#pragma once

// "Каталог вещей": every item of the loaded table, filtered, sorted and
// edited in place. Edits stay in the window until saved.

#include "catalogue/FileIdentity.h"
#include "shell/ItemModel.h"

#include <QWidget>
#include <functional>
#include <optional>
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

    // The rows of the item table, the file they were read from, and what that
    // file was when they were read (nothing when it could not be read).
    struct LoadedTable {
        ItemRows rows;
        QString path;
        std::optional<FileIdentity> identity;
    };

    // Shows the table's rows; a table the user may not change on disk, or
    // none at all (`why` says why), opens read-only.
    void open(const LoadedTable &table, const QString &why = {});

    ItemModel &model() { return *model_; }

    // The race code and level the main window has now, for "только доступные".
    std::function<std::pair<QString, int>()> player;

    // What to do with unsaved changes when the window closes.
    enum class Unsaved { Save, Discard, Keep };
    std::function<Unsaved()> askUnsaved;
    // Reads the table file (the one opened, or the user's copy it was just
    // saved as) into the catalogue, so the next pick uses it, and returns it;
    // set by the catalogue's owner.
    std::function<LoadedTable(const QString &tablePath)> reload;
    // Where a table the user may not write (the installed shared one) is
    // saved instead: the user's own copy. Empty: such a table opens read-only.
    QString userCopy;
    // The CSV file to write (`forWriting`) or read; empty on cancel.
    std::function<QString(bool forWriting)> chooseCsv;
    // Whether imported rows replace every row or follow them.
    enum class ImportAs { Replace, Append, Cancel };
    std::function<ImportAs(int rows)> askImport;
    // What to do when another program has changed the table file since it
    // was read: write over it, write elsewhere, or nothing.
    enum class Changed { Replace, SaveAs, Cancel };
    std::function<Changed(const QString &path)> askChanged;
    // The file "Сохранить как…" writes; empty on cancel.
    std::function<QString()> chooseTable;
    // How long a save waits for another program saving the same table.
    int lockWaitMs = 3000;

    // "Сохранить": the window's rows become the table file (the old one kept
    // as .bak) or the user's copy, then the catalogue reads it; a file
    // changed by another program since it was read is replaced only when
    // askChanged says so. Throws Error; nothing changes then.
    void save();
    // "Экспорт CSV": the shown rows, in the order shown.
    void exportCsv(const QString &path);
    // "Импорт CSV": the file's rows as one unsaved change, or nothing when
    // any row is faulty (every fault named FILE:LINE).
    void importCsv(const QString &path);

    static const QString kTitle;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void useDesktopDialogs();
    QWidget *makeFilters();
    QWidget *makeButtons();
    QWidget *makeFileButtons();
    void applyFilter();
    bool savesAsCopy() const;
    void showCount();
    void showMessage(const QString &text, bool refused);
    QList<int> selectedRows() const;
    // Writes the window's rows to `path`, keeping the file replaced as .bak.
    std::vector<QString> writeTable(const QString &path);
    void saveAs();
    void showSaved(QString text, const std::vector<QString> &warnings);

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
    QList<QWidget *> saving_;  // what needs a writable table
    ItemRows rows_;
    QString tablePath_;
    std::optional<FileIdentity> loadedFrom_;
};

} // namespace vestor
