// The record range split in parts and read side by side: the same store, or
// the same refusal, as one reader going through the whole file.

#include "TestTable.h"
#include "catalogue/DbfLoader.h"
#include "catalogue/ItemStore.h"

#include <QDirIterator>
#include <QFile>

#include <random>
#include <sstream>

using namespace testdbf;

namespace {

// Everything the store serves, row by row, and the item type's codes.
std::string dump(const vestor::ItemStore &store)
{
    std::ostringstream out;
    for (std::uint32_t row = 0; row < store.rowCount(); ++row) {
        out << store.recno(row);
        for (int c = 1; c < store.columnCount(); ++c) {
            if (store.isText(c))
                out << '|' << store.text(c, row);
            else if (const double v = store.number(c, row); vestor::ItemStore::isNull(v))
                out << "|null";
            else
                out << '|' << v;
        }
        out << '\n';
    }
    if (store.typeColumn() >= 0) {
        const vestor::ItemStore::Codes &codes = store.codes(store.typeColumn());
        for (std::uint32_t code : codes.code)
            out << code << ' ';
        for (const auto &rows : codes.rows)
            out << '\n' << rows.size() << ':' << (rows.empty() ? 0 : rows.front()) << '-' << (rows.empty() ? 0 : rows.back());
    }
    return out.str();
}

std::string outcome(const QString &path, int threads)
{
    try {
        return dump(*vestor::loadDbfTable(path, vestor::kItemColumns, {}, threads));
    } catch (const vestor::Error &e) {
        return "refused: " + e.message().toStdString();
    }
}

// Loads `path` in one part and in several; the outcomes must agree.
void expectSameInParts(const QString &path, const std::string &what)
{
    const std::string whole = outcome(path, 1);
    for (int threads : {2, 3, 7})
        EXPECT_EQ(outcome(path, threads), whole) << what << " in " << threads << " parts";
}

// `count` items of a few types, some deleted, some prices not a float's (the
// column turns to doubles in some parts only), a few blank numbers.
Table randomTable(std::mt19937 &random, int count)
{
    const char *types[] = {"ring", "helmet", "2hand", "lats", "amulet"};
    std::vector<Item> items;
    for (int i = 0; i < count; ++i) {
        Item it = item(QString::fromLatin1(types[random() % 5]), QStringLiteral("Вещь %1").arg(i),
                       double(random() % 1000) + (random() % 7 == 0 ? 0.1 : 0.5));
        it.stats[random() % 18] = double(random() % 20);
        it.deleted = random() % 9 == 0;
        items.push_back(it);
    }
    Table t = itemTable(items);
    for (Record &r : t.records)
        if (random() % 11 == 0)
            r.values[4] = QByteArray(); // a blank level
    return t;
}

} // namespace

TEST(ParallelLoad, RandomTablesGiveTheSameStoreInAnyNumberOfParts)
{
    std::mt19937 random(7);
    for (int count : {0, 1, 2, 5, 40, 333}) {
        ProgramDir dir;
        dir.write(bytes(randomTable(random, count)));
        expectSameInParts(dir.table(), std::to_string(count) + " items");
    }
}

TEST(ParallelLoad, DamagedRecordsGiveTheSameFirstFault)
{
    std::mt19937 random(11);
    for (int round = 0; round < 12; ++round) {
        Table t = randomTable(random, 120);
        // One or two faults anywhere: the first in the file is the one named.
        for (int fault = 0; fault <= round % 2; ++fault) {
            Record &r = t.records[random() % t.records.size()];
            r.deleted = false; // a deleted record's fields are never read
            if (random() % 2)
                r.values[2] = "12x"; // PRICE
            else
                r.values[5 + random() % 18] = "--1";
        }
        ProgramDir dir;
        QByteArray data = bytes(t);
        if (round % 3 == 0) {
            // A record marked neither live nor deleted.
            const auto le16 = [&](int at) { return int(std::uint8_t(data[at]) | std::uint8_t(data[at + 1]) << 8); };
            data[le16(8) + le16(10) * int(random() % 120)] = 'X';
        }
        dir.write(data);
        const std::string whole = outcome(dir.table(), 1);
        EXPECT_EQ(whole.rfind("refused: ", 0), 0u) << whole;
        expectSameInParts(dir.table(), "round " + std::to_string(round));
    }
}

TEST(ParallelLoad, FuzzCorpusGivesTheSameOutcomeInAnyNumberOfParts)
{
    int seen = 0;
    for (const char *folder : {"corpus", "findings"}) {
        QDirIterator it(QStringLiteral(VESTOR_FUZZ_DIR "/") + folder, QDir::Files);
        while (it.hasNext()) {
            QFile f(it.next());
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            QByteArray input = f.readAll();
            ProgramDir dir;
            QDir(dir.root.path()).mkpath(QStringLiteral("Data"));
            if (input.startsWith("CPG:")) {
                const qsizetype end = input.indexOf('\n');
                writeFile(dir.data() + QStringLiteral("/Subjects.cpg"), input.mid(4, end < 0 ? -1 : end - 4));
                input = end < 0 ? QByteArray() : input.mid(end + 1);
            }
            writeFile(dir.table(), input);
            expectSameInParts(dir.table(), it.fileName().toStdString());
            ++seen;
        }
    }
    EXPECT_GE(seen, 20);
}
