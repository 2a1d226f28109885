// csv2dbf: turns the UTF-8 item catalogue (CSV) into the dBase III table the
// program reads at start-up. The CSV is what people edit; the .DBF is built.

#include "Columns.h"

#include <shapefil.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The item table's columns, as the program declares them.
const auto &kColumns = vestor::kItemColumns;

constexpr int kTextWidth = 50;
constexpr int kNumberWidth = 12;
constexpr int kNumberDecimals = 2;
constexpr unsigned char kLdidCp1251 = 0xC9;
constexpr int kMaxReportedErrors = 50;

bool isTextColumn(std::size_t i) { return kColumns[i].kind == vestor::ColumnKind::String; }

// Windows-1251 bytes 0x80..0xFF; 0 marks the one unassigned byte (0x98).
constexpr std::array<char32_t, 128> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0000, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

std::optional<char> toCp1251(char32_t c)
{
    if (c < 0x80)
        return static_cast<char>(c);
    for (std::size_t i = 0; i < kCp1251High.size(); ++i)
        if (kCp1251High[i] == c)
            return static_cast<char>(0x80 + i);
    return std::nullopt;
}

std::string codePointName(char32_t c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
    return buf;
}

// Decodes UTF-8 strictly (no overlongs, no surrogates) and re-encodes as
// Windows-1251; on failure `error` says why and the result is empty.
std::string utf8ToCp1251(std::string_view in, std::string &error)
{
    std::string out;
    std::size_t i = 0;
    while (i < in.size()) {
        const auto b0 = static_cast<unsigned char>(in[i]);
        char32_t c = 0;
        std::size_t len = 0;
        char32_t min = 0;
        if (b0 < 0x80) {
            c = b0;
            len = 1;
        } else if ((b0 & 0xE0) == 0xC0) {
            c = b0 & 0x1F;
            len = 2;
            min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            c = b0 & 0x0F;
            len = 3;
            min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            c = b0 & 0x07;
            len = 4;
            min = 0x10000;
        } else {
            error = "invalid UTF-8";
            return {};
        }
        if (i + len > in.size()) {
            error = "invalid UTF-8";
            return {};
        }
        for (std::size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(in[i + k]);
            if ((b & 0xC0) != 0x80) {
                error = "invalid UTF-8";
                return {};
            }
            c = (c << 6) | (b & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            error = "invalid UTF-8";
            return {};
        }
        if (c < 0x20 || c == 0x7F) {
            error = "control character " + codePointName(c);
            return {};
        }
        const auto b = toCp1251(c);
        if (!b) {
            error = "character " + codePointName(c) + " has no Windows-1251 code";
            return {};
        }
        out += *b;
        i += len;
    }
    return out;
}

// Optional sign, digits, then at most two fraction digits: anything looser
// would be rounded or misread by the fixed-width numeric column.
std::optional<double> parseNumber(std::string_view s, std::string &error)
{
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    const std::size_t intStart = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i;
    bool ok = i > intStart;
    if (ok && i < s.size() && s[i] == '.') {
        const std::size_t fracStart = ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i;
        if (i == fracStart) {
            ok = false;
        } else if (i - fracStart > kNumberDecimals && i == s.size()) {
            error = "\"" + std::string(s) + "\" has more than 2 decimal places";
            return std::nullopt;
        }
    }
    if (!ok || i != s.size()) {
        error = s.empty() ? std::string("empty number") : "\"" + std::string(s) + "\" is not a number";
        return std::nullopt;
    }
    // from_chars rejects a leading '+'.
    std::string_view digits = s.front() == '+' ? s.substr(1) : s;
    double v = 0;
    const auto res = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, "%.*f", kNumberDecimals, v);
    if (res.ec != std::errc() || n > kNumberWidth) {
        error = "\"" + std::string(s) + "\" does not fit in " + std::to_string(kNumberWidth) + " characters";
        return std::nullopt;
    }
    return v;
}

struct Record {
    int line = 0; // physical line the record starts on
    std::vector<std::string> fields;
};

struct CsvError {
    int line;
    std::string reason;
};

