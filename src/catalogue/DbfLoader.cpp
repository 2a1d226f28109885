// The table's records: numbers parsed, text decoded, columns filled.
#include "catalogue/DbfLoader.h"

#include "catalogue/CodePage.h"
#include "catalogue/DbfFile.h"

#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace vestor {

namespace {

const char *kindName(char type)
{
    switch (type) {
    case 'C':
        return "String";
    case 'N':
    case 'F':
        return "Float";
    case 'D':
        return "Date";
    case 'L':
        return "Boolean";
    case 'M':
        return "Memo";
    case 'G':
        return "Graphic";
    case 'B':
        return "Binary";
    case 'I':
        return "Integer";
    case 'Y':
        return "Currency";
    case 'T':
    case '@':
        return "DateTime";
    case '+':
        return "AutoInc";
    case 'O':
        return "Double";
    default:
        return "Unknown";
    }
}

// Fields are padded with blanks (or NULs) to their width, most of it in
// whole words of eight: skip those a word at a time.
constexpr std::uint64_t kBlanks = 0x2020202020202020ULL;

std::uint64_t word(const char *p)
{
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// Whether n bytes at a and b are the same; fields of 8 to 16 bytes take two word compares.
bool sameBytes(const char *a, const char *b, std::size_t n)
{
    if (n >= 8 && n <= 16)
        return word(a) == word(b) && word(a + n - 8) == word(b + n - 8);
    return std::memcmp(a, b, n) == 0;
}

// The end of [b, e) without its trailing blanks and NULs.
const char *trimPadding(const char *b, const char *e)
{
    while (e - b >= 8 && (word(e - 8) == kBlanks || word(e - 8) == 0))
        e -= 8;
    while (e > b && (e[-1] == ' ' || e[-1] == '\0'))
        --e;
    return e;
}

// The start of [b, e) without its leading blanks and NULs.
const char *skipPadding(const char *b, const char *e)
{
    while (e - b >= 8 && (word(b) == kBlanks || word(b) == 0))
        b += 8;
    while (b < e && (*b == ' ' || *b == '\0'))
        ++b;
    return b;
}

enum class Parsed { Null, Number, Garbage };

// dBase numbers are right-aligned decimal text. Blank means no value; anything
// that is not a plain finite decimal number (with an optional exponent, as
// type F writers use) is refused rather than guessed at.
Parsed parseNumber(QByteArrayView field, double &value)
{
    const char *e = trimPadding(field.data(), field.data() + field.size());
    const char *b = skipPadding(field.data(), e);
    if (b == e)
        return Parsed::Null;
    // from_chars takes no '+' but would take "inf" and "nan": neither is a dBase number.
    const bool plus = *b == '+';
    const char *digits = b + (*b == '+' || *b == '-');
    if (digits == e || !(*digits == '.' || (*digits >= '0' && *digits <= '9')))
        return Parsed::Garbage;
    // Most fields are short plain decimals ("12.50"): with at most 15 digits
    // both the digits and the power of ten are exact doubles, so one division
    // rounds exactly as from_chars would. Trailing zeros of the fraction are
    // left out, so "12.00" needs no division at all.
    static constexpr double kPowers[] = {1,   1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::uint64_t mantissa = 0;
    int count = 0, fraction = 0, zeros = 0;
    bool point = false;
    const char *p = digits;
    for (; p < e && count <= 15; ++p) {
        if (*p >= '0' && *p <= '9') {
            ++count;
            if (point && *p == '0') {
                ++zeros;
                continue;
            }
            for (; zeros > 0; --zeros, ++fraction)
                mantissa *= 10;
            mantissa = mantissa * 10 + std::uint64_t(*p - '0');
            fraction += point;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (p == e && count > 0 && count <= 15) {
        const double v = fraction ? double(mantissa) / kPowers[fraction] : double(mantissa);
        value = *b == '-' ? -v : v;
        return Parsed::Number;
    }
    const auto [end, ec] = std::from_chars(plus ? b + 1 : b, e, value, std::chars_format::general);
    if (ec != std::errc() || end != e)
        return Parsed::Garbage;
    return Parsed::Number;
}

// A text field ends at its first NUL; the blanks before that are padding.
QByteArrayView trimText(QByteArrayView field)
{
    const char *b = field.data();
    const char *e = trimPadding(b, b + field.size());
    // Padding is mostly trailing: drop it first, then look for a NUL in what is left.
    if (const void *nul = std::memchr(b, '\0', std::size_t(e - b))) {
        e = static_cast<const char *>(nul);
        while (e > b && e[-1] == ' ')
            --e;
    }
    return QByteArrayView(b, e - b);
}

// Where a declared column's values stand in a record.
struct Source {
    int offset;
    int width;
    ColumnKind kind;
    const char *name;
    std::string zero; // how the column's writer spells 0 ("        0.00"), to spot it at once
};

// The file's field for a declared column, checked by name and kind.
const DbfField &declaredField(const DbfHeader &header, const ItemColumn &column)
{
    const QString name = QString::fromLatin1(column.name);
    const auto it = std::find_if(header.fields.rbegin(), header.fields.rend(),
                                 [&](const DbfField &f) { return f.name.compare(name, Qt::CaseInsensitive) == 0; });
    if (it == header.fields.rend())
        throw Error(QStringLiteral("Field '%1' not found").arg(name));
    const bool fits = column.kind == ColumnKind::String ? it->type == 'C' : (it->type == 'N' || it->type == 'F');
    if (!fits)
        throw Error(QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
                        .arg(name, column.kind == ColumnKind::String ? "String" : "Float", kindName(it->type)));
    return *it;
}

// Every declared column mapped onto the file's field.
std::vector<Source> mapColumns(const DbfHeader &header, std::span<const ItemColumn> declared)
{
    std::vector<Source> sources;
    for (const ItemColumn &column : declared) {
        const DbfField &f = declaredField(header, column);
        std::string zero = f.decimals > 0 ? "0." + std::string(std::size_t(f.decimals), '0') : "0";
        if (int(zero.size()) <= f.width)
            zero.insert(0, std::size_t(f.width) - zero.size(), ' ');
        else
            zero.clear();
        sources.push_back({f.offset, f.width, column.kind, column.name, std::move(zero)});
    }
    return sources;
}

// The declared column of the item type, which the store indexes while loading.
int typeColumnOf(std::span<const ItemColumn> declared)
{
    for (std::size_t i = 0; i < declared.size(); ++i)
        if (std::string_view(declared[i].name) == kTypeColumnName)
            return int(i);
    return -1;
}

constexpr char kLiveRecord = ' ';
constexpr char kDeletedRecord = '*';
constexpr qint64 kBlockBytes = 4 << 20; // read at once; progress is told once per block

// Parts of the record range read side by side: as asked, else one per core
// for tables big enough to gain from it, never more than the records.
int partCount(const DbfHeader &header, int threads)
{
    constexpr qint64 kBytesPerPart = 8 << 20;
    if (threads <= 0) {
        const qint64 bytes = qint64(header.recordCount) * header.recordLength;
        threads = int(std::clamp<qint64>(bytes / kBytesPerPart, 1, std::max(1u, std::thread::hardware_concurrency())));
    }
    return int(std::clamp<std::int64_t>(header.recordCount, 1, threads));
}

// Reads ranges of the records after the header, in file order, into stores.
// Every range is read by the same checks; nothing here changes while reading.
class RecordReader
{
public:
    RecordReader(const QString &path, const DbfHeader &header, std::vector<Source> sources)
        : fileName_(QFileInfo(path).fileName()), header_(header), sources_(std::move(sources)),
          codePage_(dbfCodePage(path, header.languageDriver).constData())
    {
    }

    // Records [first, end) into `store`, block by block; `blockRead(bytes)`
    // before each block but the first is told the bytes of the one before.
    // Stops early, its work wasted, once `stop()` is true.
    template <typename BlockRead, typename Stop>
    void read(const TableFile &file, std::uint32_t first, std::uint32_t end, ItemStore::Builder &store,
              BlockRead &&blockRead, Stop &&stop) const
    {
        const std::uint32_t perBlock = std::max<std::uint32_t>(1, std::uint32_t(kBlockBytes / header_.recordLength));
        QByteArray buffer;
        for (std::uint32_t at = first; at < end && !stop(); at += perBlock) {
            const std::uint32_t count = std::min(perBlock, end - at);
            const qint64 offset = header_.headerLength + qint64(at) * header_.recordLength;
            const QByteArrayView block = file.read(offset, qint64(count) * header_.recordLength, buffer);
            for (std::uint32_t i = 0; i < count; ++i)
                readRecord(block, at + i, i, store);
            blockRead(qint64(count) * header_.recordLength);
        }
    }

private:
    void readRecord(QByteArrayView block, std::uint32_t record, std::uint32_t inBlock, ItemStore::Builder &store) const
    {
        const qsizetype at = qsizetype(inBlock) * header_.recordLength;
        if (block.size() < at + header_.recordLength)
            throw damagedTable(fileName_, QStringLiteral("record %1 cannot be read").arg(record + 1));
        const char *bytes = block.data() + at;
        if (bytes[0] == kDeletedRecord)
            return;
        // Anything else (a zeroed tail, a hole in a sparse file) is no record at all.
        if (bytes[0] != kLiveRecord)
            throw damagedTable(fileName_, QStringLiteral("record %1 is marked neither live nor deleted (its "
                                                         "first byte is 0x%2)")
                                              .arg(record + 1)
                                              .arg(std::uint8_t(bytes[0]), 2, 16, QChar(u'0')));
        store.addRow(std::int64_t(record) + 1, [&](ItemStore::Builder::Row &row) {
            for (const Source &s : sources_)
                readField(s, QByteArrayView(bytes + s.offset, s.width), record, row);
        });
    }

    void readField(const Source &s, QByteArrayView field, std::uint32_t record, ItemStore::Builder::Row &row) const
    {
        if (s.kind == ColumnKind::String) {
            row.text([&](std::string &out) { codePage_.decodeText(trimText(field), out); });
            return;
        }
        // Most stats of most items are 0.
        if (!s.zero.empty() && sameBytes(field.data(), s.zero.data(), s.zero.size())) {
            row.number(0.0);
            return;
        }
        double number = 0;
        switch (parseNumber(field, number)) {
        case Parsed::Null:
            row.number(ItemStore::kNull);
            break;
        case Parsed::Number:
            row.number(number);
            break;
        case Parsed::Garbage:
            throw damagedTable(fileName_, QStringLiteral("field %1 of record %2 holds '%3', which is not a number")
                                              .arg(QString::fromLatin1(s.name))
                                              .arg(record + 1)
                                              .arg(printable(field).trimmed()));
        }
    }

    QString fileName_;
    const DbfHeader &header_;
    std::vector<Source> sources_;
    CodePage codePage_;
};

// The header of the open table, checked.
DbfHeader readHeader(const TableFile &file, const QString &fileName)
{
    QByteArray head;
    file.read(0, kFileHeaderSize, head);
    if (head.size() == kFileHeaderSize && le16(head, 8) > kFileHeaderSize)
        file.read(0, le16(head, 8), head);
    return checkDbfHeader(head, std::uint64_t(file.size()), fileName);
}

} // namespace

std::shared_ptr<const ItemStore> loadDbfTable(const QString &path, std::span<const ItemColumn> declared,
                                              const LoadProgress &progress, int threads)
{
    TableFile file(path);
    const DbfHeader header = readHeader(file, QFileInfo(path).fileName());
    const RecordReader reader(path, header, mapColumns(header, declared));
    const int typeColumn = typeColumnOf(declared);
    const std::uint32_t records = header.recordCount; // checked against the size
    const int parts = partCount(header, threads);
    const auto bound = [&](int part) { return std::uint32_t(std::uint64_t(records) * std::uint64_t(part) / parts); };

    // The first part is read here, and tells the progress of them all; the
    // others are read beside it. A part stops once one before it has failed:
    // the fault to report is the first in the file.
    std::vector<ItemStore::Builder> stores;
    stores.reserve(std::size_t(parts));
    for (int part = 0; part < parts; ++part)
        stores.emplace_back(declared, typeColumn, part == 0 ? records : bound(part + 1) - bound(part));
    std::vector<std::exception_ptr> faults(static_cast<std::size_t>(parts));
    std::atomic<int> firstFault{parts};
    std::atomic<qint64> bytesRead{header.headerLength};
    const auto readPart = [&](int part, const auto &blockRead) {
        try {
            reader.read(file, bound(part), bound(part + 1), stores[std::size_t(part)], blockRead,
                        [&] { return firstFault.load() < part; });
        } catch (...) {
            faults[std::size_t(part)] = std::current_exception();
            for (int was = firstFault.load(); part < was && !firstFault.compare_exchange_weak(was, part);)
                ;
        }
    };
    std::vector<std::thread> helpers;
    for (int part = 1; part < parts; ++part)
        helpers.emplace_back([&, part] { readPart(part, [&](qint64 bytes) { bytesRead += bytes; }); });
    if (progress)
        progress(bytesRead, file.size());
    readPart(0, [&](qint64 bytes) {
        if (progress)
            progress(bytesRead += bytes, file.size());
        else
            bytesRead += bytes;
    });
    for (std::thread &helper : helpers)
        helper.join();
    for (const std::exception_ptr &fault : faults)
        if (fault)
            std::rethrow_exception(fault);
    for (int part = 1; part < parts; ++part)
        stores.front().append(std::move(stores[std::size_t(part)]));
    if (progress)
        progress(file.size(), file.size());
    return stores.front().finish();
}

} // namespace vestor
