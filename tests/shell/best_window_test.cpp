// The best-set window, driven as a user would: the button or Ctrl+B, the
// lists and menus, Cancel and Save; the solver runs as its own process.

#include "Fixture.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStringDecoder>
#include <QTableWidget>
#include <QTest>

using namespace shelltest;
using testdbf::item;

namespace {

constexpr int kSila = 1;
constexpr int kZlost = 4;
// Far beyond any solve here; reaching it fails the test instead of hanging it.
constexpr int kPatienceMs = 30000;

struct BestWindowTest : ::testing::Test {
    // A sword and rings the pick reaches for, an amulet that meets both needs cheaply.
    Form f{{
        item("armor", "Меч", 100, {{kSila, 8}}),
        item("ring", "Кольцо злости", 5, {{kZlost, 2}}),
        item("amulet", "Амулет", 30, {{kSila, 8}, {kZlost, 6}}),
    }};

    void SetUp() override
    {
        f.set(QStringLiteral("Edit2"), QStringLiteral("1000"));
        f.set(QStringLiteral("Edit9"), QStringLiteral("8"));  // needed Sila
        f.set(QStringLiteral("Edit12"), QStringLiteral("6")); // needed Zlost
    }
    void TearDown() override { qunsetenv("VESTOR_SOLVE_FAULT"); }

    QWidget *best() const { return f.window->findChild<QWidget *>(QStringLiteral("BestWindow")); }
    template <typename T> T *part(const char *name) const { return child<T>(*best(), QString::fromLatin1(name)); }
    QString status() const { return part<QLabel>("StatusLabel")->text(); }
    bool solving() const { return part<QPushButton>("CancelButton")->isEnabled(); }
    void open() const { child<QPushButton>(*f.window, QStringLiteral("BestButton"))->click(); }
    // Keeps the window's event loop turning until the solve has ended.
    void waitForTheSolve() const
    {
        QElapsedTimer clock;
        clock.start();
        while (solving() && clock.elapsed() < kPatienceMs)
            QTest::qWait(20);
        ASSERT_FALSE(solving()) << "the solve never ended";
    }
    QStringList names(const char *table) const
    {
        const auto *t = part<QTableWidget>(table);
        QStringList out;
        for (int r = 0; r < t->rowCount(); ++r)
            out << t->item(r, 1)->text().section(QStringLiteral(" (№"), 0, 0);
        return out;
    }
};

TEST_F(BestWindowTest, TheButtonStaysOutOfTheTabChainAndNamesItsShortcut)
{
    const auto *button = child<QPushButton>(*f.window, QStringLiteral("BestButton"));
    const auto *save = child<QPushButton>(*f.window, QStringLiteral("BitBtn1"));
    EXPECT_EQ(button->text(), QStringLiteral("Лучший"));
    EXPECT_EQ(button->size(), save->size());
    EXPECT_LE(button->geometry().right(), save->geometry().left()) << "left of the save button";
    EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(button->toolTip().contains(QStringLiteral("Ctrl+B")));
}

TEST_F(BestWindowTest, CtrlBShowsThePickAndTheBestSideBySide)
{
    f.window->show();
    QApplication::setActiveWindow(f.window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.window.get()));
    QTest::keyClick(f.window.get(), Qt::Key_B, Qt::ControlModifier);
    ASSERT_NE(best(), nullptr);
    EXPECT_EQ(best()->windowTitle(), QStringLiteral("Лучший комплект"));
    EXPECT_TRUE(best()->isVisible());
    waitForTheSolve();