// RFC 4180 reader: quoted fields may hold commas, doubled quotes and line
// breaks; CRLF and LF both end a record.
bool readCsv(std::string_view text, std::vector<Record> &records, CsvError &err)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    int line = 1;
    std::size_t i = 0;
    while (i < text.size()) {
        Record rec;
        rec.line = line;
        std::string field;
        bool endOfRecord = false;
        while (!endOfRecord) {
            field.clear();
            if (i < text.size() && text[i] == '"') {
                const int quoteLine = line;
                ++i;
                for (;;) {
                    if (i >= text.size()) {
                        err = {quoteLine, "quoted field is never closed"};
                        return false;
                    }
                    const char c = text[i++];
                    if (c == '"') {
                        if (i < text.size() && text[i] == '"') {
                            field += '"';
                            ++i;
                        } else {
                            break;
                        }
                    } else {
                        if (c == '\n')
                            ++line;
                        field += c;
                    }
                }
                if (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r') {
                    err = {line, "unexpected text after a closing quote"};
                    return false;
                }
            } else {
                while (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r') {
                    if (text[i] == '"') {
                        err = {line, "quote inside an unquoted field"};
                        return false;
                    }
                    field += text[i++];
                }
            }
            rec.fields.push_back(field);
            if (i >= text.size()) {
                endOfRecord = true;
            } else if (text[i] == ',') {
                ++i;
            } else {
                if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                    ++i;
                ++i;
                ++line;
                endOfRecord = true;
            }
        }
        records.push_back(std::move(rec));
    }
    return true;
}

struct Row {
    std::array<std::string, vestor::kItemColumnCount> text; // cp1251, text columns only
    std::array<double, vestor::kItemColumnCount> number{};  // numeric columns only
};

std::string joinedColumns()
{
    std::string s;
    for (const auto &c : kColumns) {
        if (!s.empty())
            s += ',';
        s += c.name;
    }
    return s;
}

bool checkHeader(const Record &rec, std::string &reason)
{
    bool same = rec.fields.size() == kColumns.size();
    for (std::size_t i = 0; same && i < kColumns.size(); ++i)
        same = rec.fields[i] == kColumns[i].name;
    if (!same)
        reason = "header must be exactly " + joinedColumns();
    return same;
}

// Returns the reasons this record is unusable; empty when it is fine.
std::vector<std::string> convertRow(const Record &rec, Row &row)
{
    std::vector<std::string> problems;
    if (rec.fields.size() != kColumns.size()) {
        problems.push_back("expected " + std::to_string(kColumns.size()) + " columns, found " +
                           std::to_string(rec.fields.size()));
        return problems;
    }
    for (std::size_t i = 0; i < kColumns.size(); ++i) {
        const std::string &cell = rec.fields[i];
        const std::string col(kColumns[i].name);
        std::string error;
        if (isTextColumn(i)) {
            if (cell.empty()) {
                problems.push_back(col + ": empty");
                continue;
            }
            std::string encoded = utf8ToCp1251(cell, error);
            if (!error.empty())
                problems.push_back(col + ": " + error);
            else if (encoded.size() > kTextWidth)
                problems.push_back(col + ": " + std::to_string(encoded.size()) + " bytes in Windows-1251, at most " +
                                   std::to_string(kTextWidth) + " allowed");
            else
                row.text[i] = std::move(encoded);
        } else if (auto v = parseNumber(cell, error)) {
            row.number[i] = *v;
        } else {
            problems.push_back(col + ": " + error);
        }
    }
    return problems;
}

bool writeDbf(const fs::path &tmp, const std::vector<Row> &rows, std::string &error)
{
    DBFHandle dbf = DBFCreateEx(tmp.string().c_str(), "LDID/201");
    if (!dbf) {
        error = "cannot create " + tmp.string();
        return false;
    }
    bool ok = true;
    for (std::size_t i = 0; ok && i < kColumns.size(); ++i) {
        const std::string name(kColumns[i].name);
        const int idx = isTextColumn(i) ? DBFAddField(dbf, name.c_str(), FTString, kTextWidth, 0)
                                        : DBFAddField(dbf, name.c_str(), FTDouble, kNumberWidth, kNumberDecimals);
        ok = idx == static_cast<int>(i);
    }
    if (!ok)
        error = "cannot define the table columns";
    for (std::size_t r = 0; ok && r < rows.size(); ++r) {
        const int rec = static_cast<int>(r);
        for (std::size_t i = 0; ok && i < kColumns.size(); ++i) {
            const int f = static_cast<int>(i);
            ok = isTextColumn(i) ? DBFWriteStringAttribute(dbf, rec, f, rows[r].text[i].c_str())
                                 : DBFWriteDoubleAttribute(dbf, rec, f, rows[r].number[i]);
        }
        if (!ok)
            error = "cannot write record " + std::to_string(r + 1);
    }
    const std::time_t now = std::time(nullptr);
    if (const std::tm *t = std::localtime(&now))
        DBFSetLastModifiedDate(dbf, t->tm_year, t->tm_mon + 1, t->tm_mday);
    DBFClose(dbf);
    if (!ok)
        return false;

    // Readers pick the code page from this byte, so make sure it landed.
    std::ifstream in(tmp, std::ios::binary);
    unsigned char head[32] = {};
    if (!in.read(reinterpret_cast<char *>(head), sizeof head) || head[0] != 0x03 || head[29] != kLdidCp1251) {
        error = "written table has an unexpected header";
        return false;
    }
    return true;
}

