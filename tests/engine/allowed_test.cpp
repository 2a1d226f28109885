// Who may wear what: allowedFor says of every row what the best-item queries say.

#include "EngineFixture.h"

#include <QVariant>
#include <limits>
#include <random>
#include <set>

using namespace testdbf;

namespace {

constexpr int kRanked = 1; // the stat every row gives alike, so each query returns every row it admits
constexpr int kPriceField = 2;
constexpr int kLevelField = 4;

// Rows of every kind the filters tell apart: slot types and one no slot
// takes, anyone's, the race's and another race's, blank levels and prices.
testdbf::Table randomTable(std::mt19937 &random)
{
    static const char *types[] = {"2hand",  "armor",  "ponogi", "ring", "pojas",
                                  "perchi", "helmet", "amulet", "lats", "shield"};
    static const char *racesOf[] = {"No", "El", "Hm", "Gn", "Or", "Hb", "Dr", "Xx"};
    std::uniform_int_distribution<int> type(0, std::size(types) - 1), race(0, std::size(racesOf) - 1),
        level(1, vestor::kTopLevel), price(0, 500), blank(0, 9);
    std::vector<Item> items;
    for (int i = 0; i < 60; ++i)
        items.push_back(item(QString::fromLatin1(types[type(random)]), QStringLiteral("I%1").arg(i), price(random),
                             {{kRanked, 5}}, QString::fromLatin1(racesOf[race(random)]), level(random)));
    testdbf::Table t = itemTable(items);
    for (Record &r : t.records) {
        if (blank(random) == 0)
            r.values[kPriceField].clear();
        if (blank(random) == 0)
            r.values[kLevelField].clear();
    }
    return t;
}

// The records that some slot's query returns, the price aside.
std::set<qint64> returnedByTheQueries(vestor::Catalogue &c)
{
    std::set<qint64> out;
    vestor::Query &q = c.query(kRanked);
    for (const vestor::Slot &slot : vestor::slotOrder()) {
        runSlot(q, QString::fromLatin1(slot.type1), QString::fromLatin1(slot.type2),
                std::numeric_limits<std::int32_t>::max());
        for (; !q.eof(); q.next())
            out.insert(q.fieldByName(QStringLiteral("RECNO")).toLongLong());
    }
    return out;
}

} // namespace

TEST(AllowedFor, AgreesWithTheQueriesOnRandomTables)
{
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> level(1, vestor::kTopLevel);
    std::size_t allowedRows = 0, refusedRows = 0;
    for (int round = 0; round < 8; ++round) {
        ProgramDir dir;
        dir.write(bytes(randomTable(random)));
        vestor::Catalogue c;
        c.setUp(dir.program());
        for (const vestor::Race &race : vestor::races()) {
            const int lvl = level(random);
            c.raceChanged(race.name);
            c.levelChanged(QString::number(lvl));
            std::set<qint64> allowed;
            for (int row = 0; row < c.rows().rowCount(); ++row)
                if (vestor::allowedFor(c.rows(), row, QString::fromLatin1(race.code), lvl))
                    allowed.insert(c.rows().recordNumber(row));
            EXPECT_EQ(allowed, returnedByTheQueries(c)) << "round " << round << ", " << race.code << " level " << lvl;
            allowedRows += allowed.size();
            refusedRows += std::size_t(c.rows().rowCount()) - allowed.size();
        }
    }
    // Both answers came up often, so the agreement says something.
    EXPECT_GT(allowedRows, 100u);
    EXPECT_GT(refusedRows, 100u);
}
