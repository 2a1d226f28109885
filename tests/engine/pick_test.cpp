// Taking an item, filling a slot and the whole run with its report.

#include "EngineFixture.h"
#include "catalogue/Convert.h"

#include <cmath>

using namespace testdbf;
using vestor::priceCap;

namespace {

using Intake = Engine;
using Slots = Engine;
using PickRun = Engine;

// Every slot's best item for Sila costs `price`: the same set whatever the needs.
std::vector<Item> oneOfEach(double price)
{
    std::vector<Item> items;
    for (const char *type : {"2hand", "ponogi", "ring", "pojas", "perchi", "helmet", "amulet", "lats"})
        items.push_back(item(type, QStringLiteral("best ") + type, price, {{1, 1}}));
    return items;
}

} // namespace

TEST_F(Intake, WorkedExample)
{
    load({item("ring", "Перстень", 120, {{1, 5}, {7, 10}, {11, 3}})});
    setNeed(1, 20);
    setNeed(7, 10);
    setNeed(11, 12);
    p.Money = 1000;
    w.result[1] = "30";
    w.result[7] = "15";
    w.result[11] = "10";
    w.result[2] = "007";
    runSlot(catalogue.query(1), "ring", "ring", 1000);
    p.Update(1);

    EXPECT_EQ(w.report, QStringList{"Перстень"});
    EXPECT_EQ(need(1), 15);
    EXPECT_EQ(need(7), 6);
    EXPECT_DOUBLE_EQ(need(11), 10.8);
    EXPECT_EQ(need(2), 0);
    EXPECT_EQ(p.Money, 880);
    EXPECT_EQ(w.result[1], "35");
    EXPECT_EQ(w.result[7], "25");
    EXPECT_EQ(w.result[11], "13");
    EXPECT_EQ(w.result[2], "7"); // every field is rewritten
}

TEST_F(Intake, EveryStatInUnitsWithHalfEvenResults)
{
    load({item("ring", "r", 10, {{1, 4}, {2, 3}, {5, 0.5}, {6, 0.5}, {9, -5}, {18, 5}})});
    w.result[5] = "2";
    w.result[6] = "3";
    w.result[9] = "1";
    setNeed(2, -1);
    runSlot(catalogue.query(1), "ring", "ring", 10);
    p.Update(1);
    EXPECT_EQ(allNeeds(), (std::vector<double>{-4, -4, 0, 0, -0.5, -0.5, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, -2}));
    EXPECT_EQ(w.result[1], "4");
    EXPECT_EQ(w.result[2], "3");
    EXPECT_EQ(w.result[5], "2"); // 2.5 -> 2
    EXPECT_EQ(w.result[6], "4"); // 3.5 -> 4
    EXPECT_EQ(w.result[9], "-4");
    EXPECT_EQ(w.result[18], "5");
    EXPECT_EQ(p.Money, -10);
}

