// The pick button, the race and level lists and the start-up of the window
// over a real item table.
#include "Fixture.h"
#include "catalogue/Catalogue.h"
#include "engine/Picker.h"
#include "engine/TextWindow.h"
#include "shell/Splash.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QtTest/QTest>

using shelltest::ErrorBoxCatch;
using shelltest::Form;
using testdbf::item;

namespace {

const QString kClosing = QStringLiteral(
    "Вы можете улучшить этот комплект, вставив в вещи камни с дополнительными модификаторами у кузнецов клана Veldrin");

std::vector<testdbf::Item> smallTable()
{
    return {
        item("lats", "Латы силы", 100, {{1, 10}}),
        item("amulet", "Амулет", 50, {{1, 5}}),
        item("pojas", "Орочий пояс", 10, {{1, 7}}, "Or"),
        item("helmet", "Шлем мастера", 20, {{1, 4}}, "No", 5),
    };
}

// The memo's lines; a report ends with a line break after its last line.
QStringList lines(const QString &memo)
{
    QStringList out = memo.split(u'\n');
    if (!out.isEmpty() && out.back().isEmpty())
        out.pop_back();
    return out;
}

QStringList report(const QStringList &items, const QString &total)
{
    return QStringList{"Более всего вам подходит такой комплект:", ""} + items +
           QStringList{"", "Всего на сумму " + total, "", kClosing};
}

TEST(Pick, ResultFieldsShortOfTheirNeedAreRedUntilAPickMeetsIt)
{
    const QColor red(0xc0, 0, 0);
    Form f(smallTable());
    const auto colour = [&](const char *field) { return f.edit(field)->palette().color(QPalette::Text); };
    const QColor plain = colour("Edit31");
    struct Case {
        const char *sila, *negative; // the needs of Sila and Ob_Uv_p
        bool silaShort, negativeShort;
    };
    // The set gives Sila 17 (2 had + 5 + 10) and Ob_Uv_p 0.
    for (const Case &c : {Case{"20", "0", true, false}, Case{"17", "0", false, false}, Case{"0", "-5", false, true},
                          Case{"5", "3", false, true}, Case{"5", "0", false, false}}) {
        f.set("Edit2", "1000");
        f.set("Edit3", "2");
        f.set("Edit9", c.sila);
        f.set("Edit27", c.negative);
        f.pick();
        ASSERT_EQ(f.edit("Edit31")->text(), QStringLiteral("17"));
        EXPECT_EQ(colour("Edit31"), c.silaShort ? red : plain) << c.sila;
        EXPECT_EQ(colour("Edit45"), c.negativeShort ? red : plain) << c.negative;
        EXPECT_EQ(colour("Edit32"), plain) << "no need, never red";
    }
    EXPECT_EQ(lines(f.memo()).size(), 8) << "the report stays as it was";
}

TEST(Pick, FillsTheReportAndTheResultFields)
{
    Form f(smallTable());
    f.set("Edit2", "1000");
    f.set("Edit9", "20");
    f.set("Edit3", "2");
    f.pick();
    EXPECT_EQ(lines(f.memo()), report({"Амулет", "Латы силы"}, "150"));
    EXPECT_TRUE(f.memo().endsWith(u'\n'));
    EXPECT_EQ(f.edit("Edit31")->text(), QStringLiteral("17")) << "2 had + 5 + 10";
    // The elf's own evasion and answer.
    EXPECT_EQ(f.edit("Edit41")->text(), QStringLiteral("10"));
    EXPECT_EQ(f.edit("Edit43")->text(), QStringLiteral("10"));
    EXPECT_EQ(f.edit("Edit32")->text(), QStringLiteral("0"));

    // A second run starts afresh.
    f.pick();
    EXPECT_EQ(lines(f.memo()), report({"Амулет", "Латы силы"}, "150"));
}

TEST(Pick, ShowsWhatTheEngineGivesForEveryField)
{
    std::vector<testdbf::Item> items = smallTable();
    items.push_back(item("ring", "Кольцо ловкости", 30, {{2, 6}, {12, 5}, {16, -5}}));
    items.push_back(item("2hand", "Секира", 400, {{7, 10}, {9, 20}, {15, 12}}));
    items.push_back(item("perchi", "Перчатки", 40, {{8, 5}, {17, 7}, {18, 3}}));
    Form f(items);

    vestor::TextWindow text;
    text.race = QStringLiteral("Эльф");
    text.money = QStringLiteral("2500");
    f.set("Edit2", text.money);
    // A different value in every input field, so a crossed wire shows.
    for (const vestor::Stat &s : vestor::stats()) {
        text.needed[s.index] = QString::number(s.index * 3 + (s.index >= 15 ? -60 : 0));
        f.set(QLatin1String(s.neededField), text.needed[s.index]);
        if (s.currentField) {
            text.current[s.index] = QString::number(s.index);
            f.set(QLatin1String(s.currentField), text.current[s.index]);
        }
    }
    f.pick();

    vestor::Catalogue catalogue;
    catalogue.setUp(f.dir.program());
    vestor::Picker(text, catalogue).Button1Click();
    ASSERT_GT(text.report.size(), 7) << "the table gives something to take";
    EXPECT_EQ(lines(f.memo()), text.report);
    for (const vestor::Stat &s : vestor::stats())
        EXPECT_EQ(f.edit(QLatin1String(s.resultField))->text(), text.result[s.index]) << s.name;
}

TEST(Lists, ARaceChosenByTheUserSetsEveryQueryAndTheNextPick)
{
    Form f(smallTable());
    f.set("Edit2", "1000");
    f.set("Edit9", "20");
    auto *race = f.combo("ComboBox1");
    race->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(race, Qt::Key_Down);
    ASSERT_EQ(race->currentText(), QStringLiteral("Орк"));
    for (int q = 1; q <= 18; ++q) {
        EXPECT_EQ(f.window->catalogue().query(q).param("race1").toString(), QStringLiteral("Or")) << q;
        EXPECT_EQ(f.window->catalogue().query(q).param("race2").toString(), QStringLiteral("Or")) << q;
    }
    f.pick();
    EXPECT_EQ(lines(f.memo()), report({"Орочий пояс", "Амулет", "Латы силы"}, "160"));
    EXPECT_EQ(f.edit("Edit44")->text(), QStringLiteral("10")) << "the orc's own criticals";

    // Back to the elf: the orc's belt is gone again.
    QTest::keyClick(race, Qt::Key_Home);
    ASSERT_EQ(race->currentText(), QStringLiteral("Эльф"));
    EXPECT_EQ(f.window->catalogue().query(18).param("race2").toString(), QStringLiteral("El"));
    f.pick();
    EXPECT_EQ(lines(f.memo()), report({"Амулет", "Латы силы"}, "150"));
}

TEST(Lists, ALevelChosenByTheUserAdmitsHigherItems)
{
    Form f(smallTable());
    f.set("Edit2", "1000");
    f.set("Edit9", "30");
    auto *level = f.combo("ComboBox2");
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(level, Qt::Key_Down);
    ASSERT_EQ(level->currentText(), QStringLiteral("5"));
    EXPECT_EQ(f.window->catalogue().query(7).param("level1").toInt(), 5);
    EXPECT_EQ(f.window->catalogue().query(7).param("level2").toInt(), 5);
    f.pick();
    EXPECT_EQ(lines(f.memo()), report({"Шлем мастера", "Амулет", "Латы силы"}, "170"));
}

TEST(Lists, ASelectionMadeByTheProgramChangesNoQuery)
{
    Form f(smallTable());
    f.combo("ComboBox1")->setCurrentIndex(3);
    f.combo("ComboBox2")->setCurrentIndex(12);
    EXPECT_EQ(f.window->catalogue().query(1).param("race1").toString(), QStringLiteral("El"));
    EXPECT_EQ(f.window->catalogue().query(1).param("level1").toInt(), 1);
}

TEST(Errors, AFieldThatIsNoNumberEndsThePickInTheErrorBox)
{
    Form f(smallTable());
    f.set("Edit2", "1000");
    f.set("Edit9", "20");
    f.pick();
    const QString before = f.edit("Edit31")->text();

    ErrorBoxCatch box;
    f.set("Edit10", "");
    f.pick();
    EXPECT_EQ(box.texts, QStringList{"'' is not a valid integer value."});
    EXPECT_EQ(box.captions, QStringList{"Vestor"});
    EXPECT_TRUE(f.memo().isEmpty());
    EXPECT_EQ(f.edit("Edit31")->text(), before) << "results of the last run stay";

    // Negative fields take a minus anywhere; such text is no number either.
    f.set("Edit10", "0");
    f.set("Edit27", "1-");
    f.pick();
    EXPECT_EQ(box.texts.value(1), QStringLiteral("'1-' is not a valid integer value."));

    // The window goes on.
    f.set("Edit27", "0");
    f.pick();
    EXPECT_EQ(box.texts.size(), 2);
    EXPECT_EQ(lines(f.memo()), report({"Амулет", "Латы силы"}, "150"));
}

TEST(Errors, AnEmptySumStopsAfterTheStartingState)
{
    Form f(smallTable());
    f.set("Edit3", "4");
    f.set("Edit2", "");
    ErrorBoxCatch box;
    f.pick();
    EXPECT_EQ(box.texts, QStringList{"'' is not a valid floating point value."});
    EXPECT_TRUE(f.memo().isEmpty());
    EXPECT_EQ(f.edit("Edit31")->text(), QStringLiteral("4"));
    EXPECT_EQ(f.edit("Edit41")->text(), QStringLiteral("10"));
}

// ---- start-up ----

bool splashAround()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<TForm2 *>(w))
            return true;
    return false;
}

