// Loading the item table: what reads, what is refused and with which message.

#include "TestTable.h"

#include <QFileInfo>
#include <QStringEncoder>

#include <algorithm>

using namespace testdbf;
using vestor::Catalogue;
using vestor::Error;

namespace {

std::vector<Item> threeItems()
{
    return {item("ring", QStringLiteral("Кольцо силы"), 100, {{1, 5}}),
            item("ring", QStringLiteral("Кольцо ловкости"), 120, {{2, 4}}),
            item("lats", QStringLiteral("Латы"), 900, {{8, 10}})};
}

// Opens the catalogue over `dir` and returns the NAME of every row of the table, in order.
QStringList loadedNames(ProgramDir &dir)
{
    Catalogue c;
    c.setUp(dir.program());
    return names(*wholeTable(c));
}

QString setUpError(ProgramDir &dir)
{
    return errorOf([&] {
        Catalogue c;
        c.setUp(dir.program());
    });
}

} // namespace

TEST(Loader, KeepsFileOrderSkipsDeletedAndStripsPadding)
{
    ProgramDir dir;
    auto items = threeItems();
    items[1].deleted = true;
    dir.write(items);
    EXPECT_EQ(loadedNames(dir), (QStringList{QStringLiteral("Кольцо силы"), QStringLiteral("Латы")}));
}

TEST(Loader, DecodesTextByLanguageDriverAndSidecar)
{
    const QString name = QStringLiteral("Шлем гнева");
    for (auto [driver, codec] :
         {std::pair{0xC9, "windows-1251"}, {0x00, "windows-1251"}, {0x65, "IBM866"}, {0x26, "IBM866"}}) {
        ProgramDir dir;
        Table t = itemTable({item("helmet", QString(), 10)});
        t.languageDriver = std::uint8_t(driver);
        t.records[0].values[1] = QStringEncoder(codec).encode(name);
        dir.write(bytes(t));
        EXPECT_EQ(loadedNames(dir), QStringList{name}) << "driver " << driver;
    }
    // A .cpg file beside the table wins over the header's byte.
    ProgramDir dir;
    Table t = itemTable({item("helmet", QString(), 10)});
    t.records[0].values[1] = name.toUtf8();
    dir.write(bytes(t));
    writeFile(dir.data() + QStringLiteral("/Subjects.cpg"), "UTF-8\n");
    EXPECT_EQ(loadedNames(dir), QStringList{name});
}

TEST(Loader, UndecodableTextShowsReplacementCharacter)
{
    ProgramDir dir;
    Table t = itemTable({item("ring", QString(), 10)});
    t.records[0].values[1] = QByteArray("A\xFFZ"); // not UTF-8
    dir.write(bytes(t));
    writeFile(dir.data() + QStringLiteral("/Subjects.cpg"), "UTF-8");
    EXPECT_EQ(loadedNames(dir), QStringList{QStringLiteral("A\uFFFDZ")});
}

TEST(Loader, AcceptsExtraColumnsOtherWidthsAndTypeF)
{
    ProgramDir dir;
    Table t = itemTable(threeItems());
    t.fields[1].width = 20; // NAME
    t.fields[2].type = 'F'; // PRICE
    t.fields.push_back({"COMMENT", 'C', 10});
    for (auto &r : t.records)
        r.values.push_back("extra");
    dir.write(bytes(t));
    EXPECT_EQ(loadedNames(dir).size(), 3);
}

TEST(Loader, BlankNumberReadsAsNullAndIsNeverAdmitted)
{
    ProgramDir dir;
    Table t = itemTable(threeItems());
    t.records[0].values[2] = ""; // PRICE of the first ring
    dir.write(bytes(t));
    Catalogue c;
    c.setUp(dir.program());
    runSlot(c.query(1), "ring", "ring", 1000);
    EXPECT_EQ(names(c.query(1)), QStringList{QStringLiteral("Кольцо ловкости")});
}

