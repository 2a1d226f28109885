// The need table and the result fields' starting state, and the choice of stat.

#include "EngineFixture.h"

using namespace testdbf;

namespace {

using Needs = Engine;
using Choice = Engine;

std::vector<double> only(std::initializer_list<std::pair<int, double>> values)
{
    std::vector<double> v(18, 0.0);
    for (auto [stat, value] : values)
        v[stat - 1] = value;
    return v;
}

} // namespace

TEST_F(Needs, WorkedExample)
{
    w.race = QStringLiteral("Эльф");
    w.needed[1] = "50";
    w.current[1] = "30";
    w.needed[7] = "40";
    w.current[7] = "15";
    w.needed[11] = "20";
    w.needed[15] = "-5";
    p.InitArr();
    EXPECT_EQ(allNeeds(), only({{1, 20}, {7, 10}, {11, 12}, {13, 4}, {15, -2}}));
    EXPECT_EQ(p.needs()[1].Name, QStringLiteral("Sila"));
    EXPECT_EQ(p.needs()[7].Name, QStringLiteral("Kulach"));
    EXPECT_EQ(p.needs()[18].Name, QStringLiteral("Ob_Kr_p"));
}

TEST_F(Needs, CurrentAboveNeededAndScaledExtremes)
{
    for (int i = 1; i <= 10; ++i)
        w.current[i] = "30";
    w.needed[15] = "-10";
    w.needed[16] = "9999";
    w.race = QStringLiteral("Дракон");
    p.InitArr();
    EXPECT_EQ(allNeeds(),
              (std::vector<double>{-30, -30, -30, -30, -30, -30, -12, -12, -12, -12, 4, 4, 4, 4, -4, 3999.6, 0, 0}));
}

TEST_F(Needs, RaceBonusGoesToNeedsAndResultFields)
{
    struct Case {
        const char *race;
        std::vector<double> needs;
        std::array<const char *, 4> shown; // Edit41..Edit44
    };
    const Case cases[] = {
        {"Эльф", only({{11, 4}, {13, 4}}), {"10", "0", "10", "0"}},
        {"Человек", only({{11, 2}, {12, 4}, {13, 4}, {14, 2}}), {"5", "10", "10", "5"}},
        {"Гном", only({{12, 4}, {13, 4}}), {"0", "10", "10", "0"}},
        {"Орк", only({{14, 4}}), {"0", "0", "0", "10"}},
        {"Хоббит", only({{12, 4}, {14, 4}}), {"0", "10", "0", "10"}},
        {"Дракон", only({{11, 4}, {12, 4}, {13, 4}, {14, 4}}), {"10", "10", "10", "10"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.race);
        w.race = QString::fromUtf8(c.race);
        w.result.fill("junk");
        p.InitArr();
        p.ClearEdit();
        p.InitEdit();
        EXPECT_EQ(allNeeds(), c.needs);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(w.result[11 + k], QString::fromLatin1(c.shown[k]));
        for (int i = 1; i <= 10; ++i)
            EXPECT_EQ(w.result[i], "0");
        for (int i = 15; i <= 18; ++i)
            EXPECT_EQ(w.result[i], "0");
    }
}

TEST_F(Needs, InitEditCopiesCurrentTextsAsTyped)
{
    w.current[1] = "007";
    w.current[10] = "25";
    w.needed[1] = "999"; // needed values are not shown
    p.InitArr();
    p.ClearEdit();
    EXPECT_EQ(results(), std::vector<QString>(18, "0"));
    p.InitEdit();
    EXPECT_EQ(w.result[1], "007");
    EXPECT_EQ(w.result[10], "25");
    EXPECT_EQ(need(1), 992);
}

TEST_F(Needs, BadFieldStopsMidwayKeepingWhatWasFilled)
{
    // A first run fills every need and the result fields.
    w.needed[1] = "10";
    w.needed[9] = "25";
    w.current[2] = "5";
    p.InitArr();
    p.ClearEdit();
    p.InitEdit();
    const auto before = allNeeds();
    const auto shown = results();

    // The second run's needs differ everywhere; stat 5's field is empty.
    for (int i = 1; i <= 18; ++i)
        w.needed[i] = "100";
    w.needed[5] = "";
    EXPECT_EQ(errorOf([&] { p.InitArr(); }), QStringLiteral("'' is not a valid integer value"));
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(need(i), 100 - (i == 2 ? 5 : 0)) << i;
    for (int i = 5; i <= 18; ++i)
        EXPECT_EQ(need(i), before[i - 1]) << i;

    // Through the run: the report is cleared, the result fields stay as they were.
    w.report = QStringList{"old report"};
    w.current[3] = "5-";
    w.needed[5] = "1";
    EXPECT_EQ(errorOf([&] { p.Button1Click(); }), QStringLiteral("'5-' is not a valid integer value"));
    EXPECT_TRUE(w.report.isEmpty());
    EXPECT_EQ(results(), shown);
}

TEST_F(Needs, InvalidIntegerTexts)
{
    for (const char *text : {"-", "", " 1", "1 ", "+", "2147483648", "1.5", "١"}) {
        w.needed[18] = QString::fromUtf8(text);
        EXPECT_EQ(errorOf([&] { p.InitArr(); }), QStringLiteral("'%1' is not a valid integer value").arg(w.needed[18]));
    }
    w.needed[18] = "-2147483648";
    w.needed[1] = "2147483647";
    w.current[1] = "-2147483648";
    p.InitArr();
    EXPECT_EQ(need(18), -2147483648.0 / 2.5);
    EXPECT_EQ(need(1), 4294967295.0); // the exact difference, not a wrapped one
}

TEST_F(Choice, FindMaxRanksByNeedAndByMagnitudeForTheLastFour)
{
    struct Case {
        const char *what;
        std::vector<std::pair<int, double>> needs;
        int chosen;
    };
    std::vector<std::pair<int, double>> negative;
    for (int i = 1; i <= 14; ++i)
        negative.push_back({i, -1});
    const Case cases[] = {
        {"all zero: the first stat", {}, 1},
        {"a zero key beats negative ones", negative, 15},
        {"equal keys: the lower index", {{1, 10}, {2, 10}}, 1},
        {"scaled need compared as stored", {{7, 4}, {5, 5}}, 5},
        {"equal magnitude: the lower index", {{3, 4}, {16, -4}}, 3},
        {"larger magnitude wins", {{3, 4}, {16, -4.4}}, 16},
        {"negative need of a (П) stat", {{15, -8}, {1, 5}}, 15},
        {"negative need of a plain stat does not rank by magnitude", {{14, -8}, {1, 5}}, 1},
        {"the last stat", {{18, 0.1}}, 18},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        for (int i = 1; i <= 18; ++i)
            setNeed(i, 0);
        for (auto [stat, value] : c.needs)
            setNeed(stat, value);
        EXPECT_EQ(p.FindMax(), c.chosen);
    }
}

TEST_F(Choice, HumanWithEmptyFieldsServesObUdFirst)
{
    w.race = QStringLiteral("Человек");
    p.InitArr();
    EXPECT_EQ(p.FindMax(), 12);
}
