// csv2dbf under hostile files and faults: every case ends in a clear message
// and the right exit status, with nothing lost or replaced that should not be.

#include "ToolRun.h"
#include "catalogue/DbfLoader.h"
#include "catalogue/ItemRecord.h"
#include "catalogue/ItemRows.h"

#include <algorithm>
#include <functional>

#include <sys/stat.h>

namespace {

using namespace tooltest;

const std::string kTool = CSV2DBF_EXE;
const std::string kShipped = VESTOR_SOURCE_DIR "/data/Subjects.csv";
const std::string kPrevious = "previous table";

std::string good() { return header() + "\n" + row() + "\n"; }

// csv2dbf IN OUT, with the CSV written to io/in.csv.
std::string convert(const fs::path &io, const std::string &csv, const std::string &output)
{
    writeFile(io / "in.csv", csv);
    return commandLine(kTool, {(io / "in.csv").string(), output});
}

std::vector<QString> loadedNames(const fs::path &table)
{
    const vestor::ItemRows rows(vestor::loadDbfTable(QString::fromStdString(table.string()), vestor::kItemColumns));
    std::vector<QString> names;
    for (int r = 0; r < rows.rowCount(); ++r)
        names.push_back(rows.text(vestor::kNameColumn, r));
    return names;
}

struct Hostile {
    const char *label;
    std::function<std::string(const fs::path &io)> command; // prepares io/, returns the command line
    int status;
    std::string message; // found in stderr
    std::function<void(const fs::path &io)> after = {};
    std::string stdoutTo = {};
};

void PrintTo(const Hostile &c, std::ostream *os) { *os << c.label; }

void keepsInput(const fs::path &io) { EXPECT_EQ(readFile(io / "in.csv"), good()); }
void keepsPrevious(const fs::path &io) { EXPECT_EQ(readFile(io / "Out.DBF"), kPrevious); }
void onlyInputLeft(const fs::path &io)
{
    EXPECT_EQ(std::distance(fs::directory_iterator(io), fs::directory_iterator()), 1);
    keepsInput(io);
}

std::string twoRuns(const fs::path &io)
{
    // Different sizes, so a blend of the two shows in the count.
    std::string a = header() + "\n", b = header() + "\n";
    for (int i = 0; i < 3000; ++i)
        a += row({{"NAME", std::string("A").append(std::to_string(i))}}) + "\n";
    for (int i = 0; i < 2000; ++i)
        b += row({{"NAME", std::string("B").append(std::to_string(i))}}) + "\n";
    writeFile(io / "a.csv", a);
    writeFile(io / "b.csv", b);
    const std::string out = (io / "Out.DBF").string();
    const std::string one = commandLine(kTool, {(io / "a.csv").string(), out});
    const std::string two = commandLine(kTool, {(io / "b.csv").string(), out});
    return "for i in 1 2 3 4 5 6; do " + one + " & " + two + "; wait; done";
}

void oneWholeTable(const fs::path &io)
{
    const auto names = loadedNames(io / "Out.DBF");
    ASSERT_TRUE(names.size() == 3000 || names.size() == 2000) << names.size();
    for (const QString &n : names)
        EXPECT_EQ(n.front(), names.front().front());
}

const Hostile kHostile[] = {
    {"OutputIsALinkToADevice",
     [](const fs::path &io) {
         fs::create_symlink("/dev/null", io / "Out.DBF");
         return convert(io, good(), (io / "Out.DBF").string());
     },
     1, "Out.DBF: not a regular file", [](const fs::path &io) { EXPECT_TRUE(fs::is_symlink(io / "Out.DBF")); }},
    {"OutputIsAFifo",
     [](const fs::path &io) {
         ::mkfifo((io / "Out.DBF").c_str(), 0600);
         return convert(io, good(), (io / "Out.DBF").string());
     },
     1, "Out.DBF: not a regular file", [](const fs::path &io) { EXPECT_TRUE(fs::is_fifo(io / "Out.DBF")); }},
    {"OutputIsADirectory",
     [](const fs::path &io) {
         fs::create_directory(io / "Out.DBF");
         return convert(io, good(), (io / "Out.DBF").string());
     },
     1, "Out.DBF: not a regular file", [](const fs::path &io) { EXPECT_TRUE(fs::is_directory(io / "Out.DBF")); }},
    {"OutputIsTheInputUnderAnotherSpelling",
     [](const fs::path &io) { return convert(io, good(), (io / "." / "in.csv").string()); }, 1, "is the input file",
     onlyInputLeft},
    {"OutputIsAHardLinkToTheInput",
     [](const fs::path &io) {
         const std::string command = convert(io, good(), (io / "Out.DBF").string());
         fs::create_hard_link(io / "in.csv", io / "Out.DBF");
         return command;
     },
     1, "Out.DBF: is the input file", keepsInput},
    {"OutputIsASymlinkToTheInput",
     [](const fs::path &io) {
         fs::create_symlink(io / "in.csv", io / "Out.DBF");
         return convert(io, good(), (io / "Out.DBF").string());
     },
     1, "Out.DBF: is the input file", keepsInput},
    {"InputIsADirectory",
     [](const fs::path &io) {
         return commandLine(kTool, {io.string(), "/tmp/x.DBF"});
     },
     1, "cannot open: file to open is a directory"},
    {"InputIsMissing",
     [](const fs::path &io) {
         return commandLine(kTool, {(io / "no.csv").string(), (io / "Out.DBF").string()});
     },
     1, "no.csv: cannot open: No such file or directory"},
    {"EndlessZeros",
     [](const fs::path &io) {
         return commandLine(kTool, {"/dev/zero", (io / "Out.DBF").string()});
     },
     1, "/dev/zero:1: a NUL byte: this is not a text file"},
    {"EndlessLineOnStdin",
     [](const fs::path &io) {
         return "yes abc | tr -d '\\n' | " + commandLine(kTool, {"-", (io / "Out.DBF").string()});
     },
     1, "stdin:1: a line of more than 65536 bytes"},
    {"FullDiskKeepsThePreviousTable",
     [](const fs::path &io) {
         writeFile(io / "Out.DBF", kPrevious);
         // A file size limit stands in for a full disk: writes fail with EFBIG.
         return "trap '' XFSZ; ulimit -f 16; exec " + commandLine(kTool, {kShipped, (io / "Out.DBF").string()});
     },
     1, ": File too large",
     [](const fs::path &io) {
         keepsPrevious(io);
         EXPECT_EQ(std::distance(fs::directory_iterator(io), fs::directory_iterator()), 1);
     }},
    {"HelpToAFullDisk",
     [](const fs::path &) { return commandLine(kTool, {"--help"}); },
     1,
     "cannot write to standard output: No space left on device",
     {},
     "> /dev/full"},
    {"HelpToAClosedStdout",
     [](const fs::path &) { return commandLine(kTool, {"--help"}); },
     1,
     "cannot write to standard output: Bad file descriptor",
     {},
     ">&-"},
    {"LinkPlantedAtTheOldTemporaryName",
     [](const fs::path &io) {
         writeFile(io / "victim", "victim");
         fs::create_symlink(io / "victim", io / "Out.csv2dbf-tmp.dbf");
         return convert(io, good(), (io / "Out.DBF").string());
     },
     0, "", [](const fs::path &io) { EXPECT_EQ(readFile(io / "victim"), "victim"); }},
    {"TwoRunsAtOnceEachLeaveAWholeTable", twoRuns, 0, "", oneWholeTable},
    {"StaleCodePageFilesInAnyLetterCase",
     [](const fs::path &io) {
         for (const char *name : {"Out.cpg", "Out.Cpg", "OUT.cpg", "out.CPG"})
             writeFile(io / name, "866");
         return convert(io, good(), (io / "Out.DBF").string());
     },
     0, "",
     [](const fs::path &io) {
         EXPECT_EQ(std::distance(fs::directory_iterator(io), fs::directory_iterator()), 2);
         EXPECT_EQ(loadedNames(io / "Out.DBF"), std::vector<QString>{QStringLiteral("Кольцо")});
     }},
    {"CodesNoQueryMatchesAreWarnedButTaken",
     [](const fs::path &io) {
         return convert(io,
                        header() + "\n" + row({{"TYPE", "RING"}}) + "\n" + row({{"TYPE", " ring"}}) + "\n" +
                            row({{"RACE", "Elf"}}) + "\n",
                        (io / "Out.DBF").string());
     },
     0, "in.csv:3: TYPE: \" ring\" is not a type any slot takes",
     [](const fs::path &io) { EXPECT_EQ(loadedNames(io / "Out.DBF").size(), 3u); }},
    {"ReadOnlyOutputIsKept",
     [](const fs::path &io) {
         writeFile(io / "Out.DBF", kPrevious);
         fs::permissions(io / "Out.DBF", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         return convert(io, good(), (io / "Out.DBF").string());
     },
     1, "Out.DBF: read-only", keepsPrevious},
    {"ReadOnlyOutputReplacedWithForce",
     [](const fs::path &io) {
         writeFile(io / "Out.DBF", kPrevious);
         fs::permissions(io / "Out.DBF", fs::perms::owner_read);
         writeFile(io / "in.csv", good());
         return commandLine(kTool, {"--force", (io / "in.csv").string(), (io / "Out.DBF").string()});
     },
     0, "",
     [](const fs::path &io) {
         EXPECT_EQ(loadedNames(io / "Out.DBF").size(), 1u);
         EXPECT_EQ(fs::status(io / "Out.DBF").permissions(), fs::perms::owner_read) << "keeps its mode";
     }},
    {"OutputIsADanglingLink",
     [](const fs::path &io) {
         fs::create_symlink(io / "Gone.DBF", io / "Out.DBF");
         return convert(io, good(), (io / "Out.DBF").string());
     },
     1, "Out.DBF: a link to a file that does not exist"},
    {"OutputIsALinkLoop",
     [](const fs::path &io) {
         fs::create_symlink(io / "Other.DBF", io / "Out.DBF");
         fs::create_symlink(io / "Out.DBF", io / "Other.DBF");
         return convert(io, good(), (io / "Out.DBF").string());
     },
     1, "Out.DBF: a loop of symbolic links"},
    {"BlankNamesAreRefusedByLine",
     [](const fs::path &io) {
         return convert(io, header() + "\n" + row() + "\n" + row({{"NAME", "\"   \""}}) + "\n",
                        (io / "Out.DBF").string());
     },
     1, "in.csv:3: NAME: blank", [](const fs::path &io) { EXPECT_FALSE(fs::exists(io / "Out.DBF")); }},
    {"TrailingBlankLines", [](const fs::path &io) { return convert(io, good() + "\n\r\n", (io / "Out.DBF").string()); },
     0, "", [](const fs::path &io) { EXPECT_EQ(loadedNames(io / "Out.DBF").size(), 1u); }},
    {"NameAtTheLengthLimit",
     [](const fs::path &io) {
         const std::string name = std::string(251, 'x') + ".DBF";
         writeFile(io / name, kPrevious);
         return convert(io, good(), (io / name).string());
     },
     0, "", [](const fs::path &io) { EXPECT_EQ(loadedNames(io / (std::string(251, 'x') + ".DBF")).size(), 1u); }},
};

class Csv2DbfHostile : public ToolTest, public ::testing::WithParamInterface<Hostile>
{};

TEST_P(Csv2DbfHostile, EndsAsItShould)
{
    const Hostile &c = GetParam();
    const RunResult r = shell(c.command(io()), c.stdoutTo);
    EXPECT_EQ(r.status, c.status) << r.err;
    if (c.message.empty())
        EXPECT_EQ(r.err, "");
    else
        EXPECT_NE(r.err.find(c.message), std::string::npos) << "stderr was: " << r.err;
    if (c.after)
        c.after(io());
}

INSTANTIATE_TEST_SUITE_P(Cases, Csv2DbfHostile, ::testing::ValuesIn(kHostile),
                         [](const auto &info) { return std::string(info.param.label); });

class Csv2DbfWarnings : public ToolTest
{};

TEST_F(Csv2DbfWarnings, TheFirstTwentyAreShownThenHowManyMore)
{
    for (const int rows : {20, 21, 1000}) {
        std::string csv = header() + "\n";
        for (int i = 0; i < rows; ++i)
            csv += row({{"TYPE", "RING"}}) + "\n";
        const RunResult r = shell(convert(io(), csv, (io() / "Out.DBF").string()));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(loadedNames(io() / "Out.DBF").size(), std::size_t(rows)) << "stored all the same";
        const auto lines = std::count(r.err.begin(), r.err.end(), '\n');
        const std::string more = "in.csv: and " + std::to_string(rows - 20) + " more warning";
        if (rows == 20) {
            EXPECT_EQ(lines, 20) << r.err;
            EXPECT_EQ(r.err.find(" more warning"), std::string::npos);
        } else {
            EXPECT_EQ(lines, 21) << r.err;
            EXPECT_NE(r.err.find(more + (rows == 21 ? "\n" : "s\n")), std::string::npos) << r.err;
        }
    }
}

} // namespace