TEST(Loader, DeclaredColumnsAreCheckedByNameAndKind)
{
    struct Case {
        const char *column;
        char type;
        const char *message;
    };
    for (const Case &k : {Case{"GOLOVA", 0, "Field 'GOLOVA' not found"},
                          Case{"NAME", 'N', "Type mismatch for field 'NAME', expecting: String actual: Float"},
                          Case{"SILA", 'C', "Type mismatch for field 'SILA', expecting: Float actual: String"},
                          Case{"UROV", 'D', "Type mismatch for field 'UROV', expecting: Float actual: Date"},
                          Case{"PRICE", 'L', "Type mismatch for field 'PRICE', expecting: Float actual: Boolean"},
                          Case{"RACE", 'M', "Type mismatch for field 'RACE', expecting: String actual: Memo"}}) {
        ProgramDir dir;
        Table t = itemTable(threeItems());
        for (size_t i = 0; i < t.fields.size(); ++i) {
            if (t.fields[i].name != k.column)
                continue;
            if (k.type == 0)
                t.fields[i].name = "HEAD"; // the column is missing
            else {
                t.fields[i].type = k.type;
                t.fields[i].width = k.type == 'D' ? 8 : k.type == 'L' ? 1 : k.type == 'M' ? 10 : 12;
            }
        }
        dir.write(bytes(t));
        EXPECT_EQ(setUpError(dir), QString::fromUtf8(k.message));
    }
}

TEST(Loader, MissingDirectoryFileOrEmptyFileIsNamed)
{
    ProgramDir noDir;
    EXPECT_TRUE(setUpError(noDir).contains(QStringLiteral("directory")));
    EXPECT_TRUE(setUpError(noDir).contains(noDir.data()));

    ProgramDir noFile;
    QDir(noFile.root.path()).mkpath(QStringLiteral("Data"));
    EXPECT_TRUE(setUpError(noFile).contains(QStringLiteral("Subjects.DBF")));

    ProgramDir empty;
    empty.write(QByteArray());
    EXPECT_TRUE(setUpError(empty).contains(QStringLiteral("not a dBase table")));
}

TEST(Loader, FileNameMatchesWithoutLetterCase)
{
    ProgramDir dir;
    QDir(dir.root.path()).mkpath(QStringLiteral("Data"));
    writeFile(dir.data() + QStringLiteral("/subjects.dbf"), bytes(itemTable(threeItems())));
    EXPECT_EQ(loadedNames(dir).size(), 3);
}

TEST(Loader, FailedSetUpLeavesQueriesWithoutDatabase)
{
    ProgramDir dir; // no Data directory
    Catalogue c;
    EXPECT_THROW(c.setUp(dir.program()), Error);
    EXPECT_TRUE(c.query(1).databaseName.isEmpty());
    EXPECT_EQ(c.database().databaseName, QStringLiteral("MyNewAlias"));
    EXPECT_THROW(runSlot(c.query(1), "ring", "ring", 100), Error);
}

TEST(Loader, RowsViewReadsEveryCellAsLoadedInFileOrder)
{
    ProgramDir dir;
    std::vector<Item> items = threeItems();
    items[1].deleted = true;
    dir.write(items);
    Catalogue c;
    c.setUp(dir.program());
    const vestor::ItemRows &rows = c.rows();
    ASSERT_EQ(rows.rowCount(), 2);
    const int name = 1, price = 2, sila = 5;
    EXPECT_EQ(rows.recordNumber(0), 1);
    EXPECT_EQ(rows.recordNumber(1), 3); // the deleted record keeps its number
    EXPECT_EQ(rows.text(name, 0), QStringLiteral("Кольцо силы"));
    EXPECT_EQ(rows.utf8(0, 1), "lats");
    EXPECT_EQ(rows.number(price, 1), 900.0);
    EXPECT_EQ(rows.number(sila, 0), 5.0);
    EXPECT_EQ(rows.number(sila, 1), 0.0);
}

TEST(Loader, ProgressGrowsAndEndsWithTheWholeFile)
{
    ProgramDir dir;
    dir.write(threeItems());
    Catalogue c;
    std::vector<std::pair<qint64, qint64>> told;
    c.setLoadProgress([&](qint64 read, qint64 total) { told.emplace_back(read, total); });
    c.setUp(dir.program());
    const qint64 size = QFileInfo(dir.table()).size();
    ASSERT_GE(told.size(), 2u);
    EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
    EXPECT_GT(told.front().first, 0); // the header is read before the records
    EXPECT_EQ(told.back(), std::make_pair(size, size));
    for (const auto &[read, total] : told)
        EXPECT_EQ(total, size);
}
