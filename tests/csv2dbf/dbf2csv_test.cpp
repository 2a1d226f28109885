// dbf2csv, the reverse of csv2dbf: dbf2csv TABLE | csv2dbf - COPY builds a
// table with exactly the rows of TABLE, whatever code page TABLE is in.

#include "TestDbf.h"
#include "ToolRun.h"
#include "catalogue/CodePage.h"
#include "catalogue/DbfLoader.h"
#include "catalogue/ItemRecord.h"

#include <QStringEncoder>

#include <functional>

namespace {

using namespace tooltest;

const std::string kDbf2Csv = DBF2CSV_EXE;
const std::string kCsv2Dbf = CSV2DBF_EXE;
const std::string kShippedCsv = VESTOR_SOURCE_DIR "/data/Subjects.csv";

std::vector<vestor::ItemRecord> records(const fs::path &table)
{
    const vestor::ItemRows rows(vestor::loadDbfTable(QString::fromStdString(table.string()), vestor::kItemColumns));
    std::vector<vestor::ItemRecord> all;
    for (int r = 0; r < rows.rowCount(); ++r)
        all.push_back(vestor::itemRecordAt(rows, r));
    return all;
}

class Dbf2Csv : public ToolTest
{
protected:
    // dbf2csv TABLE | csv2dbf - COPY; the copy's rows.
    std::vector<vestor::ItemRecord> throughThePipe(const fs::path &table)
    {
        const fs::path copy = io() / "Copy.DBF";
        const RunResult r =
            shell(commandLine(kDbf2Csv, {table.string()}) + " | " + commandLine(kCsv2Dbf, {"-", copy.string()}));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return records(copy);
    }
};

TEST_F(Dbf2Csv, ShippedTableComesBackAsTheShippedCsvAndTheSameRows)
{
    const fs::path table = io() / "Subjects.DBF";
    ASSERT_EQ(shell(commandLine(kCsv2Dbf, {kShippedCsv, table.string()})).status, 0);
    const RunResult csv = shell(commandLine(kDbf2Csv, {table.string()}));
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out, readFile(kShippedCsv));
    const auto original = records(table);
    EXPECT_GE(original.size(), 150u);
    EXPECT_EQ(throughThePipe(table), original);
}

TEST_F(Dbf2Csv, Cp866TableWithBlanksFractionsAndQuotesComesBackExactly)
{
    const auto item = [](const char *type, const QString &name, double price) {
        testdbf::Item it;
        it.type = QString::fromLatin1(type);
        it.name = name;
        it.price = price;
        return it;
    };
    testdbf::Table t = testdbf::itemTable({item("ring", QStringLiteral("Кольцо \"Змея\", малое"), 10),
                                           item("helmet", QStringLiteral("Шлем ёжика"), 1250.25),
                                           item("lats", QStringLiteral("Латы"), 0.5)});
    t.languageDriver = 0x65;
    QStringEncoder dos("IBM866");
    for (auto &r : t.records)
        r.values[1] = dos.encode(vestor::cp1251::decode(r.values[1]));
    t.records[1].values[5] = "";      // a blank SILA
    t.records[2].values[26] = "-7.5"; // OB_KR_P
    const fs::path table = io() / "Dos.DBF";
    writeFile(table, testdbf::bytes(t).toStdString());

    const auto original = records(table);
    ASSERT_EQ(original.size(), 3u);
    EXPECT_EQ(original[0].text(vestor::kNameColumn), QStringLiteral("Кольцо \"Змея\", малое"));
    EXPECT_FALSE(original[1].number(5).has_value());
    EXPECT_EQ(throughThePipe(table), original);
}

// A table whose names a spreadsheet would run, or a terminal obey.
testdbf::Item ring(const QString &name)
{
    testdbf::Item it;
    it.type = QStringLiteral("ring");
    it.name = name;
    return it;
}

fs::path hostileNames(const fs::path &io, bool controls = false)
{
    std::vector<testdbf::Item> items;
    for (const char *name : {"=HYPERLINK(\"http://x\",\"y\")", "+1+1", "-5", "@SUM(A1)", "'=x"})
        items.push_back(ring(QString::fromUtf8(name)));
    if (controls) // csv2dbf refuses these; only a foreign table holds them
        items.push_back(ring(QStringLiteral("A\x1b]0;pwned\x07"
                                            "B")));
    const fs::path table = io / "Hostile.DBF";
    writeFile(table, testdbf::bytes(testdbf::itemTable(items)).toStdString());
    return table;
}