    EXPECT_EQ(names("BestTable"), QStringList{"Амулет"});
    EXPECT_TRUE(names("GreedyTable").contains(QStringLiteral("Меч")));
    EXPECT_EQ(part<QLabel>("BestTotal")->text(), QStringLiteral("Всего на сумму 30"));
    EXPECT_TRUE(part<QLabel>("ModeLabel")->text().contains(QStringLiteral("выполнены")));
    EXPECT_TRUE(part<QLabel>("ProofLabel")->text().contains(QStringLiteral("Доказано")));
    // Sila's row: needed, the pick's and the best set's yields.
    const auto *table = part<QTableWidget>("StatsTable");
    EXPECT_EQ(table->item(kSila - 1, 1)->text(), QStringLiteral("8"));
    EXPECT_EQ(table->item(kSila - 1, 3)->text(), QStringLiteral("8"));
}

TEST_F(BestWindowTest, UnmetNeedsAreColouredAndAlternativesSwitchTheSet)
{
    f.set(QStringLiteral("Edit9"), QStringLiteral("30")); // more Sila than anything gives
    open();
    waitForTheSolve();
    const auto *table = part<QTableWidget>("StatsTable");
    const QColor plain = table->item(kZlost - 1, 3)->background().color();
    EXPECT_NE(table->item(kSila - 1, 3)->background().color(), plain);
    EXPECT_TRUE(part<QLabel>("ShortLabel")->text().contains(QStringLiteral("Сила")));

    auto *list = part<QListWidget>("AlternativesList");
    ASSERT_GE(list->count(), 2);
    const QStringList first = names("BestTable");
    list->setCurrentRow(1);
    EXPECT_NE(names("BestTable"), first);
}

TEST_F(BestWindowTest, LockFromTheItemMenuThenSolveAgainThenClear)
{
    open();
    waitForTheSolve();
    // Lock the pick's sword from its menu.
    auto *greedy = part<QTableWidget>("GreedyTable");
    greedy->setCurrentCell(int(names("GreedyTable").indexOf(QStringLiteral("Меч"))), 1);
    QAction *lock = greedy->findChild<QAction *>(QStringLiteral("LockAction"));
    ASSERT_NE(lock, nullptr);
    lock->trigger();
    EXPECT_EQ(part<QListWidget>("ChoicesList")->count(), 1);
    part<QPushButton>("SolveButton")->click();
    waitForTheSolve();
    EXPECT_TRUE(names("BestTable").contains(QStringLiteral("Меч")));

    part<QPushButton>("ClearChoicesButton")->click();
    EXPECT_EQ(part<QListWidget>("ChoicesList")->count(), 0);
    part<QPushButton>("SolveButton")->click();
    waitForTheSolve();
    EXPECT_EQ(names("BestTable"), QStringList{"Амулет"});
}

TEST_F(BestWindowTest, CancelAndSolverFaultsLeaveTheWindowUsable)
{
    qputenv("VESTOR_SOLVE_FAULT", "hang");
    open();
    EXPECT_TRUE(solving());
    part<QPushButton>("CancelButton")->click();
    EXPECT_FALSE(solving());
    EXPECT_TRUE(status().contains(QStringLiteral("отменён")));

    qputenv("VESTOR_SOLVE_FAULT", "abort");
    part<QPushButton>("SolveButton")->click();
    waitForTheSolve();
    EXPECT_TRUE(status().contains(QStringLiteral("Ошибка"))) << status().toStdString();

    qunsetenv("VESTOR_SOLVE_FAULT");
    part<QPushButton>("SolveButton")->click();
    waitForTheSolve();
    EXPECT_EQ(names("BestTable"), QStringList{"Амулет"});
}

TEST_F(BestWindowTest, SaveWritesTheShownSetAsTheMainWindowSavesItsReport)
{
    QTemporaryDir out;
    const QString chosen = out.filePath(QStringLiteral("лучший"));
    f.window->chooseSaveFile = [&](const QString &) { return chosen; };
    open();
    waitForTheSolve();
    part<QPushButton>("SaveButton")->click();
    QFile file(chosen + QStringLiteral(".txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QStringDecoder("windows-1251").decode(file.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("Слот 2 (Амулет): Амулет — 30\r\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Всего на сумму 30")));
}

} // namespace
