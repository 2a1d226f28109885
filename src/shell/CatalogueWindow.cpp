#include "shell/CatalogueWindow.h"

#include "catalogue/DbfWriter.h"
#include "catalogue/Error.h"
#include "catalogue/ItemCsv.h"
#include "engine/Number.h"
#include "engine/Picker.h"
#include "engine/Stats.h"
#include "shell/ErrorBox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <memory>

namespace vestor {

const QString CatalogueWindow::kTitle = QStringLiteral("Каталог вещей");

namespace {

constexpr int kSearchDelayMs = 200; // a name search waits for the typing to pause
const QSize kFirstSize(1000, 600);
// Column widths that fit what the columns hold: names are long, amounts short.
constexpr int kAmountWidth = 72;
constexpr int kRecordWidth = 48;
constexpr int kCodeWidth = 60;
constexpr int kNameWidth = 220;
constexpr int kRowPadding = 6;
constexpr int kShownFaults = 20; // an import's faults listed before "and N more"
const QString kCsvFilter = QStringLiteral("CSV (*.csv)");
const QString kTableFilter = QStringLiteral("Таблица dBase (*.dbf *.DBF)");

// The type codes the slots ask for, each once, in slot order.
QStringList typeCodes()
{
    QStringList codes;
    for (const Slot &s : slotOrder())
        for (const char *t : {s.type1, s.type2})
            if (!codes.contains(QLatin1String(t)))
                codes << QString::fromLatin1(t);
    return codes;
}

// A table the user marked read-only, or may not replace, is not written.
bool writable(const QString &path)
{
    const QFileInfo file(path);
    const QFileInfo dir(file.absolutePath());
    return file.isWritable() && (file.permissions() & QFileDevice::WriteOwner) && dir.isWritable();
}

// "и ещё N предупреждений", in the form the number asks for; nothing for none.
QString moreWarnings(qsizetype more)
{
    if (more <= 0)
        return {};
    const qsizetype tens = more % 100, units = more % 10;
    const char *word = tens >= 11 && tens <= 14   ? "предупреждений"
                       : units == 1               ? "предупреждение"
                       : units >= 2 && units <= 4 ? "предупреждения"
                                                  : "предупреждений";
    return QStringLiteral("\nи ещё %1 %2").arg(more).arg(QString::fromUtf8(word));
}

template <typename W> W *named(W *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

} // namespace

CatalogueWindow::CatalogueWindow(QWidget *parent)
    : QWidget(parent, Qt::Window), model_(new ItemModel(this)), table_(named(new QTableView, "ItemTable")),
      count_(named(new QLabel, "CountLabel")), message_(named(new QLabel, "MessageLabel")),
      readOnly_(named(new QLabel, "ReadOnlyLabel"))
{
    setObjectName(QStringLiteral("CatalogueWindow"));
    setWindowTitle(kTitle);
    resize(kFirstSize);

    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + kRowPadding);
    table_->horizontalHeader()->setDefaultSectionSize(kAmountWidth);
    table_->setColumnWidth(ItemModel::kRecordColumn, kRecordWidth);
    for (const char *code : {"TYPE", "RACE"})
        table_->setColumnWidth(ItemModel::viewColumn(code), kCodeWidth);
    table_->setColumnWidth(ItemModel::viewColumn("NAME"), kNameWidth);
    // No sort until a header is clicked: the rows stand in file order.
    table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table_->setSortingEnabled(true);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);

    readOnly_->setStyleSheet(QStringLiteral("color: #a00000"));
    readOnly_->hide();
    message_->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(makeFilters());
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(makeButtons(), 1);
    buttons->addWidget(makeFileButtons());
    layout->addLayout(buttons);
    layout->addWidget(readOnly_);
    layout->addWidget(table_, 1);
    auto *status = new QHBoxLayout;
    status->addWidget(count_);
    status->addWidget(message_, 1);
    layout->addLayout(status);

    connect(model_, &ItemModel::message, this, &CatalogueWindow::showMessage);
    connect(model_, &QAbstractItemModel::modelReset, this, &CatalogueWindow::showCount);
    connect(model_, &QAbstractItemModel::rowsInserted, this, &CatalogueWindow::showCount);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &CatalogueWindow::showCount);
    connect(model_->undoStack(), &QUndoStack::cleanChanged, this,
            [this](bool clean) { setWindowTitle(clean ? kTitle : kTitle + QStringLiteral(" *")); });

    useDesktopDialogs();
}