TEST(StartUp, AMissingTableIsReportedAfterTheSplashAndBeforeTheWindow)
{
    testdbf::ProgramDir dir; // no Data directory at all
    TForm1 w;
    ErrorBoxCatch box;
    bool splashGone = false, windowHidden = false;
    vestor::setErrorSink([&](const QString &, const QString &text) {
        box.texts << text;
        splashGone = !splashAround();
        windowHidden = !w.isVisible();
    });
    w.FormCreate(dir.program(), 50);
    ASSERT_EQ(box.texts.size(), 1);
    EXPECT_FALSE(box.texts[0].isEmpty());
    EXPECT_TRUE(splashGone);
    EXPECT_TRUE(windowHidden);

    // The window opens all the same; a pick then fails in the box, and no more.
    w.show();
    w.findChild<QPushButton *>("Button1")->click();
    EXPECT_EQ(box.texts.size(), 2);
    EXPECT_TRUE(w.isVisible());
}

TEST(StartUp, TheSplashWaitsWhileBothEmblemsRun)
{
    testdbf::ProgramDir dir;
    dir.write(smallTable());
    TForm1 w;
    ErrorBoxCatch box;
    bool shownDuringWait = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] { shownDuringWait |= splashAround(); });
    probe.start(100);
    QElapsedTimer clock;
    clock.start();
    w.FormCreate(dir.program(), 500);
    EXPECT_GE(clock.elapsed(), 500);
    EXPECT_LT(clock.elapsed(), 5000) << "the wait ends";
    EXPECT_TRUE(shownDuringWait);
    EXPECT_FALSE(splashAround()) << "the splash is destroyed";
    EXPECT_GE(w.frameCounter(), 1) << "the window's emblem ticked during the wait";
    EXPECT_TRUE(box.texts.isEmpty());
    EXPECT_TRUE(w.catalogue().table1.active());
    EXPECT_FALSE(w.quitRequested());
}

} // namespace
