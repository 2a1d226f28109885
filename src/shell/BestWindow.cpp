#include "shell/BestWindow.h"

#include "best/Greedy.h"
#include "best/Report.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Columns.h"
#include "catalogue/Error.h"
#include "engine/Number.h"
#include "engine/Stats.h"
#include "shell/ErrorBox.h"
#include "shell/Unit1.h"

#include <QAction>
#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>

using namespace vestor;
using namespace vestor::best;

namespace {

constexpr int kTickMs = 100;
constexpr int kMillisecondsPerSecond = 1000;
const QColor kUnmet(255, 200, 200);
// Columns of the set tables; the record rides along in the name cell.
enum SetColumn { SlotColumn, NameColumn, PriceColumn };
enum StatColumn { CaptionColumn, NeededColumn, GreedyColumn, BestColumn };

QTableWidget *table(const QString &name, const QStringList &headers)
{
    auto *t = new QTableWidget(0, int(headers.size()));
    t->setObjectName(name);
    t->setHorizontalHeaderLabels(headers);
    t->verticalHeader()->hide();
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return t;
}

template <typename W> W *named(W *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

QTableWidgetItem *cell(const QString &text, const QColor &background = {})
{
    auto *item = new QTableWidgetItem(text);
    if (background.isValid())
        item->setBackground(background);
    return item;
}

void fillSet(QTableWidget *t, QLabel *total, const ItemSet &set)
{
    t->setRowCount(int(set.items.size()));
    for (int r = 0; r < int(set.items.size()); ++r) {
        const SetItem &i = set.items[r];
        t->setItem(r, SlotColumn, cell(QString::number(i.slot)));
        t->setItem(r, NameColumn, cell(QStringLiteral("%1 (№%2)").arg(i.name).arg(i.record)));
        t->item(r, NameColumn)->setData(Qt::UserRole, qint64(i.record));
        t->setItem(r, PriceColumn, cell(formatGeneral(i.price)));
    }
    total->setText(QStringLiteral("Всего на сумму %1").arg(formatGeneral(set.total)));
}

// The name of record `record` in the item table, for the lists of choices.
QString itemName(const ItemRows &rows, std::int64_t record)
{
    for (int row = 0; row < rows.rowCount(); ++row)
        if (rows.recordNumber(row) == record)
            return rows.text(vestor::kNameColumn, row);
    return QStringLiteral("?");
}

} // namespace

BestWindow::BestWindow(TForm1 &form, QWidget *parent) : QWidget(parent, Qt::Window), form_(form)
{
    setObjectName(QStringLiteral("BestWindow"));
    setWindowTitle(QStringLiteral("Лучший комплект"));
    build();
    connect(&solver_, &Solver::finished, this, &BestWindow::showResult);
    connect(&solver_, &Solver::failed, this, &BestWindow::showFailure);
    ticker_.setInterval(kTickMs);
    connect(&ticker_, &QTimer::timeout, this, &BestWindow::tick);
    setRunning(false);
}

void BestWindow::build()
{
    modeLabel_ = named(new QLabel, QStringLiteral("ModeLabel"));
    proofLabel_ = named(new QLabel, QStringLiteral("ProofLabel"));
    statusLabel_ = named(new QLabel, QStringLiteral("StatusLabel"));
    shortLabel_ = named(new QLabel, QStringLiteral("ShortLabel"));
    statusLabel_->setWordWrap(true);
    auto *top = new QVBoxLayout(this);
    top->addWidget(modeLabel_);
    top->addWidget(proofLabel_);
    auto *middle = new QHBoxLayout;
    middle->addWidget(buildSets(), 3);
    middle->addWidget(buildSide(), 1);
    top->addLayout(middle);
    top->addWidget(shortLabel_);
    auto *buttons = new QHBoxLayout;
    solveButton_ = named(new QPushButton(QStringLiteral("Найти заново")), QStringLiteral("SolveButton"));
    cancelButton_ = named(new QPushButton(QStringLiteral("Отмена")), QStringLiteral("CancelButton"));
    saveButton_ = named(new QPushButton(QStringLiteral("Сохранить")), QStringLiteral("SaveButton"));
    buttons->addWidget(statusLabel_, 1);
    for (QPushButton *b : {solveButton_, cancelButton_, saveButton_})
        buttons->addWidget(b);
    top->addLayout(buttons);
    connect(solveButton_, &QPushButton::clicked, this, &BestWindow::solve);
    connect(cancelButton_, &QPushButton::clicked, this, &BestWindow::cancel);
    connect(saveButton_, &QPushButton::clicked, this, &BestWindow::save);
}

QWidget *BestWindow::buildSets()
{
    const QStringList headers{QStringLiteral("Слот"), QStringLiteral("Вещь"), QStringLiteral("Цена")};
    greedyTable_ = table(QStringLiteral("GreedyTable"), headers);
    bestTable_ = table(QStringLiteral("BestTable"), headers);
    greedyTotal_ = named(new QLabel, QStringLiteral("GreedyTotal"));
    bestTotal_ = named(new QLabel, QStringLiteral("BestTotal"));
    statsTable_ = table(QStringLiteral("StatsTable"), {QStringLiteral("Характеристика"), QStringLiteral("Нужно"),
                                                       QStringLiteral("Обычный подбор"), QStringLiteral("Лучший")});
    statsTable_->setRowCount(kStatCount);
    for (QTableWidget *t : {greedyTable_, bestTable_}) {
        // The item's menu: lock it in every set, or leave it out of all.
        t->setContextMenuPolicy(Qt::ActionsContextMenu);
        auto *lock = named(new QAction(QStringLiteral("Закрепить вещь"), t), QStringLiteral("LockAction"));
        auto *exclude = named(new QAction(QStringLiteral("Исключить вещь"), t), QStringLiteral("ExcludeAction"));
        connect(lock, &QAction::triggered, this, &BestWindow::lockCurrent);
        connect(exclude, &QAction::triggered, this, &BestWindow::excludeCurrent);
        t->addActions({lock, exclude});
    }
    auto *box = new QWidget;
    auto *grid = new QGridLayout(box);
    grid->addWidget(new QLabel(QStringLiteral("Обычный подбор")), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Лучший комплект")), 0, 1);
    grid->addWidget(greedyTable_, 1, 0);
    grid->addWidget(bestTable_, 1, 1);
    grid->addWidget(greedyTotal_, 2, 0);
    grid->addWidget(bestTotal_, 2, 1);
    grid->addWidget(statsTable_, 3, 0, 1, 2);
    return box;
}

QWidget *BestWindow::buildSide()
{
    alternatives_ = named(new QListWidget, QStringLiteral("AlternativesList"));
    choices_ = named(new QListWidget, QStringLiteral("ChoicesList"));
    auto *clear = named(new QPushButton(QStringLiteral("Сбросить закрепления и исключения")),
                        QStringLiteral("ClearChoicesButton"));
    connect(alternatives_, &QListWidget::currentRowChanged, this, &BestWindow::showSet);
    connect(clear, &QPushButton::clicked, this, &BestWindow::clearChoices);
    auto *box = new QWidget;
    auto *column = new QVBoxLayout(box);
    column->addWidget(new QLabel(QStringLiteral("Комплекты")));
    column->addWidget(alternatives_);
    column->addWidget(new QLabel(QStringLiteral("Закреплено и исключено")));
    column->addWidget(choices_);
    column->addWidget(clear);
    return box;
}

void BestWindow::solve()
{
    if (solver_.isRunning())
        return;
    result_.reset();
    alternatives_->clear();
    bestTable_->setRowCount(0);
    try {
        Inputs in = inputsFrom(form_, form_.levelText().toInt());
        in.locked = locked_;
        in.excluded = excluded_;
        model_ = std::make_shared<const Model>(form_.catalogue().table1.rows(), in);
        best::Options options;
        options.start = greedyRecords(form_.catalogue(), form_);
        options.solver = solverProgram;
        greedy_ = describedSet(*model_, options.start);
        fillSet(greedyTable_, greedyTotal_, *greedy_);
        showStats(nullptr);
        solver_.start(model_, options);
    } catch (const Error &e) {
        showFailure(e.message());
        return;
    }
    setRunning(true);
}

void BestWindow::cancel()
{
    if (!solver_.isRunning())
        return;
    solver_.cancel();
    setRunning(false);
    statusLabel_->setText(QStringLiteral("Поиск отменён."));
}

void BestWindow::setRunning(bool running)
{
    solveButton_->setEnabled(!running);
    cancelButton_->setEnabled(running);
    saveButton_->setEnabled(!running && result_.has_value());
    if (running) {
        statusLabel_->setStyleSheet(QString());
        clock_.start();
        ticker_.start();
        tick();
    } else {
        ticker_.stop();
    }
}

void BestWindow::tick()
{
    statusLabel_->setText(
        QStringLiteral("Идёт поиск… %1 с").arg(double(clock_.elapsed()) / kMillisecondsPerSecond, 0, 'f', 1));
}

void BestWindow::showFailure(const QString &message)
{
    setRunning(false);
    statusLabel_->setStyleSheet(QStringLiteral("color: #b00000"));
    statusLabel_->setText(QStringLiteral("Ошибка: %1").arg(message));
}

void BestWindow::showResult(const Result &result)
{
    result_ = result;
    setRunning(false);
    statusLabel_->setText(
        QStringLiteral("Найдено за %1 с.").arg(double(clock_.elapsed()) / kMillisecondsPerSecond, 0, 'f', 1));
    modeLabel_->setText(result.allMet ? QStringLiteral("Все требования выполнены.")
                                      : QStringLiteral("Все требования выполнить нельзя; показан ближайший комплект."));
    proofLabel_->setText(proofLine(result));
    shortLabel_->setText(result.allMet ? QString() : shortfallLines(*model_, result).join(u'\n'));
    const QSignalBlocker quiet(alternatives_);
    alternatives_->clear();
    for (int k = 0; k < int(result.sets.size()); ++k)
        alternatives_->addItem(k == 0 ? QStringLiteral("Лучший: %1").arg(formatGeneral(result.sets[k].total))
                                      : alternativeHeading(result, k));
    alternatives_->setCurrentRow(0);
    showSet(0);
}

void BestWindow::showSet(int index)
{
    if (!result_ || index < 0 || index >= int(result_->sets.size()))
        return;
    shown_ = index;
    fillSet(bestTable_, bestTotal_, result_->sets[index]);
    showStats(&result_->sets[index]);
}

void BestWindow::showStats(const ItemSet *best)
{
    for (const Stat &s : stats()) {
        const int row = s.index - 1;
        auto yieldCell = [&](const ItemSet *set) {
            if (!set)
                return cell(QString());
            const double y = set->yields[s.index];
            return cell(formatGeneral(y), model_->shortfall(s.index, y) > 0 ? kUnmet : QColor());
        };
        statsTable_->setItem(row, CaptionColumn, cell(s.caption));
        statsTable_->setItem(row, NeededColumn, cell(formatGeneral(model_->inputs().needed[s.index])));
        statsTable_->setItem(row, GreedyColumn, yieldCell(greedy_ ? &*greedy_ : nullptr));
        statsTable_->setItem(row, BestColumn, yieldCell(best));
    }
}

std::optional<std::int64_t> BestWindow::currentRecord() const
{
    // The menu belongs to the table it was opened on.
    const auto *action = qobject_cast<QAction *>(sender());
    const auto *t = action ? qobject_cast<QTableWidget *>(action->parent()) : nullptr;
    const QTableWidgetItem *item = t && t->currentRow() >= 0 ? t->item(t->currentRow(), NameColumn) : nullptr;
    if (!item)
        return std::nullopt;
    return item->data(Qt::UserRole).toLongLong();
}

void BestWindow::lockCurrent()
{
    if (const auto record = currentRecord()) {
        excluded_.erase(*record);
        ++locked_[*record];
        showChoices();
    }
}

void BestWindow::excludeCurrent()
{
    if (const auto record = currentRecord()) {
        locked_.erase(*record);
        excluded_.insert(*record);
        showChoices();
    }
}

void BestWindow::clearChoices()
{
    locked_.clear();
    excluded_.clear();
    showChoices();
}

void BestWindow::showChoices()
{
    const ItemRows rows = form_.catalogue().table1.rows();
    choices_->clear();
    for (const auto &[record, count] : locked_)
        choices_->addItem(
            QStringLiteral("Закреплено: %1 (№%2) × %3").arg(itemName(rows, record)).arg(record).arg(count));
    for (std::int64_t record : excluded_)
        choices_->addItem(QStringLiteral("Исключено: %1 (№%2)").arg(itemName(rows, record)).arg(record));
    statusLabel_->setStyleSheet(QString());
    statusLabel_->setText(QStringLiteral("Нажмите «Найти заново», чтобы учесть изменения."));
}

void BestWindow::save()
{
    if (!result_ || !model_)
        return;
    QStringList lines{modeLabel_->text(), QString()};
    lines << setLines(result_->sets[shown_]) << QString() << proofLine(*result_);
    if (!result_->allMet)
        lines << shortfallLines(*model_, *result_);
    runHandler([&] { form_.saveText(lines.join(u'\n')); });
}