void CatalogueWindow::useDesktopDialogs()
{
    askUnsaved = [this] {
        const auto answer =
            QMessageBox::question(this, kTitle, QStringLiteral("Изменения в каталоге не сохранены. Сохранить их?"),
                                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
        return answer == QMessageBox::Save      ? Unsaved::Save
               : answer == QMessageBox::Discard ? Unsaved::Discard
                                                : Unsaved::Keep;
    };
    chooseCsv = [this](bool forWriting) {
        return forWriting ? QFileDialog::getSaveFileName(this, QStringLiteral("Экспорт CSV"), {}, kCsvFilter)
                          : QFileDialog::getOpenFileName(this, QStringLiteral("Импорт CSV"), {}, kCsvFilter);
    };
    askChanged = [this](const QString &path) {
        QMessageBox box(QMessageBox::Warning, kTitle, QStringLiteral("Файл изменён другой программой"),
                        QMessageBox::NoButton, this);
        box.setInformativeText(QStringLiteral("%1 изменён после того, как каталог был прочитан. «Заменить» запишет "
                                              "каталог поверх него, прежний файл останется как .bak.")
                                   .arg(QDir::toNativeSeparators(path)));
        QAbstractButton *replace = box.addButton(QStringLiteral("Заменить"), QMessageBox::DestructiveRole);
        QAbstractButton *saveAs = box.addButton(QStringLiteral("Сохранить как…"), QMessageBox::AcceptRole);
        box.setDefaultButton(box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole));
        box.exec();
        return box.clickedButton() == replace  ? Changed::Replace
               : box.clickedButton() == saveAs ? Changed::SaveAs
                                               : Changed::Cancel;
    };
    chooseTable = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить каталог как"),
                                            QFileInfo(tablePath_).absolutePath(), kTableFilter);
    };
    askImport = [this](int rows) {
        QMessageBox box(QMessageBox::Question, kTitle,
                        QStringLiteral("В файле %1. Заменить ими весь каталог или добавить в конец?")
                            .arg(counted(rows, "вещь", "вещи", "вещей")),
                        QMessageBox::Cancel, this);
        QAbstractButton *replace = box.addButton(QStringLiteral("Заменить"), QMessageBox::AcceptRole);
        QAbstractButton *append = box.addButton(QStringLiteral("Добавить"), QMessageBox::AcceptRole);
        box.exec();
        return box.clickedButton() == replace  ? ImportAs::Replace
               : box.clickedButton() == append ? ImportAs::Append
                                               : ImportAs::Cancel;
    };
}

QWidget *CatalogueWindow::makeFilters()
{
    auto *box = new QWidget;
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    type_ = named(new QComboBox, "TypeFilter");
    type_->addItem(QStringLiteral("Все типы"));
    for (const QString &code : typeCodes())
        type_->addItem(ItemModel::codeName(kTypeColumn, code), code);
    race_ = named(new QComboBox, "RaceFilter");
    race_->addItem(QStringLiteral("Все расы"));
    for (const Race &r : races())
        race_->addItem(r.name, QString::fromLatin1(r.code));
    level_ = named(new QSpinBox, "LevelFilter");
    level_->setRange(0, kTopLevel);
    level_->setPrefix(QStringLiteral("Уровень до "));
    level_->setSpecialValueText(QStringLiteral("Любой уровень"));
    name_ = named(new QLineEdit, "NameFilter");
    name_->setPlaceholderText(QStringLiteral("Поиск по названию"));
    name_->setClearButtonEnabled(true);
    available_ = named(new QCheckBox(QStringLiteral("только доступные")), "AvailableOnly");
    available_->setToolTip(QStringLiteral("Вещи, которые позволяют раса и уровень в главном окне"));
    for (QWidget *w : {static_cast<QWidget *>(type_), static_cast<QWidget *>(race_), static_cast<QWidget *>(level_)})
        row->addWidget(w);
    row->addWidget(name_, 1);
    row->addWidget(available_);

    auto *search = new QTimer(this);
    search->setSingleShot(true);
    search->setInterval(kSearchDelayMs);
    connect(search, &QTimer::timeout, this, &CatalogueWindow::applyFilter);
    connect(name_, &QLineEdit::textChanged, search, qOverload<>(&QTimer::start));
    connect(type_, &QComboBox::currentIndexChanged, this, &CatalogueWindow::applyFilter);
    connect(race_, &QComboBox::currentIndexChanged, this, &CatalogueWindow::applyFilter);
    connect(level_, &QSpinBox::valueChanged, this, &CatalogueWindow::applyFilter);
    connect(available_, &QCheckBox::toggled, this, &CatalogueWindow::applyFilter);
    return box;
}

