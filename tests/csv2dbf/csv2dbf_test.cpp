// Runs the real converter on small CSV files and reads the result back with
// shapelib's own reader, independent of the program's.

#include "ToolRun.h"
#include "catalogue/Columns.h"

#include <gtest/gtest.h>
#include <shapefil.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const auto &kColumns = vestor::kItemColumns;

using namespace tooltest;

class Csv2Dbf : public ToolTest
{
protected:
    RunResult run(const std::vector<std::string> &args) { return shell(commandLine(CSV2DBF_EXE, args)); }

    RunResult convert(const std::string &csv, const std::string &dbfName = "Out.DBF")
    {
        writeFile(io() / "in.csv", csv);
        return run({(io() / "in.csv").string(), (io() / dbfName).string()});
    }
};

std::uint32_t le32(const std::string &b, std::size_t at)
{
    return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
           static_cast<std::uint8_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}

std::uint16_t le16(const std::string &b, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8);
}

TEST_F(Csv2Dbf, ConvertsTableWithCp1251TextAndNumbers)
{
    std::string fifty;
    for (int i = 0; i < 50; ++i)
        fifty += "Я";
    const std::string csv = "\xEF\xBB\xBF" + header() + "\r\n" +
                            row({{"TYPE", "2hand"},
                                 {"NAME", "Меч ярости"},
                                 {"PRICE", "1250.5"},
                                 {"RACE", "Or"},
                                 {"UROV", "7"},
                                 {"SILA", "+2"},
                                 {"KORP", "0.5"},
                                 {"OB_UV_P", "-5"},
                                 {"OB_KR_P", "-0.25"}}) +
                            "\r\n" +
                            row({{"NAME", "\"Кольцо \"\"Змея\"\", малое\""}, {"RACE", "\"El\""}, {"UROV", "13"}}) +
                            "\n" + row({{"NAME", "Ёжик №1 €"}, {"TYPE", "amulet"}, {"PRICE", "0"}}) + "\n" +
                            row({{"NAME", fifty}, {"OB_OTV", "999999999.99"}});

    const RunResult r = convert(csv);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // Exactly the requested name: no lower-case twin, no .cpg, no temp file.
    EXPECT_EQ(filesInIo(), (std::set<std::string>{"in.csv", "Out.DBF"}));

    const std::string raw = readFile(io() / "Out.DBF");
    ASSERT_GT(raw.size(), 32u);
    EXPECT_EQ(static_cast<std::uint8_t>(raw[0]), 0x03);
    EXPECT_EQ(static_cast<std::uint8_t>(raw[29]), 0xC9);
    EXPECT_EQ(le32(raw, 4), 4u);
    EXPECT_EQ(le16(raw, 8), 32 + 27 * 32 + 1);
    EXPECT_EQ(le16(raw, 10), 1 + 3 * 50 + 24 * 12);

    DBFHandle dbf = DBFOpen((io() / "Out.DBF").string().c_str(), "rb");
    ASSERT_NE(dbf, nullptr);
    EXPECT_STREQ(DBFGetCodePage(dbf), "LDID/201");
    ASSERT_EQ(DBFGetFieldCount(dbf), 27);
    ASSERT_EQ(DBFGetRecordCount(dbf), 4);
    for (int i = 0; i < 27; ++i) {
        char name[XBASE_FLDNAME_LEN_READ + 1] = {};
        int width = 0, decimals = 0;
        const DBFFieldType type = DBFGetFieldInfo(dbf, i, name, &width, &decimals);
        SCOPED_TRACE(kColumns[i].name);
        EXPECT_EQ(name, std::string(kColumns[i].name));
        if (i == 0 || i == 1 || i == 3) {
            EXPECT_EQ(type, FTString);
            EXPECT_EQ(DBFGetNativeFieldType(dbf, i), 'C');
            EXPECT_EQ(width, 50);
        } else {
            EXPECT_EQ(DBFGetNativeFieldType(dbf, i), 'N');
            EXPECT_EQ(width, 12);
            EXPECT_EQ(decimals, 2);
        }
    }
    const auto text = [&](int rec, const char *col) {
        return std::string(DBFReadStringAttribute(dbf, rec, DBFGetFieldIndex(dbf, col)));
    };
    const auto number = [&](int rec, const char *col) {
        return DBFReadDoubleAttribute(dbf, rec, DBFGetFieldIndex(dbf, col));
    };
    EXPECT_EQ(text(0, "NAME"), "\xCC\xE5\xF7 \xFF\xF0\xEE\xF1\xF2\xE8");
    EXPECT_EQ(text(0, "TYPE"), "2hand");
    EXPECT_EQ(text(0, "RACE"), "Or");
    EXPECT_DOUBLE_EQ(number(0, "PRICE"), 1250.5);
    EXPECT_DOUBLE_EQ(number(0, "UROV"), 7);
    EXPECT_DOUBLE_EQ(number(0, "SILA"), 2);
    EXPECT_DOUBLE_EQ(number(0, "KORP"), 0.5);
    EXPECT_DOUBLE_EQ(number(0, "OB_UV_P"), -5);
    EXPECT_DOUBLE_EQ(number(0, "OB_KR_P"), -0.25);
    EXPECT_DOUBLE_EQ(number(0, "LOVKA"), 0);

    EXPECT_EQ(text(1, "NAME"), "\xCA\xEE\xEB\xFC\xF6\xEE \"\xC7\xEC\xE5\xFF\", \xEC\xE0\xEB\xEE\xE5");
    EXPECT_EQ(text(1, "RACE"), "El");
    EXPECT_DOUBLE_EQ(number(1, "UROV"), 13);
    // Letters outside the contiguous А..я block go through the table.
    EXPECT_EQ(text(2, "NAME"), "\xA8\xE6\xE8\xEA \xB9\x31 \x88");
    EXPECT_EQ(text(3, "NAME"), std::string(50, '\xDF'));
    EXPECT_DOUBLE_EQ(number(3, "OB_OTV"), 999999999.99);
    DBFClose(dbf);
}

