// Every best-item query over the shipped item table, checked against a plain
// scan of the file's rows.

#include "TestTable.h"

#include <QFileInfo>
#include <shapefil.h>

#include <cmath>
#include <optional>

using namespace testdbf;

namespace {

struct Row {
    int recno;
    std::string type, race;
    double price, urov;
    std::array<std::optional<double>, 18> stats;
};

std::vector<Row> scanRows(const char *path)
{
    DBFHandle h = DBFOpen(path, "rb");
    if (!h)
        return {};
    auto text = [&](int r, const char *f) { return std::string(DBFReadStringAttribute(h, r, DBFGetFieldIndex(h, f))); };
    auto num = [&](int r, const char *f) { return DBFReadDoubleAttribute(h, r, DBFGetFieldIndex(h, f)); };
    std::vector<Row> rows;
    for (int r = 0; r < DBFGetRecordCount(h); ++r) {
        if (DBFIsRecordDeleted(h, r))
            continue;
        Row row{r + 1, text(r, "TYPE"), text(r, "RACE"), num(r, "PRICE"), num(r, "UROV"), {}};
        for (int s = 1; s <= 18; ++s)
            row.stats[s - 1] = num(r, vestor::statColumn(s));
        rows.push_back(row);
    }
    DBFClose(h);
    return rows;
}

} // namespace

TEST(ShippedTable, EveryQueryReturnsExactlyTheBestAllowedRows)
{
    const std::vector<Row> rows = scanRows(VESTOR_SHIPPED_DBF);
    ASSERT_GE(rows.size(), 150u) << VESTOR_SHIPPED_DBF;

    ProgramDir dir;
    QDir(dir.root.path()).mkpath(QStringLiteral("Data"));
    ASSERT_TRUE(QFile::copy(QString::fromUtf8(VESTOR_SHIPPED_DBF), dir.table()));
    vestor::Catalogue c;
    c.setUp(dir.program());
    ASSERT_EQ(c.recordCount(), qint64(rows.size()));

    const std::vector<std::pair<std::string, std::string>> slotTypes = {
        {"2hand", "armor"},   {"ponogi", "ponogi"}, {"ring", "ring"},     {"pojas", "pojas"},
        {"perchi", "perchi"}, {"helmet", "helmet"}, {"amulet", "amulet"}, {"lats", "lats"}};
    const std::vector<std::pair<QString, std::string>> raceList = {
        {QStringLiteral("Эльф"), "El"}, {QStringLiteral("Орк"), "Or"}, {QStringLiteral("Дракон"), "Dr"}};
    int nonEmpty = 0, runs = 0;
    for (const auto &[raceName, raceCode] : raceList) {
        c.raceChanged(raceName);
        for (int level : {1, 5, 13}) {
            c.levelChanged(QString::number(level));
            for (double cap : {0.0, 50.0, 333.5, 1e6}) {
                const double roundedCap = std::nearbyint(cap);
                for (const auto &[t1, t2] : slotTypes) {
                    for (int stat = 1; stat <= 18; ++stat) {
                        auto admitted = [&](const Row &r) {
                            return r.urov <= level && r.price <= roundedCap && (r.race == "No" || r.race == raceCode) &&
                                   (r.type == t1 || r.type == t2);
                        };
                        std::optional<double> best;
                        for (const Row &r : rows)
                            if (admitted(r) && r.stats[stat - 1] && (!best || *r.stats[stat - 1] > *best))
                                best = r.stats[stat - 1];
                        std::vector<int> expected;
                        for (const Row &r : rows)
                            if (best && admitted(r) && r.stats[stat - 1] == best)
                                expected.push_back(r.recno);

                        auto &q = c.query(stat);
                        runSlot(q, QString::fromStdString(t1), QString::fromStdString(t2), cap);
                        std::vector<int> got;
                        for (; !q.eof(); q.next())
                            got.push_back(q.fieldByName(QStringLiteral("RECNO")).toInt());
                        ASSERT_EQ(got, expected) << "stat " << stat << " types " << t1 << "/" << t2 << " level "
                                                 << level << " race " << raceCode << " cap " << cap;
                        nonEmpty += !got.empty();
                        ++runs;
                    }
                }
            }
        }
    }
    // The check means little if almost every query came back empty.
    EXPECT_GT(nonEmpty, runs / 2);
}
