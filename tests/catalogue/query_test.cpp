// The best-item queries: their text, parameters, filters, ties and set-up.

#include "TestTable.h"
#include "catalogue/Convert.h"

using namespace testdbf;
using vestor::Catalogue;
using vestor::Error;

namespace {

struct Fixture : ::testing::Test {
    ProgramDir dir;
    Catalogue c;
    void load(const std::vector<Item> &items)
    {
        dir.write(items);
        c.setUp(dir.program());
    }
};

using Queries = Fixture;

} // namespace

TEST(QueryText, SevenLinesDifferingOnlyInTheColumn)
{
    Catalogue c;
    const QStringList lines = c.query(1).sql().split(u'\n');
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines[0], QStringLiteral("SELECT *"));
    EXPECT_EQ(lines[1], QStringLiteral("FROM Subjects.dbf"));
    EXPECT_EQ(lines[2], QStringLiteral("WHERE UROV <= :level1 and PRICE <= :price1 and"));
    EXPECT_EQ(lines[3],
              QStringLiteral(" ( RACE = 'No' or RACE = :race1 ) and ( TYPE = :type11 or TYPE = :type12 ) and"));
    EXPECT_EQ(lines[4], QStringLiteral(" SILA = (SELECT Max ( SILA ) FROM Subjects.dbf"));
    EXPECT_EQ(lines[5], QStringLiteral("                 WHERE UROV <= :level2 and PRICE <= :price2 and"));
    EXPECT_EQ(
        lines[6],
        QStringLiteral("                 ( RACE = 'No' or RACE = :race2 ) and ( TYPE = :type21 or TYPE = :type22 ))"));
    EXPECT_EQ(c.query(18).sql(), QString(c.query(1).sql()).replace(QStringLiteral("SILA"), QStringLiteral("OB_KR_P")));
    EXPECT_TRUE(c.query(7).sql().contains(QStringLiteral(" KULACH = (SELECT Max ( KULACH ) FROM")));
}

TEST(QueryText, InitialParameters)
{
    Catalogue c;
    for (int n = 1; n <= 18; ++n) {
        auto &q = c.query(n);
        EXPECT_EQ(q.param(QStringLiteral("level1")).toInt(), 1);
        EXPECT_EQ(q.param(QStringLiteral("level2")).toInt(), 1);
        EXPECT_EQ(q.param(QStringLiteral("price1")).toInt(), 0);
        EXPECT_EQ(q.param(QStringLiteral("race2")).toString(), QStringLiteral("El"));
        EXPECT_TRUE(q.param(QStringLiteral("type11")).isNull());
        EXPECT_EQ(q.paramType(QStringLiteral("price2")), vestor::Query::ParamType::Integer);
        EXPECT_EQ(q.paramType(QStringLiteral("type22")), vestor::Query::ParamType::String);
        EXPECT_FALSE(q.active());
    }
}

TEST(SetUp, DataDirectoryIsBesideTheExecutableWhateverItsName)
{
    EXPECT_EQ(vestor::dataDirectory(QStringLiteral("/games/Vestor")), QStringLiteral("/games/Data"));
    EXPECT_EQ(vestor::dataDirectory(QStringLiteral("/games/Vestor2")), QStringLiteral("/games/Data"));
    EXPECT_EQ(vestor::dataDirectory(QStringLiteral("/opt/a-much-longer-program-name")), QStringLiteral("/opt/Data"));
    // A program that cannot find itself fails; it never falls back on the current directory.
    EXPECT_TRUE(errorOf([] { vestor::dataDirectory(QString()); }).contains(QStringLiteral("program's own folder")));
}

TEST_F(Queries, SetUpNamesTheDatabaseAndBindsEveryQuery)
{
    load({item("ring", "r", 1)});
    EXPECT_EQ(c.database().databaseName, QStringLiteral("MyNewAlias"));
    EXPECT_EQ(c.database().driverName, QStringLiteral("STANDARD"));
    EXPECT_EQ(c.database().params, QStringList{QStringLiteral("PATH=") + dir.data()});
    EXPECT_TRUE(c.loaded());
    EXPECT_EQ(c.recordCount(), 1);
    for (int n = 1; n <= 18; ++n)
        EXPECT_EQ(c.query(n).databaseName, QStringLiteral("MyNewAlias"));
}

TEST_F(Queries, EmptyResultReadsNullAndQueryStaysUsable)
{
    load({item("ring", "dear ring", 500, {{1, 5}})});
    runSlot(c.query(1), "ring", "ring", 100);
    EXPECT_TRUE(c.query(1).eof());
    EXPECT_TRUE(c.query(1).fieldByName(QStringLiteral("NAME")).isNull());
    EXPECT_TRUE(c.query(1).fieldByName(QStringLiteral("SILA")).isNull());
    runSlot(c.query(1), "ring", "ring", 500);
    EXPECT_EQ(c.query(1).fieldByName(QStringLiteral("NAME")).toString(), QStringLiteral("dear ring"));
    EXPECT_DOUBLE_EQ(c.query(1).fieldByName(QStringLiteral("SILA")).toDouble(), 5);
    EXPECT_DOUBLE_EQ(c.query(1).fieldByName(QStringLiteral("price")).toDouble(), 500);
}