TEST_F(Intake, NoRowChangesNothing)
{
    load({item("ring", "dear", 500, {{1, 5}})});
    setNeed(3, 7);
    p.Money = 100;
    w.result[1] = "007";
    runSlot(catalogue.query(1), "ring", "ring", 100);
    p.Update(1);
    EXPECT_TRUE(w.report.isEmpty());
    EXPECT_EQ(allNeeds(), (std::vector<double>{0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(p.Money, 100);
    EXPECT_EQ(w.result[1], "007");
}

TEST_F(Intake, EmptyStatFieldCarriesNothing)
{
    Table t = itemTable({item("ring", "r", 10, {{1, 3}, {2, 4}})});
    t.records[0].values[6] = ""; // LOVKA left blank
    dir.write(bytes(t));
    catalogue.setUp(dir.program());
    runSlot(catalogue.query(1), "ring", "ring", 10);
    p.Update(1);
    EXPECT_EQ(need(1), -3);
    EXPECT_EQ(need(2), 0);
    EXPECT_EQ(w.result[2], "0");
}

TEST(PriceCap, WorkedValues)
{
    struct Case {
        double money;
        int slot;
        double cap;
        double compared;
    };
    const Case cases[] = {{1000, 12, 1000.0 / 12 + 50, 133},
                          {2000, 12, 2000.0 / 12 + 100, 267},
                          {150, 2, 82.5, 82},
                          {90, 4, 27, 27},
                          {1, 2, 0.55, 1},
                          {537, 1, 537, 537},
                          {0, 5, 0, 0}};
    for (const Case &c : cases) {
        const double cap = priceCap(c.money, c.slot);
        EXPECT_NEAR(cap, c.cap, 1e-9) << c.money << " " << c.slot;
        EXPECT_EQ(vestor::roundHalfEven(cap), c.compared) << c.money << " " << c.slot;
    }
}

TEST_F(Slots, CapDecidesWhatTheQueryAdmits)
{
    load({item("amulet", "a83", 83, {{1, 9}}), item("amulet", "a82", 82, {{1, 5}}), item("amulet", "a1", 1, {{1, 1}}),
          item("lats", "l84", 84, {{1, 1}})});
    p.Money = 150;
    p.SelectWeapon("amulet", "amulet", 2); // 82.5 admits 82, not 83
    EXPECT_EQ(w.report, QStringList{"a82"});
    EXPECT_EQ(catalogue.query(1).param("price1").toDouble(), 82.5);
    EXPECT_EQ(catalogue.query(1).param("price2").toDouble(), 82.5);

    p.Money = 1;
    p.SelectWeapon("amulet", "amulet", 2); // 0.55 rounds up to 1
    EXPECT_EQ(w.report.last(), "a1");
    EXPECT_EQ(p.Money, 0);

    p.Money = 83.5; // the last slot may spend all; 83.5 rounds to 84
    p.SelectWeapon("lats", "lats", 1);
    EXPECT_EQ(w.report.last(), "l84");
}

TEST_F(Slots, SetsTypesAndPriceOfTheChosenQueryOnly)
{
    load({item("2hand", "axe", 10, {{9, 5}}), item("armor", "mail", 10, {{9, 7}})});
    setNeed(9, 3);
    p.Money = 120;
    p.SelectWeapon("2hand", "armor", 12);
    EXPECT_EQ(w.report, QStringList{"mail"});
    auto &q = catalogue.query(9);
    EXPECT_EQ(q.param("type11").toString(), "2hand");
    EXPECT_EQ(q.param("type21").toString(), "2hand");
    EXPECT_EQ(q.param("type12").toString(), "armor");
    EXPECT_EQ(q.param("type22").toString(), "armor");
    EXPECT_TRUE(q.active());
    for (int n = 1; n <= 18; ++n) {
        if (n == 9)
            continue;
        EXPECT_TRUE(catalogue.query(n).param("type11").isNull()) << n;
        EXPECT_EQ(catalogue.query(n).param("price1").toDouble(), 0) << n;
        EXPECT_FALSE(catalogue.query(n).active()) << n;
    }
}

TEST_F(Slots, CapBeyondThirtyTwoBitsIsARangeError)
{
    load({item("lats", "l", 1)});
    p.Money = 2147483647.4;
    p.SelectWeapon("lats", "lats", 1);
    EXPECT_EQ(w.report, QStringList{"l"});
    p.Money = 2147483647.5; // rounds to 2^31
    const QString message = errorOf([&] { p.SelectWeapon("lats", "lats", 1); });
    EXPECT_TRUE(message.contains("Range", Qt::CaseInsensitive)) << message.toStdString();
    EXPECT_EQ(w.report.size(), 1);
}

TEST_F(PickRun, NoSlotFindsAnItem)
{
    load(oneOfEach(5));
    w.current[1] = "12";
    w.race = QStringLiteral("Орк");
    p.Button1Click();
    EXPECT_EQ(w.report, report({}, "0"));
    auto shown = std::vector<QString>(18, "0");
    shown[0] = "12";
    shown[13] = "10";
    EXPECT_EQ(results(), shown);
    EXPECT_EQ(p.Money, 0);
}

TEST_F(PickRun, FullSetReportAndResults)
{
    load(oneOfEach(10));
    w.money = "1000";
    w.current[1] = "3";
    p.Button1Click();
    QStringList taken;
    for (const char *type :
         {"2hand", "2hand", "ponogi", "ring", "ring", "ring", "ring", "pojas", "perchi", "helmet", "amulet", "lats"})
        taken << QStringLiteral("best ") + type;
    EXPECT_EQ(w.report, report(taken, "120"));
    EXPECT_EQ(w.result[1], "15");
    EXPECT_EQ(p.Money, 880);
    EXPECT_EQ(need(1), -15);

    // The same inputs give the same report.
    const QStringList first = w.report;
    p.Button1Click();
    EXPECT_EQ(w.report, first);
}

TEST_F(PickRun, SameRingFourTimesAndFractionalTotal)
{
    load({item("ring", "Кольцо", 10.3, {{2, 3}})});
    w.money = "100";
    w.needed[2] = "20";
    p.Button1Click();
    // 100 - 10.3 - 10.3 - 10.3 - 10.3 is not exactly 41.2 short of 100; the format hides it.
    EXPECT_EQ(w.report, report({"Кольцо", "Кольцо", "Кольцо", "Кольцо"}, "41.2"));
    EXPECT_EQ(w.result[2], "12");
    EXPECT_EQ(need(2), 8);
    EXPECT_NEAR(p.Money, 58.8, 1e-9);
    // What the run spent is the total the report states, exactly.
    EXPECT_EQ(p.spent(), 100 - p.Money);
    EXPECT_NEAR(p.spent(), 41.2, 1e-9);
}

TEST_F(PickRun, EmptySlotLeavesTheStatForTheNext)
{
    // Rings cost more than any ring slot's cap; the amulet fits slot 2's.
    load({item("ring", "r", 60, {{4, 9}}), item("amulet", "a", 50, {{4, 2}})});
    w.money = "100";
    w.needed[4] = "10";
    p.Button1Click();
    EXPECT_EQ(w.report, report({"a"}, "50"));
    EXPECT_EQ(need(4), 8);
    EXPECT_EQ(w.result[4], "2");
    EXPECT_EQ(p.Money, 50);
}

TEST_F(PickRun, RaceAndLevelComeFromTheQueries)
{
    load({item("lats", "orcish", 1, {{1, 9}}, "Or"), item("lats", "high", 1, {{1, 8}}, "No", 13),
          item("lats", "plain", 1, {{1, 1}})});
    w.money = "10";
    p.Button1Click();
    EXPECT_EQ(w.report[2], "plain");
    catalogue.raceChanged(QStringLiteral("Орк"));
    p.Button1Click();
    EXPECT_EQ(w.report[2], "orcish");
    catalogue.raceChanged(QStringLiteral("Эльф"));
    catalogue.levelChanged(QStringLiteral("13"));
    p.Button1Click();
    EXPECT_EQ(w.report[2], "high");
}

TEST_F(PickRun, SumThatIsNotANumber)
{
    load(oneOfEach(1));
    w.money = "5";
    p.Button1Click();
    ASSERT_EQ(p.Money, 0);

    w.current[1] = "7";
    w.race = QStringLiteral("Гном");
    for (const char *text : {"", "abc", " 5", "1 000"}) {
        w.money = QString::fromLatin1(text);
        EXPECT_EQ(errorOf([&] { p.Button1Click(); }),
                  QStringLiteral("'%1' is not a valid floating point value").arg(w.money));
        EXPECT_TRUE(w.report.isEmpty());
        // The result fields stand as the run set them up; Money keeps the last run's.
        auto shown = std::vector<QString>(18, "0");
        shown[0] = "7";
        shown[11] = shown[12] = "10";
        EXPECT_EQ(results(), shown);
        EXPECT_EQ(p.Money, 0);
    }
}

TEST_F(PickRun, FailingSlotKeepsTheLinesSoFar)
{
    // 1e10 fits the caps of slots 12 to 7; slot 6's cap passes 2^31.
    load({item("2hand", "sword", 1, {{1, 1}}), item("ring", "ring", 1, {{1, 1}})});
    w.money = "10000000000";
    const QString message = errorOf([&] { p.Button1Click(); });
    EXPECT_TRUE(message.contains("Range", Qt::CaseInsensitive)) << message.toStdString();
    EXPECT_EQ(w.report, (QStringList{kHeading, "", "sword", "sword", "ring", "ring", "ring"}));
    EXPECT_EQ(p.Money, 1e10 - 5);
    EXPECT_EQ(w.result[1], "5");

    // The next run starts afresh.
    w.money = "100";
    p.Button1Click();
    EXPECT_EQ(w.report, report({"sword", "sword", "ring", "ring", "ring", "ring"}, "6"));
}

TEST_F(PickRun, MissingTableFailsAtTheFirstSlot)
{
    setNeed(1, 1);
    w.money = "10";
    EXPECT_FALSE(errorOf([&] { p.Button1Click(); }).isEmpty());
    EXPECT_EQ(w.report, (QStringList{kHeading, ""}));
}
