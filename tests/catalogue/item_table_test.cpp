// The virtual item table against a plain SQLite table holding the same rows:
// every query, with the terms and orders the table takes over and those it
// leaves to SQLite, must return the same rows.

#include "TestTable.h"
#include "catalogue/DbfLoader.h"
#include "catalogue/ItemTable.h"

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <random>

using namespace testdbf;

namespace {

// Random items with nulls, negatives, ties and text that only differs in case.
Table randomTable(std::mt19937 &rng, int rows)
{
    const char *types[] = {"ring", "2hand", "armor", "lats", "Ring", ""};
    const char *racesCodes[] = {"No", "El", "Or", "no"};
    std::uniform_int_distribution<int> pick(0, 1000);
    std::vector<Item> items;
    for (int i = 0; i < rows; ++i) {
        Item it = item(types[pick(rng) % 6], QStringLiteral("Вещь %1").arg(pick(rng) % 40), pick(rng) % 300, {},
                       racesCodes[pick(rng) % 4], 1 + pick(rng) % 13);
        for (double &s : it.stats)
            s = pick(rng) % 3 ? 0 : (pick(rng) % 21) - 5 + (pick(rng) % 2) * 0.5;
        it.deleted = pick(rng) % 17 == 0;
        items.push_back(it);
    }
    Table t = itemTable(items);
    // Halfway through, a price that only a double holds.
    if (!t.records.empty())
        t.records[t.records.size() / 2].values[2] = "123.45";
    for (auto &r : t.records) {
        if (pick(rng) % 9 == 0)
            r.values[5] = ""; // SILA null
        if (pick(rng) % 11 == 0)
            r.values[2] = ""; // PRICE null
    }
    return t;
}

struct Statement {
    sqlite3_stmt *s = nullptr;
    Statement(sqlite3 *db, const std::string &sql)
    {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
    }
    ~Statement() { sqlite3_finalize(s); }
};

using Binder = std::function<void(sqlite3_stmt *)>;

// Every row as text, in the order the statement returns them.
std::vector<std::string> run(sqlite3 *db, const std::string &sql, const Binder &bind)
{
    Statement st(db, sql);
    std::vector<std::string> rows;
    if (!st.s)
        return rows;
    bind(st.s);
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(st.s); ++i) {
            const unsigned char *v = sqlite3_column_text(st.s, i);
            row += v ? reinterpret_cast<const char *>(v) : "NULL";
            row += '|';
        }
        rows.push_back(row);
    }
    EXPECT_EQ(rc, SQLITE_DONE) << sql << ": " << sqlite3_errmsg(db);
    return rows;
}

// The loader's store served as Subjects.dbf on a connection of the test's own.
struct ItemTableFixture : ::testing::Test {
    ProgramDir dir;
    sqlite3 *db = nullptr;

    ~ItemTableFixture() override { sqlite3_close_v2(db); }

    void load(const Table &t)
    {
        dir.write(bytes(t));
        ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
        vestor::ItemTables *tables = vestor::registerItemTables(db);
        ASSERT_EQ(sqlite3_exec(db, "ATTACH ':memory:' AS Subjects", nullptr, nullptr, nullptr), SQLITE_OK);
        vestor::createItemTable(tables, db, QStringLiteral("Subjects"), QStringLiteral("dbf"),
                                vestor::loadDbfTable(dir.table(), vestor::kItemColumns));
        // As the table used to be loaded: RECNO is the rowid.
        std::string columns = "RECNO INTEGER PRIMARY KEY";
        for (const auto &column : vestor::kItemColumns)
            columns +=
                std::string(", ") + column.name + (column.kind == vestor::ColumnKind::String ? " TEXT" : " REAL");
        const std::string sql =
            "CREATE TABLE main.plain (" + columns + "); INSERT INTO main.plain SELECT * FROM Subjects.dbf";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    }

    // `sql` with "T" standing for the table: the virtual one and the plain copy agree.
    void same(
        const std::string &sql, const Binder &bind = [](sqlite3_stmt *) {})
    {
        auto with = [&](const std::string &table) {
            std::string s = sql;
            for (size_t at; (at = s.find("{T}")) != std::string::npos;)
                s.replace(at, 3, table);
            return run(db, s, bind);
        };
        auto virtualRows = with("Subjects.dbf");
        auto plainRows = with("main.plain");
        if (sql.find("ORDER BY") == std::string::npos) { // any order will do
            std::sort(virtualRows.begin(), virtualRows.end());
            std::sort(plainRows.begin(), plainRows.end());
        }
        if (virtualRows != plainRows) {
            auto diff = std::mismatch(virtualRows.begin(), virtualRows.end(), plainRows.begin(), plainRows.end());
            ADD_FAILURE() << sql << "\n  virtual table: " << virtualRows.size()
                          << " rows, plain table: " << plainRows.size()
                          << "; first difference: " << (diff.first == virtualRows.end() ? "(none)" : *diff.first)
                          << " vs " << (diff.second == plainRows.end() ? "(none)" : *diff.second);
        }
        ++checked;
        nonEmpty += !virtualRows.empty();
    }
    int checked = 0, nonEmpty = 0;
};

} // namespace