TEST_F(Dbf2Csv, FormulaNamesReachTheCsvQuotedAndComeBackExactly)
{
    const fs::path table = hostileNames(io());
    const RunResult safe = shell(commandLine(kDbf2Csv, {table.string()}));
    ASSERT_EQ(safe.status, 0) << safe.err;
    for (const char *cell : {"\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"", "'+1+1", "'-5", "'@SUM(A1)", "''=x"})
        EXPECT_NE(safe.out.find(std::string("ring,") + cell + ","), std::string::npos) << cell << "\n" << safe.out;
    const RunResult raw = shell(commandLine(kDbf2Csv, {"--raw", table.string()}));
    EXPECT_NE(raw.out.find("ring,+1+1,"), std::string::npos) << raw.out;
    const auto original = records(table);
    ASSERT_EQ(original.size(), 5u);
    EXPECT_EQ(original[0].text(vestor::kNameColumn), QStringLiteral("=HYPERLINK(\"http://x\",\"y\")"));
    EXPECT_EQ(throughThePipe(table), original);
}

TEST_F(Dbf2Csv, ATerminalSeesControlCharactersEscapedAPipeTheExactBytes)
{
    const fs::path table = hostileNames(io(), true);
    EXPECT_NE(shell(commandLine(kDbf2Csv, {table.string()})).out.find("A\x1b]0;pwned\x07"), std::string::npos);
    // script(1) gives dbf2csv a terminal as its standard output.
    const RunResult r = shell("script -qec \"" + commandLine(kDbf2Csv, {table.string()}) + "\" /dev/null");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("A\\x1b]0;pwned\\x07B"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(r.out.find('\x07'), std::string::npos);
}

TEST_F(Dbf2Csv, ForceReplacesAReadOnlyOutput)
{
    const fs::path table = hostileNames(io()), out = io() / "out.csv";
    writeFile(out, "old");
    fs::permissions(out, fs::perms::owner_read);
    const RunResult r = shell(commandLine(kDbf2Csv, {"--force", table.string(), out.string()}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(out).rfind(header(), 0), 0u);
    EXPECT_EQ(fs::status(out).permissions(), fs::perms::owner_read);
}

struct Fault {
    const char *label;
    std::function<std::vector<std::string>(const fs::path &io)> args;
    std::string message;
    std::string stdoutTo = {};
};

void PrintTo(const Fault &f, std::ostream *os) { *os << f.label; }

fs::path shippedTable(const fs::path &io)
{
    const fs::path table = io / "Subjects.DBF";
    std::system(commandLine(kCsv2Dbf, {kShippedCsv, table.string()}).c_str());
    return table;
}

const Fault kFaults[] = {
    {"MissingTable", [](const fs::path &io) { return std::vector<std::string>{(io / "None.DBF").string()}; },
     "None.DBF"},
    {"NotATable",
     [](const fs::path &io) {
         writeFile(io / "Bad.DBF", "not a table at all, only text");
         return std::vector<std::string>{(io / "Bad.DBF").string()};
     },
     "Bad.DBF"},
    {"OutputOnAFullDisk", [](const fs::path &io) { return std::vector<std::string>{shippedTable(io).string()}; },
     "No space left on device", "> /dev/full"},
    {"OutputClosed", [](const fs::path &io) { return std::vector<std::string>{shippedTable(io).string()}; },
     "Bad file descriptor", ">&-"},
    {"OutputIsTheTable",
     [](const fs::path &io) {
         const std::string table = shippedTable(io).string();
         return std::vector<std::string>{table, table};
     },
     "is the table being read"},
    {"OutputIsADirectory",
     [](const fs::path &io) {
         return std::vector<std::string>{shippedTable(io).string(), io.string()};
     },
     "not a regular file"},
    {"OutputIsTheTablesBackup",
     [](const fs::path &io) {
         const fs::path table = shippedTable(io);
         fs::copy_file(table, io / "Subjects.DBF.bak");
         return std::vector<std::string>{table.string(), (io / "Subjects.DBF.bak").string()};
     },
     "Subjects.DBF.bak: is the backup of the table being read"},
    {"OutputIsAnotherTable",
     [](const fs::path &io) {
         const fs::path table = shippedTable(io);
         fs::copy_file(table, io / "Other.dat");
         return std::vector<std::string>{table.string(), (io / "Other.dat").string()};
     },
     "Other.dat: is a dBase table"},
    {"OutputIsReadOnly",
     [](const fs::path &io) {
         writeFile(io / "out.csv", "kept");
         fs::permissions(io / "out.csv", fs::perms::owner_read);
         return std::vector<std::string>{shippedTable(io).string(), (io / "out.csv").string()};
     },
     "out.csv: read-only"},
    {"OutputIsADanglingLink",
     [](const fs::path &io) {
         fs::create_symlink(io / "gone.csv", io / "out.csv");
         return std::vector<std::string>{shippedTable(io).string(), (io / "out.csv").string()};
     },
     "out.csv: a link to a file that does not exist"},
    {"OutputIsALinkLoop",
     [](const fs::path &io) {
         fs::create_symlink(io / "out.csv", io / "out.csv");
         return std::vector<std::string>{shippedTable(io).string(), (io / "out.csv").string()};
     },
     "out.csv: a loop of symbolic links"},
    {"HelpOnAFullDisk", [](const fs::path &) { return std::vector<std::string>{"--help"}; }, "No space left on device",
     "> /dev/full"},
};

class Dbf2CsvFault : public ToolTest, public ::testing::WithParamInterface<Fault>
{};

TEST_P(Dbf2CsvFault, ExitsOneWithTheReasonAndKeepsWhatWasThere)
{
    const Fault &f = GetParam();
    const std::vector<std::string> args = f.args(io());
    const std::string before = args.size() > 1 ? readFile(args[1]) : std::string();
    const RunResult r = shell(commandLine(kDbf2Csv, args), f.stdoutTo);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(f.message), std::string::npos) << "stderr was: " << r.err;
    if (args.size() > 1) {
        EXPECT_EQ(readFile(args[1]), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Dbf2CsvFault, ::testing::ValuesIn(kFaults),
                         [](const auto &info) { return std::string(info.param.label); });

} // namespace
