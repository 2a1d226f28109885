#include "catalogue/ItemCsv.h"

#include "catalogue/Error.h"
#include "catalogue/IoFailure.h"

#include <QFileDevice>

#include <algorithm>
#include <charconv>

namespace vestor {

namespace {

constexpr qint64 kReadChunk = 64 * 1024;
constexpr QByteArrayView kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(const std::vector<QByteArray> &cells) { return cells.size() == 1 && cells.front().isEmpty(); }

QString columnName(int column) { return QString::fromLatin1(kItemColumns[std::size_t(column)].name); }

QString quotedText(QByteArrayView cell) { return u'"' + QString::fromUtf8(cell) + u'"'; }

// An optional sign, digits, then at most two fraction digits: anything looser
// would be rounded or misread by the fixed-width numeric column, which must
// also hold the number written with two decimals.
std::optional<QString> numberProblem(QByteArrayView s)
{
    qsizetype i = 0;
    const bool signed_ = i < s.size() && (s[i] == '+' || s[i] == '-');
    if (signed_)
        ++i;
    const qsizetype intStart = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i;
    const qsizetype intEnd = i;
    bool ok = i > intStart;
    if (ok && i < s.size() && s[i] == '.') {
        const qsizetype fracStart = ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i;
        if (i == fracStart)
            ok = false;
        else if (i - fracStart > kItemNumberDecimals && i == s.size())
            return quotedText(s) + QStringLiteral(" has more than %1 decimal places").arg(kItemNumberDecimals);
    }
    if (!ok || i != s.size())
        return quotedText(s) + QStringLiteral(" is not a number");
    qsizetype digits = intEnd - intStart;
    while (digits > 1 && s[intEnd - digits] == '0')
        --digits; // leading zeros are not written
    const qsizetype written = (s.front() == '-' ? 1 : 0) + digits + 1 + kItemNumberDecimals;
    if (written > kItemNumberWidth)
        return quotedText(s) + QStringLiteral(" does not fit in %1 characters").arg(kItemNumberWidth);
    return std::nullopt;
}

std::optional<double> parseNumberCell(QByteArrayView s, QString &problem)
{
    if (auto bad = numberProblem(s)) {
        problem = *bad;
        return std::nullopt;
    }
    // from_chars takes no leading '+'.
    const QByteArrayView digits = s.startsWith('+') ? s.sliced(1) : s;
    double value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

// Whether a spreadsheet would run the cell as a formula once one ' is taken
// off it (or at once, when `quotes` is 0): ' as often as `quotes` asks at
// least, then one of = + - @ TAB CR.
bool runsAsFormula(QByteArrayView cell, qsizetype quotes)
{
    qsizetype i = 0;
    while (i < cell.size() && cell[i] == '\'')
        ++i;
    return i >= quotes && i < cell.size() && QByteArrayView("=+-@\t\r").contains(cell[i]);
}

// Control characters (C0, DEL, C1) as \xNN.
QString escapedControls(const QString &text)
{
    QString out;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QByteArray csvCell(const QByteArray &utf8)
{
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\n') && !utf8.contains('\r'))
        return utf8;
    QByteArray quoted = utf8;
    quoted.replace("\"", "\"\"");
    return '"' + quoted + '"';
}

// The shortest text that reads back as exactly `value`, never in exponent form.
QByteArray shortestNumber(double value)
{
    char text[400];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return QByteArray(text, written.ec == std::errc() ? written.ptr - text : 0);
}

} // namespace

std::optional<double> parseItemNumber(QByteArrayView cell, QString &problem) { return parseNumberCell(cell, problem); }

QByteArray itemCsvHeader()
{
    QByteArray header;
    for (const ItemColumn &c : kItemColumns)
        header += (header.isEmpty() ? "" : ",") + QByteArray(c.name);
    return header;
}

ItemCsvReader::ItemCsvReader(QIODevice &device, const QString &name) : device_(device), name_(name) {}

QString ItemCsvReader::where(int line) const { return name_ + u':' + QString::number(line); }

void ItemCsvReader::fail(int line, const QString &reason) const
{
    throw Error(where(line) + QStringLiteral(": ") + reason);
}

bool ItemCsvReader::fill()
{
    if (atEnd_)
        return false;
    buffer_.resize(kReadChunk);
    qint64 got = 0;
    if (const QString failure =
            ioFailure(device_, [&] { return (got = device_.read(buffer_.data(), kReadChunk)) >= 0; });
        !failure.isEmpty())
        fail(line_, QStringLiteral("cannot read: ") + failure);
    buffer_.resize(got);
    pos_ = 0;
    atEnd_ = got == 0;
    return !atEnd_;
}

int ItemCsvReader::peek()
{
    if (pos_ == buffer_.size() && !fill())
        return -1;
    return static_cast<unsigned char>(buffer_[pos_]);
}

void ItemCsvReader::count(qsizetype bytes)
{
    recordBytes_ += bytes;
    if (recordBytes_ > kMaxLineBytes)
        fail(line_, QStringLiteral("a line of more than %1 bytes: this is not an item list").arg(kMaxLineBytes));
}

int ItemCsvReader::take()
{
    const int c = peek();
    if (c < 0)
        return c;
    ++pos_;
    if (c == 0)
        fail(line_, QStringLiteral("a NUL byte: this is not a text file"));
    count(1);
    return c;
}

void ItemCsvReader::readQuoted(QByteArray &field)
{
    const int quoteLine = line_;
    take();
    for (;;) {
        const int c = take();
        if (c < 0)
            fail(quoteLine, QStringLiteral("quoted field is never closed"));
        if (c == '"') {
            if (peek() != '"')
                break;
            take();
        } else if (c == '\n') {
            ++line_;
        }
        field += char(c);
    }
    const int after = peek();
    if (after >= 0 && after != ',' && after != '\n' && after != '\r')
        fail(line_, QStringLiteral("unexpected text after a closing quote"));
}

void ItemCsvReader::readField(QByteArray &field)
{
    if (peek() == '"')
        return readQuoted(field);
    // The usual cell, taken a buffer at a time up to whatever ends it.
    const auto special = [](char c) { return c == ',' || c == '\n' || c == '\r' || c == '"' || c == '\0'; };
    while (peek() >= 0) {
        const char *begin = buffer_.constData() + pos_;
        const char *end = buffer_.constData() + buffer_.size();
        const char *stop = std::find_if(begin, end, special);
        count(stop - begin);
        field.append(begin, stop - begin);
        pos_ += stop - begin;
        if (stop == end)
            continue;
        if (*stop == '"')
            fail(line_, QStringLiteral("quote inside an unquoted field"));
        if (*stop == '\0')
            take(); // refuses it
        return;
    }
}

// One record's cells into `cells`, reusing their storage (RFC 4180: quoted
// cells may hold commas, doubled quotes and line breaks); false at the end
// of the input.
bool ItemCsvReader::readRecord(std::vector<QByteArray> &cells)
{
    if (peek() < 0)
        return false;
    std::size_t n = 0;
    for (;;) {
        if (n == cells.size())
            cells.emplace_back();
        QByteArray &cell = cells[n++];
        cell.resize(0);
        readField(cell);
        const int c = peek();
        if (c == ',') {
            take();
            continue;
        }
        if (c >= 0) {
            take();
            if (c == '\r' && peek() == '\n')
                take();
            ++line_;
        }
        cells.resize(n);
        return true;
    }
}

void ItemCsvReader::checkHeader()
{
    headerRead_ = true;
    if (fill() && QByteArrayView(buffer_).startsWith(kByteOrderMark))
        pos_ = kByteOrderMark.size();
    if (!readRecord(cells_))
        fail(1, QStringLiteral("empty file, header expected"));
    QByteArray joined;
    for (const QByteArray &cell : cells_)
        joined += (joined.isEmpty() ? "" : ",") + cell;
    if (cells_.size() != std::size_t(kItemColumnCount) || joined != itemCsvHeader())
        fail(1, QStringLiteral("header must be exactly ") + QString::fromLatin1(itemCsvHeader()));
}

std::optional<ItemCsvReader::Row> ItemCsvReader::next()
{
    if (!headerRead_)
        checkHeader();
    recordBytes_ = 0;
    int line = line_;
    if (havePending_) {
        std::swap(cells_, pendingCells_);
        line = pendingLine_;
        havePending_ = false;
    } else if (!readRecord(cells_)) {
        return std::nullopt;
    }
    if (isBlank(cells_)) {
        // Blank lines may end the file; before another row one is a fault.
        // A run of them counts as one line against the length bound.
        do {
            pendingLine_ = line_;
            havePending_ = readRecord(pendingCells_);
        } while (havePending_ && isBlank(pendingCells_));
        if (!havePending_)
            return std::nullopt;
    }
    return convert(line, cells_);
}

void ItemCsvReader::convertCell(int column, const QByteArray &cell, Row &row)
{
    QString problem;
    if (isTextColumn(column)) {
        QString text = utf8_.decode(runsAsFormula(cell, 1) ? QByteArrayView(cell).sliced(1) : QByteArrayView(cell));
        if (utf8_.hasError()) {
            utf8_.resetState();
            problem = QStringLiteral("invalid UTF-8");
        }
        row.record.text(column) = text;
    } else if (!cell.isEmpty()) {
        row.record.number(column) = parseItemNumber(cell, problem);
    }
    if (!problem.isEmpty())
        row.problems.push_back(where(row.line) + QStringLiteral(": ") + columnName(column) + QStringLiteral(": ") +
                               problem);
}

ItemCsvReader::Row ItemCsvReader::convert(int line, const std::vector<QByteArray> &cells)
{
    Row row;
    row.line = line;
    if (cells.size() != std::size_t(kItemColumnCount)) {
        row.problems.push_back(
            where(line) + QStringLiteral(": expected %1 columns, found %2").arg(kItemColumnCount).arg(cells.size()));
        return row;
    }
    for (int c = 0; c < kItemColumnCount; ++c)
        convertCell(c, cells[std::size_t(c)], row);
    // A cell already refused as broken UTF-8 is not judged again.
    const auto alreadyRefused = [&](const QString &problem) {
        return std::ranges::any_of(row.problems, [&](const QString &p) {
            return p.sliced(where(line).size() + 2).section(u':', 0, 0) == problem.section(u':', 0, 0);
        });
    };
    for (const QString &p : encodeItemTexts(row.record).problems)
        if (!alreadyRefused(p))
            row.problems.push_back(where(line) + QStringLiteral(": ") + p);
    if (row.problems.empty())
        for (const QString &w : itemRecordWarnings(row.record))
            row.warnings.push_back(where(line) + QStringLiteral(": ") + w);
    return row;
}

ItemCsvWriter::ItemCsvWriter(QIODevice &device, const QString &name, ItemCsvStyle style)
    : device_(device), name_(name), style_(style)
{
    put(itemCsvHeader() + '\n');
}

void ItemCsvWriter::put(const QByteArray &bytes)
{
    if (const QString failure = ioFailure(device_, [&] { return device_.write(bytes) == bytes.size(); });
        !failure.isEmpty())
        throw Error(QStringLiteral("%1: cannot write: %2").arg(name_, failure));
}

void ItemCsvWriter::write(const ItemRecord &record)
{
    line_.clear();
    for (int c = 0; c < kItemColumnCount; ++c) {
        if (c > 0)
            line_ += ',';
        if (isTextColumn(c))
            line_ += textCell(record.text(c));
        else if (const auto &value = record.number(c))
            line_ += shortestNumber(*value);
    }
    line_ += '\n';
    put(line_);
}

QByteArray ItemCsvWriter::textCell(const QString &text) const
{
    QByteArray utf8 = (style_.escapeControls ? escapedControls(text) : text).toUtf8();
    if (!style_.raw && runsAsFormula(utf8, 0))
        utf8.prepend('\'');
    return csvCell(utf8);
}

void ItemCsvWriter::finish()
{
    auto *file = qobject_cast<QFileDevice *>(&device_);
    if (const QString failure = file ? ioFailure(*file, [&] { return file->flush(); }) : QString(); !failure.isEmpty())
        throw Error(QStringLiteral("%1: cannot write: %2").arg(name_, failure));
}

} // namespace vestor
