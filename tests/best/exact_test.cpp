// Every answer is exact or says why not: the empty set, amounts that do not
// scale to small whole numbers, a time limit too short for the solver.

#include "BestTable.h"
#include "best/Greedy.h"
#include "engine/TextWindow.h"

#include <gtest/gtest.h>
#include <random>

using namespace vestor;
using namespace vestor::best;
using namespace besttest;

namespace {

// The test table with stats 1-14 written to `decimals` places (N 12.`decimals`).
testdbf::Table withDecimals(const std::vector<testdbf::Item> &items, int decimals)
{
    constexpr int kFirstStatField = 5;
    constexpr int kPlainStats = 14;
    testdbf::Table t = testdbf::itemTable(items);
    for (int s = 0; s < kPlainStats; ++s) {
        t.fields[kFirstStatField + s].decimals = decimals;
        for (std::size_t r = 0; r < items.size(); ++r)
            t.records[r].values[kFirstStatField + s] = testdbf::number(items[r].stats[s], decimals);
    }
    return t;
}

TEST(Exact, TheEmptySetIsAnAnswerInBothModes)
{
    besttest::Table table;
    table.load({item("ring", "R", 10, {{kSila, 5}}), item("amulet", "A", 30, {{kSila, 8}})});
    struct Case {
        const char *what;
        double money;
        double have;
        double need;
        bool allMet;
    };
    for (const Case &c :
         {Case{"already met, no money", 0, 26, 22, true}, Case{"already met, money to spare", 500, 26, 22, true},
          Case{"unmet, and the money buys nothing", 0, 0, 22, false},
          Case{"unmet, and money too little for anything", 9, 0, 22, false}}) {
        Inputs in;
        in.money = c.money;
        in.current[kSila] = c.have;
        in.needed[kSila] = c.need;
        const Model model(table.rows(), in);
        const Result r = solve(model, besttest::options(2));
        ASSERT_EQ(r.sets.size(), 1u) << c.what;
        EXPECT_EQ(r.allMet, c.allMet) << c.what;
        EXPECT_TRUE(r.proven) << c.what;
        EXPECT_TRUE(r.sets[0].items.empty()) << c.what;
        EXPECT_EQ(r.sets[0].total, 0) << c.what;
    }
}

TEST(Exact, AmountsThatDoNotScaleSmallAreNeverAWrongProvenAnswer)
{
    struct Case {
        const char *what;
        double ringSila;
        double plateSila;
        double need;
        int decimals;
        bool proven;
    };
    // Three rings at 3 meet the need that the plate at 10 meets.
    const std::vector<Case> cases{
        {"five decimals", 0.33334, 1, 1, 5, true},
        {"millions with cents", 333333.34, 1'000'000, 1'000'000, 2, false},
    };
    for (const Case &c : cases) {
        besttest::Table table;
        table.load(withDecimals(
            {item("ring", "R", 3, {{kSila, c.ringSila}}), item("lats", "Plate", 10, {{kSila, c.plateSila}})},
            c.decimals));
        Inputs in;
        in.money = 100;
        in.needed[kSila] = c.need;
        const Model model(table.rows(), in);
        const Result r = solve(model, besttest::options());
        ASSERT_TRUE(r.allMet) << c.what;
        EXPECT_EQ(r.proven, c.proven) << c.what;
        EXPECT_EQ(r.proven, r.doubts.isEmpty()) << c.what;
        if (r.proven) {
            EXPECT_EQ(r.sets[0].total, 9) << c.what;
        }
    }
}

TEST(Exact, FiveDecimalTablesAgreeWithTryingEverySet)
{
    std::mt19937 random(20261210);
    static const char *types[] = {"2hand", "ring", "amulet", "helmet"};
    std::uniform_int_distribution<int> type(0, 3), price(1, 40), count(3, 7), money(0, 120);
    std::uniform_real_distribution<double> amount(0, 6);
    for (int round = 0; round < 10; ++round) {
        std::vector<testdbf::Item> items;
        for (int i = count(random); i > 0; --i)
            items.push_back(item(
                types[type(random)], QStringLiteral("I%1").arg(i), price(random),
                {{kSila, std::round(amount(random) * 1e5) / 1e5}, {kZlost, std::round(amount(random) * 1e5) / 1e5}}));
        besttest::Table table;
        table.load(withDecimals(items, 5));
        Inputs in;
        in.money = money(random);
        in.needed[kSila] = 9;
        in.needed[kZlost] = 7;
        const Model model(table.rows(), in);
        const Result r = solve(model, besttest::options());
        std::tuple<int, double, double> best{2, 0, 0};
        for (const Counts &c : everySet(model))
            if (model.price(c) <= in.money)
                best = std::min(best, key(model, c));
        const auto found = key(model, r.sets[0].counts);
        ASSERT_TRUE(r.proven) << round;
        EXPECT_EQ(std::get<0>(found), std::get<0>(best)) << round;
        EXPECT_NEAR(std::get<1>(found), std::get<1>(best), 1e-9) << round;
        EXPECT_EQ(std::get<2>(found), std::get<2>(best)) << round;
    }
}

TEST(TimeLimit, ALimitTooShortForTheSolverAnswersThePicksSetUnproven)
{
    besttest::Table table;
    table.load({item("armor", "Sword", 100, {{kSila, 8}}), item("amulet", "Amul", 30, {{kSila, 8}})});
    TextWindow w;
    w.money = QStringLiteral("1000");
    w.needed[kSila] = QStringLiteral("8");
    Inputs in;
    in.money = 1000;
    in.needed[kSila] = 8;
    const Model model(table.rows(), in);
    Options o = besttest::options(3);
    o.start = greedyRecords(table.catalogue, w);
    o.timeLimit = 0.01;
    const Result r = solve(model, o);
    ASSERT_EQ(r.sets.size(), 1u);
    EXPECT_FALSE(r.proven);
    EXPECT_FALSE(r.doubts.isEmpty());
    EXPECT_EQ(r.sets[0].counts, describedSet(model, o.start).counts);
    EXPECT_TRUE(r.allMet);
}

} // namespace