// A statement that cannot be put in file order is refused, never run
// unordered; one that is wrong in itself reports its own fault.
TEST_F(Queries, StatementsThatCannotKeepFileOrderAreErrors)
{
    load({item("ring", "r", 1)});
    const std::vector<std::pair<const char *, const char *>> cases = {
        {"SELECT NAME FROM Subjects.dbf", "Cannot keep the rows in file order"},
        {"SELECT * FROM Subjects.dbf WHERE NOSUCH = 1", "no such column: NOSUCH"},
    };
    for (const auto &[sql, expected] : cases) {
        vestor::Query q(c.session());
        q.databaseName = c.database().databaseName;
        q.setSql(QString::fromLatin1(sql));
        const QString message = errorOf([&] { q.open(); });
        EXPECT_TRUE(message.contains(QString::fromLatin1(expected))) << sql << ": " << message.toStdString();
        EXPECT_FALSE(q.active());
    }
}

TEST_F(Queries, TiesComeInFileOrderAcrossBothTypes)
{
    load({item("armor", "armor A", 10, {{2, 3}}), item("2hand", "sword", 10, {{1, 7}}),
          item("armor", "armor B", 10, {{1, 7}}), item("2hand", "axe", 10, {{1, 7}})});
    runSlot(c.query(1), "2hand", "armor", 100);
    EXPECT_EQ(names(c.query(1)), (QStringList{"sword", "armor B", "axe"}));
    runSlot(c.query(1), "armor", "2hand", 100);
    EXPECT_EQ(names(c.query(1)), (QStringList{"sword", "armor B", "axe"}));
    // Every allowed item has 0 in the column: all of them are the result.
    runSlot(c.query(5), "2hand", "armor", 100);
    EXPECT_EQ(names(c.query(5)), (QStringList{"armor A", "sword", "armor B", "axe"}));
}

TEST_F(Queries, NegativeMaximumIsReturned)
{
    load({item("ring", "bad", 1, {{15, -5}}), item("ring", "worse", 1, {{15, -8}})});
    runSlot(c.query(15), "ring", "ring", 10);
    EXPECT_EQ(names(c.query(15)), QStringList{"bad"});
}

TEST_F(Queries, PriceCapRoundsHalfToEven)
{
    load({item("ring", "82", 82, {{1, 1}}), item("ring", "82.4", 82.4, {{1, 2}}), item("ring", "83", 83, {{1, 3}}),
          item("ring", "84", 84, {{1, 4}})});
    const auto best = [&](double cap) {
        runSlot(c.query(1), "ring", "ring", cap);
        return c.query(1).fieldByName(QStringLiteral("NAME")).toString();
    };
    EXPECT_EQ(best(82.5), QStringLiteral("82"));
    EXPECT_EQ(best(82.6), QStringLiteral("83"));
    EXPECT_EQ(best(83.5), QStringLiteral("84"));
    EXPECT_EQ(best(0.55), QString()); // rounds to 1: nothing that cheap
    EXPECT_EQ(best(82.4), QStringLiteral("82"));
}

TEST_F(Queries, CapBeyondThirtyTwoBitsIsARangeError)
{
    load({item("ring", "r", 1)});
    EXPECT_TRUE(errorOf([&] { runSlot(c.query(3), "ring", "ring", 2147483647.5); }).contains(QStringLiteral("Range")));
    EXPECT_TRUE(errorOf([&] { runSlot(c.query(3), "ring", "ring", -2147483649.0); }).contains(QStringLiteral("Range")));
    runSlot(c.query(3), "ring", "ring", 2147483647.0);
    EXPECT_EQ(names(c.query(3)), QStringList{"r"});
}

TEST_F(Queries, RaceAndLevelFilters)
{
    load({item("pojas", "any", 10, {{1, 1}}), item("pojas", "orc", 10, {{1, 5}}, "Or"),
          item("pojas", "late", 10, {{1, 9}}, "No", 13)});
    auto &q = c.query(1);
    runSlot(q, "pojas", "pojas", 100);
    EXPECT_EQ(names(q), QStringList{"any"});

    c.raceChanged(QStringLiteral("Орк"));
    runSlot(q, "pojas", "pojas", 100);
    EXPECT_EQ(names(q), QStringList{"orc"});

    c.levelChanged(QStringLiteral("13"));
    runSlot(q, "pojas", "pojas", 100);
    EXPECT_EQ(names(q), QStringList{"late"});

    c.levelChanged(QStringLiteral("12"));
    runSlot(q, "pojas", "pojas", 100);
    EXPECT_EQ(names(q), QStringList{"orc"});
}

