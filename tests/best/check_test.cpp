// A set that breaks the rules never gets through as a result.

#include "BestTable.h"
#include "catalogue/Error.h"

#include <gtest/gtest.h>

using namespace vestor;
using namespace vestor::best;
using namespace besttest;

namespace {

struct Check : ::testing::Test {
    besttest::Table table;
    Inputs in;

    void SetUp() override
    {
        table.load({
            item("ring", "R", 10, {{kSila, 5}}),     // item 0
            item("amulet", "A", 30, {{kSila, 8}}),   // item 1
            item("lats", "Dear", 500, {{kSila, 9}}), // item 2, more than the money
        });
        in.pick.money = QStringLiteral("100");
        in.pick.needed[kSila] = QStringLiteral("8");
    }
};

TEST_F(Check, RefusesASetThatBreaksTheRules)
{
    struct Case {
        const char *what;
        Counts counts;
        std::map<std::int64_t, int> locked;
    };
    const std::vector<Case> cases{
        {"five rings in four ring slots", {{0, 5}}, {}},
        {"two amulets in one amulet slot", {{1, 2}}, {}},
        {"more than the money", {{2, 1}}, {}},
        {"an item that is not in the table", {{7, 1}}, {}},
        {"no item at all of a count", {{0, 0}}, {}},
        {"the locked ring left out", {{1, 1}}, {{1, 1}}},
        {"the locked ring too few times", {{0, 1}}, {{1, 2}}},
    };
    for (const Case &c : cases) {
        in.locked = c.locked;
        const Model model(table.rows(), in);
        EXPECT_TRUE(besttest::refused([&] { checkedSet(model, c.counts); })) << c.what;
    }
}

TEST_F(Check, PassesASoundSetWithYieldsFromTheRows)
{
    in.pick.current[kSila] = QStringLiteral("3");
    const Model model(table.rows(), in);
    const ItemSet s = checkedSet(model, {{0, 2}, {1, 1}});
    EXPECT_EQ(s.total, 50);
    EXPECT_EQ(s.yields[kSila], 3 + 10 + 8);
    EXPECT_TRUE(s.meetsAll());
}

TEST_F(Check, RefusesSetsThatBreakTheirPromises)
{
    const Model model(table.rows(), in);
    const ItemSet amulet = checkedSet(model, {{1, 1}});                // meets the need, 30
    const ItemSet ring = checkedSet(model, {{0, 1}});                  // falls short, 10
    const ItemSet amuletAndRing = checkedSet(model, {{0, 1}, {1, 1}}); // meets it, 40
    const ItemSet twoRings = checkedSet(model, {{0, 2}});              // meets it, 20
    struct Case {
        const char *what;
        bool allMet;
        std::vector<ItemSet> sets;
        bool sound;
    };
    const std::vector<Case> cases{
        {"in order", true, {twoRings, amulet}, true},
        {"an alternative holding the best", true, {amulet, amuletAndRing}, false},
        {"dearer first", true, {amulet, twoRings}, false},
        {"said to meet every need but falls short", true, {ring}, false},
        {"said to be closest but meets every need", false, {amulet}, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(besttest::refused([&] { checkSets(model, c.allMet, c.sets); }), !c.sound) << c.what;
}

TEST(Choices, AChoiceThatCannotBeHonouredIsNamed)
{
    besttest::Table table;
    table.load({item("ring", "R", 10, {{kSila, 5}}), item("amulet", "A", 300, {{kSila, 8}})});
    struct Case {
        const char *what;
        std::map<std::int64_t, int> locked;
        std::set<std::int64_t> excluded;
        double money;
    };
    const std::vector<Case> cases{
        {"a record that is not in the table", {{9, 1}}, {}, 100},
        {"locked and excluded", {{1, 1}}, {1}, 100},
        {"five rings locked", {{1, 5}}, {}, 100},
        {"locked beyond the money", {{2, 1}}, {}, 100},
        {"less than no money", {}, {}, -1},
    };
    for (const Case &c : cases) {
        Inputs in;
        in.pick.money = QString::number(c.money);
        in.locked = c.locked;
        in.excluded = c.excluded;
        EXPECT_FALSE(testdbf::errorOf([&] { Model(table.rows(), in); }).isEmpty()) << c.what;
    }
}

} // namespace
