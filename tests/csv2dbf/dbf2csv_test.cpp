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
    {"HelpOnAFullDisk", [](const fs::path &) { return std::vector<std::string>{"--help"}; }, "No space left on device",
     "> /dev/full"},
};

class Dbf2CsvFault : public ToolTest, public ::testing::WithParamInterface<Fault>
{};

TEST_P(Dbf2CsvFault, ExitsOneWithTheReason)
{
    const Fault &f = GetParam();
    const RunResult r = shell(commandLine(kDbf2Csv, f.args(io())), f.stdoutTo);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(f.message), std::string::npos) << "stderr was: " << r.err;
}

INSTANTIATE_TEST_SUITE_P(Cases, Dbf2CsvFault, ::testing::ValuesIn(kFaults),
                         [](const auto &info) { return std::string(info.param.label); });

} // namespace
