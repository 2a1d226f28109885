#include "CatalogueWindow.h"

#include "Picker.h"
#include "Stats.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace vestor {

const QString CatalogueWindow::kTitle = QStringLiteral("Каталог вещей");

namespace {

constexpr int kSearchDelayMs = 250; // a name search waits for the typing to pause
const QSize kFirstSize(1000, 600);
// Column widths that fit what the columns hold: names are long, amounts short.
constexpr int kAmountWidth = 72;
constexpr int kRecordWidth = 48;
constexpr int kCodeWidth = 60;
constexpr int kNameWidth = 220;
constexpr int kRowPadding = 6;

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
    layout->addWidget(makeButtons());
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

    askUnsaved = [this] {
        return QMessageBox::question(
                   this, kTitle, QStringLiteral("Изменения в каталоге не сохранены. Отказаться от них?"),
                   QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Discard
                   ? Unsaved::Discard
                   : Unsaved::Keep;
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
        type_->addItem(code, code);
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

void CatalogueWindow::open(const ItemRows &rows, const QString &tablePath, const QString &why)
{
    rows_ = rows;
    model_->setRows(rows);
    const bool readOnly = !why.isEmpty() || !writable(tablePath);
    model_->setReadOnly(readOnly);
    for (QWidget *w : editing_)
        w->setEnabled(!readOnly);
    readOnly_->setVisible(readOnly);
    if (!why.isEmpty())
        readOnly_->setText(why);
    else
        readOnly_->setText(QStringLiteral("Таблица %1 защищена от записи: каталог открыт только для чтения")
                               .arg(QDir::toNativeSeparators(tablePath)));
    setWindowTitle(readOnly ? kTitle + QStringLiteral(" (только чтение)") : kTitle);
    message_->clear();
    applyFilter();
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
        if (askUnsaved() == Unsaved::Keep) {
            event->ignore();
            return;
        }
        model_->setRows(rows_);
        applyFilter();
    }
    QWidget::closeEvent(event);
}

} // namespace vestor