TEST_F(Csv2Dbf, ReplacesOldTableAndDropsDisagreeingCpg)
{
    writeFile(io() / "Out.DBF", "stale bytes");
    writeFile(io() / "Out.cpg", "UTF-8");
    const RunResult r = convert(header() + "\n" + row() + "\n" + row({{"NAME", "Пояс"}}) + "\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(filesInIo(), (std::set<std::string>{"in.csv", "Out.DBF"}));
    DBFHandle dbf = DBFOpen((io() / "Out.DBF").string().c_str(), "rb");
    ASSERT_NE(dbf, nullptr);
    EXPECT_EQ(DBFGetRecordCount(dbf), 2);
    DBFClose(dbf);
}

struct BadCase {
    const char *label;
    std::string csv;
    int line;
    std::string reason;
};

void PrintTo(const BadCase &c, std::ostream *os) { *os << c.label; }

std::string longName(int letters)
{
    std::string s;
    for (int i = 0; i < letters; ++i)
        s += "ж";
    return s;
}

std::string reorderedHeader()
{
    std::string h = header();
    h.replace(h.find("SILA,LOVKA"), 10, "LOVKA,SILA");
    return h;
}

const std::string H = header() + "\n";
const std::string G = row() + "\n";

const BadCase kBadCases[] = {
    {"TooFewColumns", H + G + row().substr(0, row().rfind(',')) + "\n", 3, "expected 27 columns, found 26"},
    {"TooManyColumns", H + row() + ",0\n", 2, "expected 27 columns, found 28"},
    {"BlankLineInside", H + "\n" + G, 2, "expected 27 columns, found 1"},
    {"HeaderMisspelled",
     [] {
         auto h = header();
         h.replace(h.find("SILA"), 4, "SILLA");
         return h;
     }() +
         "\n" + G,
     1, "header must be exactly TYPE,NAME,PRICE"},
    {"HeaderReordered", reorderedHeader() + "\n" + G, 1, "header must be exactly"},
    {"EmptyFile", "", 1, "empty file"},
    {"WordInNumber", H + G + row({{"UROV", "abc"}}) + "\n", 3, "UROV: \"abc\" is not a number"},
    {"Exponent", H + row({{"PRICE", "1e3"}}) + "\n", 2, "PRICE: \"1e3\" is not a number"},
    {"DecimalComma", H + row({{"SILA", "\"1,5\""}}) + "\n", 2, "SILA: \"1,5\" is not a number"},
    {"LeadingSpace", H + row({{"REAK", " 5"}}) + "\n", 2, "REAK: \" 5\" is not a number"},
    {"LoneSign", H + row({{"OB_UV_P", "-"}}) + "\n", 2, "OB_UV_P: \"-\" is not a number"},
    {"TrailingDot", H + row({{"KORP", "5."}}) + "\n", 2, "KORP: \"5.\" is not a number"},
    {"TooManyDecimals", H + row({{"GOLOVA", "0.125"}}) + "\n", 2, "GOLOVA: \"0.125\" has more than 2 decimal places"},
    {"TooWide", H + row({{"PRICE", "1234567890"}}) + "\n", 2, "PRICE: \"1234567890\" does not fit in 12 characters"},
    {"NotInCp1251", H + row({{"NAME", "Меч 龍"}}) + "\n", 2, "NAME: character U+9F8D has no Windows-1251 code"},
    {"Emoji", H + G + row({{"NAME", "Кольцо 💍"}}) + "\n", 3, "NAME: character U+1F48D has no Windows-1251 code"},
    {"NameTooLong", H + row({{"NAME", longName(51)}}) + "\n", 2, "NAME: 51 bytes in Windows-1251, at most 50 allowed"},
    {"BrokenUtf8", H + row({{"TYPE", "ri\xFFng"}}) + "\n", 2, "TYPE: invalid UTF-8"},
    {"OverlongUtf8", H + row({{"NAME", "a\xC0\xAF"}}) + "\n", 2, "NAME: invalid UTF-8"},
    {"EmptyRace", H + row({{"RACE", ""}}) + "\n", 2, "RACE: empty"},
    {"TabInName", H + row({{"NAME", "Меч\tярости"}}) + "\n", 2, "NAME: control character U+0009"},
    {"UnclosedQuote", H + G + row({{"NAME", "\"Меч ярости"}}) + "\n" + G, 3, "quoted field is never closed"},
    {"QuoteInsideField", H + row({{"NAME", "Меч \"X\""}}) + "\n", 2, "quote inside an unquoted field"},
    {"TextAfterQuote", H + G + G + row({{"NAME", "\"Меч\"x"}}) + "\n", 4, "unexpected text after a closing quote"},
};

class Csv2DbfBad : public Csv2Dbf, public ::testing::WithParamInterface<BadCase>
{};

TEST_P(Csv2DbfBad, RefusedWithLineNumberAndNoOutput)
{
    const BadCase &c = GetParam();
    writeFile(io() / "bad.csv", c.csv);
    const RunResult r = run({(io() / "bad.csv").string(), (io() / "Out.DBF").string()});
    EXPECT_EQ(r.status, 1);
    const std::string where = (io() / "bad.csv").string() + ":" + std::to_string(c.line) + ": ";
    EXPECT_NE(r.err.find(where + c.reason), std::string::npos)
        << "stderr was: " << r.err << "\nexpected: " << where << c.reason;
    EXPECT_EQ(filesInIo(), std::set<std::string>{"bad.csv"});
}

INSTANTIATE_TEST_SUITE_P(Cases, Csv2DbfBad, ::testing::ValuesIn(kBadCases),
                         [](const auto &info) { return std::string(info.param.label); });

TEST_F(Csv2Dbf, ReportsEveryBadRowAndCountsLinesInsideQuotes)
{
    // The quoted line break belongs to line 2's record, so the next record
    // starts on line 4.
    const std::string csv =
        H + row({{"NAME", "\"Меч\nярости\""}}) + "\n" + row({{"UROV", "x"}}) + "\n" + G + row({{"SILA", "y"}}) + "\n";
    writeFile(io() / "bad.csv", csv);
    const RunResult r = run({(io() / "bad.csv").string(), (io() / "Out.DBF").string()});
    EXPECT_EQ(r.status, 1);
    const std::string p = (io() / "bad.csv").string();
    EXPECT_NE(r.err.find(p + ":2: NAME: control character U+000A"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(p + ":4: UROV: \"x\" is not a number"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(p + ":6: SILA: \"y\" is not a number"), std::string::npos) << r.err;
    EXPECT_EQ(filesInIo(), std::set<std::string>{"bad.csv"});
}

TEST_F(Csv2Dbf, BadInputKeepsPreviousTable)
{
    writeFile(io() / "Out.DBF", "previous");
    const RunResult r = convert(H + row({{"UROV", "?"}}) + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(readFile(io() / "Out.DBF"), "previous");
}

TEST_F(Csv2Dbf, UsageAndHelp)
{
    const RunResult help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: csv2dbf"), std::string::npos);
    EXPECT_NE(help.out.find(header()), std::string::npos) << "help lists the header";

    EXPECT_EQ(run({}).status, 2);
    EXPECT_EQ(run({"only.csv"}).status, 2);
    EXPECT_EQ(run({"a.csv", "b.DBF", "c"}).status, 2);
    const RunResult bogus = run({"--bogus", "a.csv", "b.DBF"});
    EXPECT_EQ(bogus.status, 2);
    EXPECT_NE(bogus.err.find("bogus"), std::string::npos);

    const RunResult missing = run({(io() / "nope.csv").string(), (io() / "Out.DBF").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("nope.csv: cannot open"), std::string::npos) << missing.err;
    EXPECT_TRUE(filesInIo().empty());
}

TEST_F(Csv2Dbf, ShippedCatalogueConverts)
{
    const RunResult r = run({VESTOR_SOURCE_DIR "/data/Subjects.csv", (io() / "Subjects.DBF").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    DBFHandle dbf = DBFOpen((io() / "Subjects.DBF").string().c_str(), "rb");
    ASSERT_NE(dbf, nullptr);
    const int n = DBFGetRecordCount(dbf);
    EXPECT_GE(n, 150);

    const int fType = DBFGetFieldIndex(dbf, "TYPE"), fName = DBFGetFieldIndex(dbf, "NAME");
    const int fRace = DBFGetFieldIndex(dbf, "RACE"), fUrov = DBFGetFieldIndex(dbf, "UROV");
    const int fPrice = DBFGetFieldIndex(dbf, "PRICE");
    const std::set<std::string> types = {"2hand",  "armor",  "ponogi", "ring", "pojas",
                                         "perchi", "helmet", "amulet", "lats"};
    const std::set<std::string> races = {"El", "Hm", "Gn", "Or", "Hb", "Dr", "No"};
    std::map<std::string, int> perType, perRace;
    std::map<std::string, std::pair<double, double>> levelRange;
    std::set<std::string> names;
    for (int i = 0; i < n; ++i) {
        const std::string type = DBFReadStringAttribute(dbf, i, fType);
        const std::string name = DBFReadStringAttribute(dbf, i, fName);
        const std::string race = DBFReadStringAttribute(dbf, i, fRace);
        const double urov = DBFReadDoubleAttribute(dbf, i, fUrov);
        SCOPED_TRACE("record " + std::to_string(i + 1));
        EXPECT_TRUE(types.count(type)) << type;
        EXPECT_TRUE(races.count(race)) << race;
        EXPECT_TRUE(urov >= 1 && urov <= 13 && urov == static_cast<int>(urov)) << urov;
        EXPECT_GT(DBFReadDoubleAttribute(dbf, i, fPrice), 0);
        EXPECT_TRUE(names.insert(name).second) << "duplicate item name";
        ++perType[type];
        ++perRace[race];
        auto [it, fresh] = levelRange.try_emplace(type, urov, urov);
        it->second.first = std::min(it->second.first, urov);
        it->second.second = std::max(it->second.second, urov);
    }
    DBFClose(dbf);

    EXPECT_EQ(perType.size(), types.size());
    EXPECT_EQ(perRace.size(), races.size());
    for (const auto &[race, count] : perRace)
        EXPECT_GE(count, 3) << race;
    // Each slot must offer something to a newcomer and to a veteran.
    for (const auto &[type, range] : levelRange) {
        EXPECT_LE(range.first, 3) << type;
        EXPECT_GE(range.second, 11) << type;
    }
}

} // namespace