// A .cpg beside the table overrides the language driver in most readers;
// one that names another code page would undo the conversion.
void removeStaleCpg(const fs::path &out)
{
    for (const char *ext : {".cpg", ".CPG"}) {
        fs::path cpg = out;
        cpg.replace_extension(ext);
        std::ifstream in(cpg);
        if (!in)
            continue;
        std::stringstream ss;
        ss << in.rdbuf();
        if (ss.str().find("1251") == std::string::npos) {
            std::error_code ec;
            fs::remove(cpg, ec);
        }
    }
}

void printHelp(std::ostream &os)
{
    os << "Usage: csv2dbf [--help] INPUT.csv OUTPUT.DBF\n"
          "\n"
          "Converts the item catalogue from CSV to a dBase III table.\n"
          "\n"
          "Input: UTF-8 text (a leading BOM is ignored), comma separated, RFC 4180\n"
          "quoting (\"a, b\", \"say \"\"hi\"\"\"), LF or CRLF line ends. The first line is\n"
          "the header and must be exactly:\n  "
       << joinedColumns()
       << "\n"
          "Every following line is one item with all 27 cells.\n"
          "  TYPE, NAME, RACE   text, non-empty, must exist in Windows-1251 and take\n"
          "                     at most 50 bytes there\n"
          "  all other columns  numbers: optional sign, digits, optional '.' and up\n"
          "                     to 2 fraction digits (e.g. 12, -5, 0.5); never empty\n"
          "\n"
          "Output: character fields of width 50, numeric fields N(12,2), language\n"
          "driver 0xC9 (Windows-1251). The file is replaced only when the whole\n"
          "input is valid.\n"
          "\n"
          "Exit status: 0 done, 1 bad input or I/O failure (messages as\n"
          "INPUT:LINE: reason), 2 wrong usage.\n";
}

int usageError(const std::string &msg)
{
    std::cerr << "csv2dbf: " << msg << "\nTry 'csv2dbf --help'.\n";
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            printHelp(std::cout);
            return 0;
        }
        if (a.size() > 1 && a[0] == '-')
            return usageError("unknown option '" + a + "'");
        args.push_back(a);
    }
    if (args.size() != 2)
        return usageError("expected INPUT.csv and OUTPUT.DBF");
    const fs::path input = args[0];
    const fs::path output = args[1];
    const std::string where = input.string();

    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::cerr << input.string() << ": cannot open: " << std::strerror(errno) << '\n';
        return 1;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();

    std::vector<Record> records;
    CsvError csvErr;
    if (!readCsv(text, records, csvErr)) {
        std::cerr << where << ':' << csvErr.line << ": " << csvErr.reason << '\n';
        return 1;
    }
    if (records.empty()) {
        std::cerr << where << ":1: empty file, header expected\n";
        return 1;
    }
    std::string reason;
    if (!checkHeader(records.front(), reason)) {
        std::cerr << where << ':' << records.front().line << ": " << reason << '\n';
        return 1;
    }

    std::vector<Row> rows;
    int errors = 0;
    for (std::size_t r = 1; r < records.size(); ++r) {
        Row row;
        for (const std::string &p : convertRow(records[r], row)) {
            if (++errors <= kMaxReportedErrors)
                std::cerr << where << ':' << records[r].line << ": " << p << '\n';
        }
        rows.push_back(std::move(row));
    }
    if (errors > 0) {
        if (errors > kMaxReportedErrors)
            std::cerr << where << ": " << errors - kMaxReportedErrors << " more errors\n";
        return 1;
    }

    // shapelib forces a lower-case ".dbf" suffix, so build under a private
    // name and rename: that also keeps a failed run from leaving half a table.
    fs::path tmp = output;
    tmp.replace_filename(output.stem().string() + ".csv2dbf-tmp.dbf");
    std::string error;
    if (!writeDbf(tmp, rows, error)) {
        std::error_code ec;
        fs::remove(tmp, ec);
        std::cerr << output.string() << ": " << error << '\n';
        return 1;
    }
    std::error_code ec;
    fs::rename(tmp, output, ec);
    if (ec) {
        fs::remove(tmp, ec);
        std::cerr << output.string() << ": cannot replace: " << ec.message() << '\n';
        return 1;
    }
    removeStaleCpg(output);
    return 0;
}
