// The best set on hand-built tables whose best is known.

#include "BestTable.h"
#include "best/Greedy.h"
#include "engine/TextWindow.h"

#include <gtest/gtest.h>

using namespace vestor;
using namespace vestor::best;
using namespace besttest;
using besttest::names;

namespace {

struct Best : ::testing::Test {
    besttest::Table table;
    Inputs in;

    Result run(int alternatives = 0)
    {
        const Model model(table.rows(), in);
        return solve(model, besttest::options(alternatives));
    }
};

// A sword that covers Sila, rings for Zlost, and an amulet that does both cheaply.
std::vector<testdbf::Item> swordAndAmulet()
{
    return {
        item("armor", "Sword", 100, {{kSila, 8}}), // record 1
        item("ring", "RingZ", 5, {{kZlost, 2}}),   // record 2
        item("ring", "RingS", 10, {{kSila, 2}}),   // record 3
        item("amulet", "Amul", 30, {{kSila, 8}, {kZlost, 6}}),
    };
}

TEST_F(Best, FindsTheCheapSetThePickMisses)
{
    table.load(swordAndAmulet());
    in.money = 1000;
    in.current[kSila] = 12;
    in.needed[kSila] = 20;
    in.current[kZlost] = 6;
    in.needed[kZlost] = 12;
    const Result r = run();
    ASSERT_TRUE(r.allMet);
    EXPECT_TRUE(r.proven);
    EXPECT_EQ(names(r.sets[0]), QStringList{"Amul"});
    EXPECT_EQ(r.sets[0].total, 30);
    EXPECT_EQ(r.sets[0].yields[kSila], 20);

    TextWindow w;
    w.money = QStringLiteral("1000");
    w.current[kSila] = QStringLiteral("12");
    w.needed[kSila] = QStringLiteral("20");
    w.current[kZlost] = QStringLiteral("6");
    w.needed[kZlost] = QStringLiteral("12");
    const Model model(table.rows(), in);
    EXPECT_GT(describedSet(model, greedyRecords(table.catalogue, w)).total, r.sets[0].total);
}

TEST_F(Best, LocksAndExclusionsShapeEverySet)
{
    table.load(swordAndAmulet());
    in.money = 1000;
    in.needed[kSila] = 8;
    in.needed[kZlost] = 6;
    struct Case {
        const char *what;
        std::map<std::int64_t, int> locked;
        std::set<std::int64_t> excluded;
        QStringList expected;
        double total;
    };
    const std::vector<Case> cases{
        {"nothing asked", {}, {}, {"Amul"}, 30},
        {"a locked sword makes it dearer", {{1, 1}}, {}, {"Sword", "RingZ", "RingZ", "RingZ"}, 115},
        {"a ring locked twice is there twice", {{3, 2}}, {}, {"RingS", "RingS", "Amul"}, 50},
        {"an excluded amulet is left out", {}, {4}, {"Sword", "RingZ", "RingZ", "RingZ"}, 115},
    };
    for (const Case &c : cases) {
        in.locked = c.locked;
        in.excluded = c.excluded;
        const Result r = run(2);
        ASSERT_TRUE(r.allMet) << c.what;
        EXPECT_EQ(names(r.sets[0]), c.expected) << c.what;
        EXPECT_EQ(r.sets[0].total, c.total) << c.what;
        for (const ItemSet &s : r.sets) {
            for (const auto &[record, count] : c.locked)
                EXPECT_EQ(std::count_if(s.items.begin(), s.items.end(), [&](auto &i) { return i.record == record; }),
                          count)
                    << c.what;
            for (std::int64_t record : c.excluded)
                EXPECT_TRUE(std::none_of(s.items.begin(), s.items.end(), [&](auto &i) { return i.record == record; }));
        }
    }
}

TEST_F(Best, AlternativesStopWhereEveryOtherSetHoldsAnEarlierOne)
{
    table.load(swordAndAmulet());
    in.money = 1000;
    in.needed[kSila] = 8;
    in.needed[kZlost] = 2;
    // Without the amulet, Zlost needs a RingZ and Sila then needs the sword.
    const Result r = run(4);
    ASSERT_EQ(r.sets.size(), 2u);
    EXPECT_EQ(names(r.sets[0]), QStringList{"Amul"});
    EXPECT_EQ(names(r.sets[1]), (QStringList{"Sword", "RingZ"}));
    EXPECT_EQ(r.sets[1].total, 105);
}

TEST_F(Best, InterchangeableItemsAreOneSetWithItsVariants)
{
    struct Case {
        const char *what;
        std::vector<testdbf::Item> items;
        double need;
        double variants;
    };
    const std::vector<Case> cases{
        {"two alike amulets", {item("amulet", "A1", 30, {{kSila, 5}}), item("amulet", "A2", 30, {{kSila, 5}})}, 5, 2},
        // Two of three alike rings, repeats allowed: six ways.
        {"two of three alike rings",
         {item("ring", "R1", 10, {{kSila, 5}}), item("ring", "R2", 10, {{kSila, 5}, {kZlost, 1}}),
          item("ring", "R3", 10, {{kSila, 5}})},
         10,
         6},
    };
    for (const Case &c : cases) {
        besttest::Table own;
        own.load(c.items);
        in.money = 100;
        in.needed[kSila] = c.need;
        const Model model(own.rows(), in);
        const Result r = solve(model, besttest::options(3));
        ASSERT_EQ(r.sets.size(), 1u) << c.what;
        ASSERT_EQ(r.sets[0].alike.size(), 1u) << c.what;
        EXPECT_EQ(r.sets[0].alike[0].items.size(), c.items.size()) << c.what;
        EXPECT_EQ(r.sets[0].variants(), c.variants) << c.what;
    }
}

TEST_F(Best, EveryAlternativeOffersSomethingNew)
{
    // Nothing reaches Sila 40: the closest takes all it can afford, and an
    // alternative is never that set with an item dropped.
    table.load({item("amulet", "A", 20, {{kSila, 6}}), item("helmet", "H", 10, {{kSila, 4}}),
                item("pojas", "B", 8, {{kSila, 2}}), item("perchi", "G", 10, {{kSila, 2}}),
                item("helmet", "H2", 12, {{kSila, 3}})});
    in.money = 2000;
    in.needed[kSila] = 40;
    const Result r = run(4);
    ASSERT_FALSE(r.allMet);
    for (std::size_t k = 1; k < r.sets.size(); ++k)
        for (std::size_t j = 0; j < k; ++j) {
            EXPECT_FALSE(contains(r.sets[j].counts, r.sets[k].counts)) << k;
            EXPECT_FALSE(contains(r.sets[k].counts, r.sets[j].counts)) << k;
        }
    ASSERT_EQ(r.sets.size(), 2u);
    EXPECT_EQ(names(r.sets[1]), (QStringList{"B", "G", "H2", "A"}));
}

TEST_F(Best, OneRingMayFillAllFourRingSlots)
{
    table.load({item("ring", "R", 10, {{kSila, 5}}), item("lats", "L", 100, {{kSila, 5}})});
    in.money = 100;
    in.needed[kSila] = 20;
    const Result r = run();
    ASSERT_TRUE(r.allMet);
    EXPECT_EQ(names(r.sets[0]), QStringList(4, "R"));
    std::vector<int> taken;
    for (const auto &i : r.sets[0].items)
        taken.push_back(i.slot);
    EXPECT_EQ(taken, (std::vector<int>{9, 8, 7, 6}));
}

TEST_F(Best, CeilingNeedsAskForAtMostANegativeYield)
{
    table.load({
        item("perchi", "P", 10, {{kObUvP, -6}}),
        item("helmet", "H", 20, {{kObUvP, -5}}),
        item("pojas", "Z", 5, {{kObUvP, -4}}),
        item("amulet", "Up", 1, {{kObUvP, 3}}),
    });
    in.money = 100;
    in.needed[kObUvP] = -10;
    const Result r = run();
    ASSERT_TRUE(r.allMet);
    EXPECT_EQ(names(r.sets[0]), (QStringList{"Z", "P"}));
    EXPECT_EQ(r.sets[0].yields[kObUvP], -10);
}

TEST_F(Best, WhatAsksNothingTakesNothing)
{
    table.load({item("ring", "R", 10, {{kSila, 5}, {kObUv, 5}})});
    in.money = 100;
    in.needed[kSila] = -5; // a negative need on a stat that is not a ceiling
    in.needed[kObUv] = 10; // the elf starts with it: owned, not needed
    const Result r = run();
    ASSERT_TRUE(r.allMet);
    EXPECT_TRUE(r.sets[0].items.empty());
    EXPECT_EQ(r.sets[0].total, 0);
}

TEST_F(Best, WhenNoSetMeetsEveryNeedTheClosestIsTheCheapestOfTheLeastShort)
{
    table.load({
        item("amulet", "A", 50, {{kSila, 10}}),
        item("lats", "L", 60, {{kZlost, 15}}),
        item("ring", "R", 10, {{kZlost, 5}}),
    });
    in.money = 80;
    in.needed[kSila] = 10;
    in.needed[kZlost] = 20;
    const Result r = run();
    ASSERT_FALSE(r.allMet);
    // A and three rings: 5 of 20 Zlost short (0.25), against L and two rings (all 10 Sila short, 1.0).
    EXPECT_EQ(names(r.sets[0]), (QStringList{"R", "R", "R", "A"}));
    EXPECT_EQ(r.sets[0].yields[kZlost], 15);
    EXPECT_EQ(r.sets[0].shortBy[kZlost], 5);
    EXPECT_EQ(r.sets[0].shortBy[kSila], 0);
    EXPECT_TRUE(r.unreachable.empty());
    ASSERT_TRUE(r.moneyNeeded);
    EXPECT_EQ(*r.moneyNeeded, 90); // A and four rings
}

TEST_F(Best, ANeedOutOfReachAtAnyPriceIsNamed)
{
    testdbf::Table t = testdbf::itemTable({
        item("amulet", "A", 5000, {{kSila, 10}}),
        item("ring", "R", 1, {{kSila, 5}}),
        item("ring", "Orcish", 1, {{kSila, 50}}, "Or"),
        item("ring", "Late", 1, {{kSila, 50}}, "No", 10),
        item("lats", "NoPrice", 0, {{kSila, 50}}),
    });
    t.records.back().values[besttest::kPriceField].clear(); // a blank price never passes the queries
    table.load(t);
    in.money = 100;
    in.needed[kSila] = 100;
    in.needed[kZlost] = 0;
    const Result r = run();
    ASSERT_FALSE(r.allMet);
    ASSERT_EQ(r.unreachable.size(), 1u);
    EXPECT_EQ(r.unreachable[0].stat, kSila);
    EXPECT_EQ(r.unreachable[0].best, 30); // A and four R, whatever they cost
    EXPECT_FALSE(r.moneyNeeded);
}

} // namespace