TEST_F(ItemTableFixture, BestItemQueriesAgreeWithAPlainTable)
{
    std::mt19937 rng(7);
    load(randomTable(rng, 400));
    std::uniform_int_distribution<int> pick(0, 1000);
    const char *types[] = {"ring", "2hand", "armor", "lats", "Ring", "nothing"};
    const char *raceParams[] = {"El", "Or", "No", "no"};
    for (int run = 0; run < 300; ++run) {
        const int stat = 1 + pick(rng) % 18;
        const std::string sql =
            "SELECT * FROM (" + vestor::bestItemSql(vestor::statColumn(stat)).toStdString() + "\n) ORDER BY RECNO";
        std::string s = sql;
        for (size_t at; (at = s.find("Subjects.dbf")) != std::string::npos;)
            s.replace(at, 12, "{T}");
        const int level = pick(rng) % 14, price = pick(rng) % 320;
        const char *race = raceParams[pick(rng) % 4];
        const char *t1 = types[pick(rng) % 6], *t2 = types[pick(rng) % 6];
        const bool nullType = pick(rng) % 10 == 0;
        same(s, [&](sqlite3_stmt *st) {
            for (int i = 1; i <= sqlite3_bind_parameter_count(st); ++i) {
                const std::string name = sqlite3_bind_parameter_name(st, i);
                if (name.starts_with(":level"))
                    sqlite3_bind_int(st, i, level);
                else if (name.starts_with(":price"))
                    sqlite3_bind_int(st, i, price);
                else if (name.starts_with(":race"))
                    sqlite3_bind_text(st, i, race, -1, SQLITE_STATIC);
                else if (!nullType)
                    sqlite3_bind_text(st, i, name.ends_with('1') ? t1 : t2, -1, SQLITE_STATIC);
            }
        });
    }
    EXPECT_GT(nonEmpty, 100);
}

TEST_F(ItemTableFixture, TermsAndOrdersOfEveryKindAgreeWithAPlainTable)
{
    std::mt19937 rng(11);
    load(randomTable(rng, 300));
    for (const char *where : {"PRICE > 100",
                              "PRICE >= 100.0",
                              "PRICE < 50",
                              "PRICE <= 0",
                              "PRICE = 150",
                              "PRICE = NULL",
                              "PRICE < NULL",
                              "PRICE = 123.45",
                              "SILA = 2.5",
                              "SILA IN (0, -2.5, 7)",
                              "SILA IN (NULL, 3)",
                              "SILA = '3'",
                              "SILA > '2'",
                              "PRICE = 9007199254740993",
                              "TYPE = 'ring'",
                              "TYPE = 'Ring'",
                              "TYPE IN ('ring', 'lats')",
                              "TYPE = 'ring' COLLATE NOCASE",
                              "TYPE > 'lats'",
                              "TYPE <= 'armor'",
                              "TYPE = ''",
                              "TYPE = 5",
                              "TYPE IN ('ring', 5)",
                              "NAME = 'Вещь 3'",
                              "NAME >= 'Вещь 3' AND NAME < 'Вещь 4'",
                              "RECNO = 17",
                              "RECNO BETWEEN 20 AND 40",
                              "rowid > 250",
                              "RECNO = '17'",
                              "RACE = 'No' OR PRICE < 20",
                              "UROV <= 5 AND RACE IN ('No', 'El') AND TYPE IN ('ring', 'armor') AND PRICE <= 200",
                              "SILA IS NULL",
                              "SILA IS NOT NULL AND SILA <> 0",
                              "TYPE LIKE 'r%'",
                              "x'00' = TYPE",
                              "TYPE IN ('ring', 'ring') AND SILA IN (0, 0.0, -0.0)",
                              "TYPE = 'armor' AND SILA = 2.5"}) {
        for (const char *order : {"", " ORDER BY RECNO", " ORDER BY RECNO DESC", " ORDER BY SILA DESC, RECNO",
                                  " ORDER BY PRICE, RECNO", " ORDER BY NAME, RECNO"})
            same(std::string("SELECT * FROM {T} WHERE ") + where + order);
        // Orders the table hands out itself: ties come in any order, so compare the keys.
        same(std::string("SELECT SILA FROM {T} WHERE ") + where + " ORDER BY SILA DESC");
        same(std::string("SELECT PRICE FROM {T} WHERE ") + where + " ORDER BY PRICE");
        same(std::string("SELECT max(SILA), min(SILA), max(PRICE), count(*) FROM {T} WHERE ") + where);
    }
    same("SELECT * FROM {T} WHERE SILA = (SELECT max(SILA) FROM {T} WHERE TYPE = ?) ORDER BY RECNO",
         [](sqlite3_stmt *st) { sqlite3_bind_text(st, 1, "ring", -1, SQLITE_STATIC); });
    same("SELECT * FROM {T} WHERE TYPE = ? AND PRICE <= ?", [](sqlite3_stmt *st) {
        sqlite3_bind_text(st, 1, "armor", -1, SQLITE_STATIC);
        sqlite3_bind_double(st, 2, 120.5);
    });
    EXPECT_GT(nonEmpty, checked / 2);
}

TEST_F(ItemTableFixture, IsReadOnlyAndAnEmptyTableServesNothing)
{
    load(itemTable({}));
    same("SELECT * FROM {T}");
    same("SELECT max(SILA) FROM {T}");
    char *message = nullptr;
    EXPECT_NE(sqlite3_exec(db, "DELETE FROM Subjects.dbf", nullptr, nullptr, &message), SQLITE_OK);
    sqlite3_free(message);
}
