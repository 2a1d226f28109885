// The solver process: its answers agree with trying every set, and a solver
// that fails in any way gives a clear error while the caller goes on.

#include "BestTable.h"
#include "best/Greedy.h"
#include "engine/Picker.h"
#include "engine/TextWindow.h"

#include <QtGlobal>
#include <gtest/gtest.h>
#include <random>

using namespace vestor;
using namespace vestor::best;
using namespace besttest;

namespace {

// Dear tables take the solver's other road for the closest set: shortfall first, then price.
std::vector<testdbf::Item> randomTable(std::mt19937 &random, double priceScale)
{
    static const char *types[] = {"2hand", "armor", "ring", "amulet", "lats", "helmet"};
    std::uniform_int_distribution<int> type(0, 5), price(1, 60), amount(-2, 6), count(4, 9);
    std::vector<testdbf::Item> items;
    const int n = count(random);
    for (int i = 0; i < n; ++i)
        items.push_back(item(types[type(random)], QStringLiteral("I%1").arg(i), price(random) * priceScale,
                             {{kSila, amount(random)}, {kZlost, amount(random)}, {kObUvP, amount(random) - 3}}));
    return items;
}

// Every item of the set does something for some need: an alternative is never made of useless items.
bool helpful(const Model &model, const Counts &counts)
{
    return std::all_of(counts.begin(), counts.end(), [&](const auto &entry) {
        const auto needs = model.needStats();
        return std::any_of(needs.begin(), needs.end(),
                           [&](int s) { return model.sense(s) * model.items()[entry.first].gives[s] > 0; });
    });
}

TEST(Solver, AgreesWithTryingEverySet)
{
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> need(0, 25), ceiling(-12, 4), money(0, 200);
    int allMet = 0;
    constexpr int kRounds = 25;
    for (int round = 0; round < kRounds; ++round) {
        besttest::Table table;
        const double priceScale = round % 2 ? 10'000'000 : 1;
        table.load(randomTable(random, priceScale));
        Inputs in;
        in.money = money(random) * priceScale;
        in.needed[kSila] = need(random);
        in.needed[kZlost] = need(random);
        in.needed[kObUvP] = ceiling(random);
        const Model model(table.rows(), in);
        const Result r = solve(model, besttest::options(1));
        ASSERT_TRUE(r.proven) << round;

        // The best, then the best of the sets that neither hold it nor lie within it, of items that help.
        std::tuple<int, double, double> best{2, 0, 0}, next{2, 0, 0};
        for (const Counts &c : everySet(model))
            if (model.price(c) <= in.money)
                best = std::min(best, key(model, c));
        for (const Counts &c : everySet(model))
            if (model.price(c) <= in.money && !contains(c, r.sets[0].counts) && !contains(r.sets[0].counts, c) &&
                helpful(model, c))
                next = std::min(next, key(model, c));
        const auto found = key(model, r.sets[0].counts);
        EXPECT_EQ(std::get<0>(found), std::get<0>(best)) << round;
        EXPECT_NEAR(std::get<1>(found), std::get<1>(best), 1e-9) << round;
        EXPECT_EQ(std::get<2>(found), std::get<2>(best)) << round;
        ASSERT_EQ(r.sets.size(), std::get<0>(next) == 2 ? 1u : 2u) << round;
        if (r.sets.size() == 2) {
            const auto second = key(model, r.sets[1].counts);
            EXPECT_EQ(std::get<0>(second), std::get<0>(next)) << round;
            EXPECT_NEAR(std::get<1>(second), std::get<1>(next), 1e-9) << round;
            EXPECT_EQ(std::get<2>(second), std::get<2>(next)) << round;
        }
        allMet += r.allMet;
        EXPECT_EQ(r.allMet, std::get<0>(best) == 0) << round;
    }
    // Both kinds of answer were put to the test.
    EXPECT_GT(allMet, 0);
    EXPECT_LT(allMet, kRounds);
}

TEST(Solver, AFailingSolverGivesAClearErrorAndTheNextSolveWorks)
{
    besttest::Table table;
    table.load({item("ring", "R", 10, {{kSila, 5}})});
    Inputs in;
    in.money = 100;
    in.needed[kSila] = 10;
    const Model model(table.rows(), in);
    struct Case {
        const char *fault;
        double timeLimit;
    };
    for (const Case &c : {Case{"abort", 10}, Case{"garbage", 10}, Case{"overfill", 10}}) {
        qputenv("VESTOR_SOLVE_FAULT", c.fault);
        Options o = besttest::options();
        o.timeLimit = c.timeLimit;
        const QString message = testdbf::errorOf([&] { solve(model, o); });
        qunsetenv("VESTOR_SOLVE_FAULT");
        EXPECT_FALSE(message.isEmpty()) << c.fault;
        EXPECT_EQ(solve(model, besttest::options()).sets[0].total, 20) << c.fault;
    }
    Options missing = besttest::options();
    missing.solver = table.dir.root.filePath(QStringLiteral("no-such-solver"));
    EXPECT_TRUE(testdbf::errorOf([&] { solve(model, missing); }).contains(QStringLiteral("no-such-solver")));
}

TEST(Greedy, TakesWhatThePickTakes)
{
    besttest::Table table;
    table.load({
        item("armor", "Sword", 100, {{kSila, 8}}),
        item("ring", "RingZ", 5, {{kZlost, 2}}),
        item("ring", "RingS", 10, {{kSila, 2}}),
        item("amulet", "Amul", 30, {{kSila, 8}, {kZlost, 6}}),
        item("lats", "Coat", 40, {{kZlost, 1}}),
    });
    TextWindow w;
    w.money = QStringLiteral("1000");
    w.needed[kSila] = QStringLiteral("20");
    w.needed[kZlost] = QStringLiteral("9");
    Picker(w, table.catalogue).Button1Click();
    Inputs in;
    in.money = 1000;
    const Model model(table.rows(), in);
    const auto records = greedyRecords(table.catalogue, w);
    QStringList taken = besttest::names(describedSet(model, records));
    // The report lists the items between its heading and its total.
    QStringList reported = w.report.mid(2, qsizetype(records.size()));
    taken.sort();
    reported.sort();
    EXPECT_EQ(taken, reported);
    EXPECT_TRUE(w.report.at(2 + qsizetype(records.size())).isEmpty());
}

} // namespace