TEST_F(Queries, RaceAndLevelChangesReachAllEighteen)
{
    c.raceChanged(QStringLiteral("Гном"));
    c.raceChanged(QStringLiteral("Эльф"));
    c.raceChanged(QStringLiteral("Дракон"));
    c.raceChanged(QStringLiteral("Unknown")); // no match: nothing changes
    c.levelChanged(QStringLiteral("7"));
    for (int n = 1; n <= 18; ++n) {
        for (const char *p : {"race1", "race2"})
            EXPECT_EQ(c.query(n).param(QString::fromLatin1(p)).toString(), QStringLiteral("Dr"));
        for (const char *p : {"level1", "level2"})
            EXPECT_EQ(c.query(n).param(QString::fromLatin1(p)).toInt(), 7);
    }
    c.raceChanged(QStringLiteral("Эльф"));
    EXPECT_EQ(c.query(18).param(QStringLiteral("race2")).toString(), QStringLiteral("El"));
}

TEST_F(Queries, SettingAParameterDoesNotRefreshAnOpenQuery)
{
    load({item("ring", "cheap", 10, {{1, 1}}), item("ring", "dear", 100, {{1, 9}})});
    auto &q = c.query(1);
    runSlot(q, "ring", "ring", 50);
    q.setParam(QStringLiteral("price1"), 1000);
    q.setParam(QStringLiteral("price2"), 1000);
    EXPECT_EQ(q.fieldByName(QStringLiteral("NAME")).toString(), QStringLiteral("cheap"));
    q.close();
    q.close(); // closing a closed query does nothing
    q.open();
    EXPECT_EQ(q.fieldByName(QStringLiteral("NAME")).toString(), QStringLiteral("dear"));
}

TEST(Convert, StrToIntAcceptsOnlyThirtyTwoBitDecimals)
{
    EXPECT_EQ(vestor::strToInt(QStringLiteral("007")), 7);
    EXPECT_EQ(vestor::strToInt(QStringLiteral("-10")), -10);
    EXPECT_EQ(vestor::strToInt(QStringLiteral("2147483647")), 2147483647);
    EXPECT_EQ(vestor::strToInt(QStringLiteral("-2147483648")), -2147483647 - 1);
    for (const char *bad : {"", "-", "5-", "1 2", "2147483648", "-2147483649", "abc", "1.5"})
        EXPECT_EQ(errorOf([&] { vestor::strToInt(QString::fromLatin1(bad)); }),
                  QStringLiteral("'%1' is not a valid integer value").arg(QString::fromLatin1(bad)));
    EXPECT_EQ(vestor::roundHalfEven(82.5), 82);
    EXPECT_EQ(vestor::roundHalfEven(83.5), 84);
    EXPECT_EQ(vestor::roundHalfEven(-2.5), -2);
    EXPECT_EQ(vestor::roundHalfEven(0.55), 1);
}

TEST_F(Queries, AReloadServesTheNewFileAndKeepsTheParameters)
{
    load({item("ring", "Старое кольцо", 5, {{1, 3}}, "Gn")});
    c.raceChanged(QStringLiteral("Гном"));
    runSlot(c.query(1), "ring", "ring", 100);
    ASSERT_EQ(c.query(1).fieldByName("NAME").toString(), QStringLiteral("Старое кольцо"));

    dir.write({item("ring", "Новое кольцо", 5, {{1, 4}}, "Gn"), item("ring", "Эльфийское", 5, {{1, 9}}, "El")});
    c.reload();
    runSlot(c.query(1), "ring", "ring", 100);
    EXPECT_EQ(c.query(1).fieldByName("NAME").toString(), QStringLiteral("Новое кольцо")) << "still for a dwarf";
    EXPECT_EQ(c.rows().rowCount(), 2);
}

TEST_F(Queries, AReloadThatFailsKeepsTheRowsLoadedBefore)
{
    load({item("ring", "Старое кольцо", 5, {{1, 3}})});
    runSlot(c.query(1), "ring", "ring", 100);
    for (const QByteArray &damage : {QByteArray("not a table"), QByteArray()}) {
        dir.write(damage);
        EXPECT_FALSE(errorOf([&] { c.reload(); }).isEmpty());
        runSlot(c.query(1), "ring", "ring", 100);
        EXPECT_EQ(c.query(1).fieldByName("NAME").toString(), QStringLiteral("Старое кольцо"));
        EXPECT_EQ(c.rows().text(1, 0), QStringLiteral("Старое кольцо"));
    }
}