QWidget *CatalogueWindow::makeButtons()
{
    auto *box = new QWidget;
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    auto button = [&](const char *name, const QString &text, auto slot) {
        auto *b = named(new QPushButton(text), name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        row->addWidget(b);
        editing_ << b;
        return b;
    };
    button("AddRow", QStringLiteral("Добавить"), [this] {
        model_->addRow();
        table_->scrollToBottom();
    });
    button("DuplicateRows", QStringLiteral("Копировать"), [this] { model_->duplicateRows(selectedRows()); });
    QPushButton *remove =
        button("DeleteRows", QStringLiteral("Удалить"), [this] { model_->deleteRows(selectedRows()); });
    // Delete removes rows only while the table itself has the focus, never inside an editor.
    auto *removeKey = new QAction(table_);
    removeKey->setShortcut(QKeySequence::Delete);
    removeKey->setShortcutContext(Qt::WidgetShortcut);
    connect(removeKey, &QAction::triggered, remove, &QPushButton::click);
    table_->addAction(removeKey);

    for (QAction *a : {model_->undoStack()->createUndoAction(this, QStringLiteral("Отменить")),
                       model_->undoStack()->createRedoAction(this, QStringLiteral("Вернуть"))}) {
        const bool undo = a->text().startsWith(QStringLiteral("Отменить"));
        a->setObjectName(undo ? QStringLiteral("UndoAction") : QStringLiteral("RedoAction"));
        a->setShortcut(undo ? QKeySequence::Undo : QKeySequence::Redo);
        addAction(a);
        auto *b = named(new QToolButton, undo ? "UndoButton" : "RedoButton");
        b->setDefaultAction(a);
        row->addWidget(b);
        editing_ << b;
    }
    row->addStretch(1);
    return box;
}

void CatalogueWindow::open(const LoadedTable &table, const QString &why)
{
    rows_ = table.rows;
    tablePath_ = table.path;
    loadedFrom_ = table.identity;
    model_->setRows(table.rows);
    const bool readOnly = !why.isEmpty() || (!writable(tablePath_) && !savesAsCopy());
    model_->setReadOnly(readOnly);
    for (QWidget *w : editing_ + saving_)
        w->setEnabled(!readOnly);
    readOnly_->setVisible(readOnly || savesAsCopy());
    if (!why.isEmpty())
        readOnly_->setText(why);
    else if (readOnly)
        readOnly_->setText(QStringLiteral("Таблица %1 защищена от записи: каталог открыт только для чтения")
                               .arg(QDir::toNativeSeparators(tablePath_)));
    else if (savesAsCopy())
        readOnly_->setText(QStringLiteral("Общая таблица %1 защищена от записи: изменения будут сохранены "
                                          "как ваша копия %2")
                               .arg(QDir::toNativeSeparators(tablePath_), QDir::toNativeSeparators(userCopy)));
    setWindowTitle(readOnly ? kTitle + QStringLiteral(" (только чтение)") : kTitle);
    message_->clear();
    applyFilter();
}

QWidget *CatalogueWindow::makeFileButtons()
{
    auto *box = new QWidget;
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    auto button = [&](const char *name, const QString &text, const std::function<void()> &handler) {
        auto *b = named(new QPushButton(text), name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [handler] { runHandler(handler); });
        row->addWidget(b);
        return b;
    };
    QPushButton *save = button("SaveTable", QStringLiteral("Сохранить"), [this] { this->save(); });
    save->setShortcut(QKeySequence::Save);
    save->setToolTip(QStringLiteral("Записать каталог в таблицу вещей (%1)")
                         .arg(QKeySequence(QKeySequence::Save).toString(QKeySequence::NativeText)));
    button("ExportCsv", QStringLiteral("Экспорт CSV"), [this] {
        if (const QString path = chooseCsv(true); !path.isEmpty())
            exportCsv(path);
    });
    QPushButton *import = button("ImportCsv", QStringLiteral("Импорт CSV"), [this] {
        if (const QString path = chooseCsv(false); !path.isEmpty())
            importCsv(path);
    });
    saving_ << save << import;
    return box;
}

namespace {

// Held while a table is written, so that two programs saving one table take
// turns; a lock left by a program that died is taken over.
std::unique_ptr<QLockFile> lockForSaving(const QString &table, int waitMs)
{
    auto lock = std::make_unique<QLockFile>(saveTarget(table) + QStringLiteral(".lock"));
    lock->setStaleLockTime(0); // a big table may take long; only a dead owner frees it
    if (lock->tryLock(waitMs))
        return lock;
    const QString file = QDir::toNativeSeparators(table);
    qint64 pid = 0;
    QString host, program;
    if (lock->error() == QLockFile::LockFailedError && lock->getLockInfo(&pid, &host, &program))
        throw Error(QStringLiteral("Таблицу %1 сейчас сохраняет другая программа (%2, процесс %3); каталог не "
                                   "сохранён, попробуйте ещё раз")
                        .arg(file, program.isEmpty() ? QStringLiteral("?") : program)
                        .arg(pid));
    throw Error(QStringLiteral("Не удалось занять таблицу %1 для записи: нельзя создать %2")
                    .arg(file, QDir::toNativeSeparators(lock->fileName())));
}

} // namespace

bool CatalogueWindow::savesAsCopy() const
{
    return !userCopy.isEmpty() && tablePath_ != userCopy && !writable(tablePath_);
}

std::vector<QString> CatalogueWindow::writeTable(const QString &path)
{
    int record = 0;
    return saveItemTable(
               path,
               [&](ItemTableWriter &writer) {
                   model_->forEachFileRow([&](const ItemRecord &r) {
                       ++record;
                       const std::vector<QString> problems = writer.write(r);
                       if (!problems.empty())
                           throw Error(
                               QStringLiteral("Строка %1 не может быть записана в таблицу: %2")
                                   .arg(record)
                                   .arg(QStringList(problems.begin(), problems.end()).join(QStringLiteral("; "))));
                   });
                   return true;
               },
               {.keepBackup = true})
        .warnings;
}

void CatalogueWindow::showSaved(QString text, const std::vector<QString> &warnings)
{
    if (!warnings.empty())
        text += QStringLiteral("; предупреждения:\n") + QStringList(warnings.begin(), warnings.end()).join(u'\n');
    showMessage(text, false);
}

void CatalogueWindow::save()
{
    const bool asCopy = savesAsCopy();
    const QString target = asCopy ? userCopy : tablePath_;
    if (asCopy && !QDir().mkpath(QFileInfo(target).absolutePath()))
        throw Error(QStringLiteral("Не удалось создать папку %1 для вашей копии каталога")
                        .arg(QDir::toNativeSeparators(QFileInfo(target).absolutePath())));
    auto lock = lockForSaving(target, lockWaitMs);
    // The file as it was read; the user's copy is not there yet.
    const std::optional<FileIdentity> now = FileIdentity::of(target);
    if (asCopy ? now.has_value() : now != loadedFrom_) {
        const Changed answer = askChanged(target);
        if (answer == Changed::Cancel)
            return;
        if (answer == Changed::SaveAs) {
            lock.reset();
            return saveAs();
        }
    }
    const std::vector<QString> warnings = writeTable(target);
    // What is on disk now is this window's own: the next save need not ask.
    loadedFrom_ = FileIdentity::of(target);
    lock.reset();
    model_->undoStack()->setClean();
    const QString shared = tablePath_;
    tablePath_ = target;
    if (reload)
        open(reload(target));
    if (asCopy)
        showSaved(QStringLiteral("Общая таблица %1 защищена от записи: каталог сохранён как ваша копия %2, "
                                 "её программа читает и при следующем запуске")
                      .arg(QDir::toNativeSeparators(shared), QDir::toNativeSeparators(target)),
                  warnings);
    else
        showSaved(QStringLiteral("Каталог сохранён в %1").arg(QDir::toNativeSeparators(target)), warnings);
}

void CatalogueWindow::saveAs()
{
    const QString path = chooseTable();
    if (path.isEmpty())
        return;
    auto lock = lockForSaving(path, lockWaitMs);
    const std::vector<QString> warnings = writeTable(path);
    lock.reset();
    // The edits are in that file now; picks keep the table they read.
    model_->undoStack()->setClean();
    showSaved(
        QStringLiteral("Каталог сохранён в %1 (таблица программы не изменена)").arg(QDir::toNativeSeparators(path)),
        warnings);
}

void CatalogueWindow::exportCsv(const QString &path)
{
    const QString file = QDir::toNativeSeparators(path);
    switch (whatOutputOverwrites(path, tablePath_)) {
    case Overwrites::Nothing:
        break;
    case Overwrites::TheTable:
        throw Error(QStringLiteral("%1 — таблица вещей программы; CSV не будет записан поверх неё").arg(file));
    case Overwrites::TheBackup:
        throw Error(QStringLiteral("%1 — резервная копия таблицы вещей; CSV не будет записан поверх неё").arg(file));
    case Overwrites::ATable:
        throw Error(QStringLiteral("%1 — таблица dBase; CSV не будет записан поверх неё").arg(file));
    }
    const SaveResult saved = saveAtomically(path, [&](QFileDevice &out) {
        ItemCsvWriter writer(out, path);
        model_->forEachShownRow([&](const ItemRecord &r) { writer.write(r); });
        writer.finish();
        return true;
    });
    QString text = QStringLiteral("Записано вещей: %1 в %2").arg(model_->rowCount()).arg(file);
    if (!saved.warnings.empty())
        text += QStringLiteral("; предупреждения:\n") +
                QStringList(saved.warnings.begin(), saved.warnings.end()).join(u'\n');
    showMessage(text, false);
}

void CatalogueWindow::importCsv(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("%1: cannot open: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    ItemCsvReader reader(file, QDir::toNativeSeparators(path));
    std::vector<ItemRecord> rows;
    QStringList faults, warnings;
    while (auto row = reader.next()) {
        faults.append(QStringList(row->problems.begin(), row->problems.end()));
        warnings.append(QStringList(row->warnings.begin(), row->warnings.end()));
        rows.push_back(std::move(row->record));
    }
    if (!faults.isEmpty()) {
        const qsizetype more = faults.size() - kShownFaults;
        throw Error(QStringLiteral("Файл не загружен, ошибок: %1\n").arg(faults.size()) +
                    faults.mid(0, kShownFaults).join(u'\n') +
                    (more > 0 ? QStringLiteral("\n... и ещё %1").arg(more) : QString()));
    }
    const ImportAs as = askImport(int(rows.size()));
    if (as == ImportAs::Cancel)
        return;
    model_->importRows(rows, as == ImportAs::Replace);
    showMessage(warnings.isEmpty()
                    ? QStringLiteral("Загружено вещей: %1").arg(rows.size())
                    : QStringLiteral("Загружено вещей: %1; предупреждения:\n").arg(rows.size()) +
                          warnings.mid(0, kShownFaults).join(u'\n') + moreWarnings(warnings.size() - kShownFaults),
                false);
}

void CatalogueWindow::applyFilter()
{
    ItemModel::Filter f;
    f.type = type_->currentData().toString();
    f.race = race_->currentData().toString();
    f.maxLevel = level_->value();
    f.name = name_->text().trimmed();
    if (available_->isChecked() && player)
        f.available = player();
    model_->setFilter(f);
}

void CatalogueWindow::showCount()
{
    count_->setText(QStringLiteral("Показано %1 из %2").arg(model_->rowCount()).arg(model_->totalCount()));
}

void CatalogueWindow::showMessage(const QString &text, bool refused)
{
    message_->setStyleSheet(refused ? QStringLiteral("color: #a00000") : QStringLiteral("color: #805000"));
    message_->setText(text);
}

QList<int> CatalogueWindow::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &i : table_->selectionModel()->selectedRows())
        rows << i.row();
    if (rows.isEmpty() && table_->currentIndex().isValid())
        rows << table_->currentIndex().row();
    return rows;
}

bool CatalogueWindow::event(QEvent *event)
{
    // The main window's race and level may have changed meanwhile.
    if (event->type() == QEvent::WindowActivate && available_->isChecked())
        applyFilter();
    return QWidget::event(event);
}

void CatalogueWindow::closeEvent(QCloseEvent *event)
{
    if (model_->modified()) {
        const Unsaved answer = model_->readOnly() ? Unsaved::Discard : askUnsaved();
        bool saved = false;
        if (answer == Unsaved::Save)
            runHandler([&] {
                save();
                saved = true;
            });
        if (answer == Unsaved::Keep || (answer == Unsaved::Save && !saved)) {
            event->ignore();
            return;
        }
        model_->setRows(rows_);
        applyFilter();
    }
    QWidget::closeEvent(event);
}

} // namespace vestor
