#include "catalogue/DbfLoader.h"

#include "catalogue/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace vestor {

namespace {

constexpr int kFileHeaderSize = 32;
constexpr int kFieldDescriptorSize = 32;
constexpr char kHeaderTerminator = 0x0D;

std::uint16_t le16(QByteArrayView b, int at)
{
    return std::uint16_t(std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8);
}

std::uint32_t le32(QByteArrayView b, int at)
{
    return std::uint32_t(le16(b, at)) | std::uint32_t(le16(b, at + 2)) << 16;
}

// Bytes of a damaged file may be anything; show them printable.
QString printable(QByteArrayView bytes)
{
    QString out;
    for (char c : bytes)
        out += (c >= 0x20 && c < 0x7F) ? QChar(c) : QChar(u'?');
    return out;
}

bool isKnownVersion(std::uint8_t v)
{
    switch (v) {
    case 0x02: // FoxBase
    case 0x03: // dBase III, FoxPro without memo
    case 0x30:
    case 0x31:
    case 0x32: // Visual FoxPro
    case 0x43:
    case 0x63:
    case 0x83:
    case 0x8B:
    case 0xCB: // dBase III/IV with memo or SQL
    case 0xE5:
    case 0xF5:
    case 0xFB: // other FoxPro and HiPer-Six flavours
        return true;
    default:
        return false;
    }
}

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

// Whether some byte of the code page only starts a character (UTF-8, the
// East Asian code pages) rather than being one.
bool isMultiByte(QStringDecoder &decoder)
{
    for (int b = 0x80; b < 0x100; ++b) {
        const char lead = char(b);
        const QString one = decoder.decode(QByteArrayView(&lead, 1));
        if (one.size() == 1 && one[0] != QChar::ReplacementCharacter)
            continue;
        for (char next : {'\x80', '\xA1', 'A'}) {
            const char two[] = {lead, next};
            const QString pair = decoder.decode(QByteArrayView(two, 2));
            if (pair.size() == 1 && pair[0] != QChar::ReplacementCharacter)
                return true;
        }
    }
    return false;
}

// Decodes field bytes straight to UTF-8. Single-byte code pages go through a
// table of 256 ready UTF-8 sequences; anything else through QStringDecoder.
// Bytes that stand for no character come out as U+FFFD, never dropped.
class TextDecoder
{
public:
    explicit TextDecoder(const QByteArray &codePage) : decoder_(codePage.constData(), QStringDecoder::Flag::Stateless)
    {
        if (!decoder_.isValid())
            decoder_ = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        singleByte_ = !isMultiByte(decoder_);
        for (int b = 0; b < 256 && singleByte_; ++b) {
            const char byte = char(b);
            QString c = decoder_.decode(QByteArrayView(&byte, 1));
            // Code pages map their unassigned bytes to C1 controls (0x98 in Windows-1251).
            if (c.isEmpty() || (b >= 0x80 && c[0].unicode() >= 0x80 && c[0].unicode() <= 0x9F))
                c = QChar(QChar::ReplacementCharacter);
            const QByteArray utf8 = c.toUtf8();
            if (utf8.size() > 4) {
                singleByte_ = false;
                break;
            }
            table_[b].length = std::uint8_t(utf8.size());
            std::memcpy(table_[b].bytes, utf8.constData(), std::size_t(utf8.size()));
        }
    }

    void append(QByteArrayView bytes, std::string &out)
    {
        if (!singleByte_) {
            out += QString(decoder_.decode(bytes)).toStdString();
            return;
        }
        char buffer[1024];
        std::size_t n = 0;
        for (char c : bytes) {
            if (n + 4 > sizeof buffer) {
                out.append(buffer, n);
                n = 0;
            }
            const Utf8 &u = table_[std::uint8_t(c)];
            std::memcpy(buffer + n, u.bytes, 4);
            n += u.length;
        }
        out.append(buffer, n);
    }

private:
    struct Utf8 {
        std::uint8_t length = 0;
        char bytes[4] = {};
    };
    QStringDecoder decoder_;
    bool singleByte_ = true;
    std::array<Utf8, 256> table_;
};

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

// A file opened for reading without following it into a hang: a FIFO or a
// device under the table's name would block open() or read() for ever, so
// the file is opened without blocking and refused unless the descriptor is
// a regular file. Returns the size; throws Error naming the file.
qint64 openRegularFile(QFile &file, const QString &path, const QString &what)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        throw Error(QStringLiteral("Cannot open %1 %2: %3").arg(what, path, QString::fromLocal8Bit(strerror(errno))));
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw Error(QStringLiteral("Cannot open %1 %2: it is not a regular file").arg(what, path));
    }
    // Reads of a regular file never block; the flag only mattered for the open.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw Error(QStringLiteral("Cannot open %1 %2: %3").arg(what, path, file.errorString()));
    }
    return qint64(st.st_size);
}

// The table file, read in large blocks straight into one buffer.
class TableFile
{
public:
    explicit TableFile(const QString &path) : size_(openRegularFile(file_, path, QStringLiteral("the item table"))) {}

    qint64 size() const { return size_; }

    // Up to `length` bytes from `offset`, fewer at the end of the file;
    // valid until the next read.
    QByteArrayView read(qint64 offset, qint64 length)
    {
        buffer_.resize(qsizetype(std::max<qint64>(0, std::min(length, size_ - offset))));
        qint64 done = 0;
        if (file_.seek(offset))
            while (done < buffer_.size()) {
                const qint64 got = file_.read(buffer_.data() + done, buffer_.size() - done);
                if (got <= 0)
                    break;
                done += got;
            }
        return QByteArrayView(buffer_.constData(), done);
    }

private:
    QFile file_;
    qint64 size_;
    QByteArray buffer_;
};

Error damagedTable(const QString &fileName, const QString &reason)
{
    return Error(QStringLiteral("The item table %1 is damaged: %2").arg(fileName, reason));
}

// The header's first 32 bytes: version and lengths.
DbfHeader readFileHeader(QByteArrayView head, std::uint64_t fileSize, const QString &fileName)
{
    if (fileSize < kFileHeaderSize || head.size() < kFileHeaderSize)
        throw Error(QStringLiteral("%1 is not a dBase table: it holds %2 bytes, fewer than a dBase header")
                        .arg(fileName)
                        .arg(fileSize));
    DbfHeader h;
    h.version = std::uint8_t(head[0]);
    if (h.version == 0x04 || h.version == 0x8C)
        throw Error(
            QStringLiteral("%1 is a dBase 7 table, which cannot be read; save it as dBase III or IV").arg(fileName));
    if (!isKnownVersion(h.version))
        throw Error(QStringLiteral("%1 is not a dBase table (its first byte is 0x%2)")
                        .arg(fileName)
                        .arg(h.version, 2, 16, QChar(u'0')));
    h.recordCount = le32(head, 4);
    h.headerLength = le16(head, 8);
    h.recordLength = le16(head, 10);
    h.languageDriver = std::uint8_t(head[29]);
    if (h.headerLength < kFileHeaderSize + kFieldDescriptorSize + 1)
        throw damagedTable(fileName,
                           QStringLiteral("its header length %1 leaves no room for a field").arg(h.headerLength));
    if (h.headerLength > fileSize || h.headerLength > head.size())
        throw damagedTable(fileName, QStringLiteral("its header length %1 goes beyond the end of the file (%2 bytes)")
                                         .arg(h.headerLength)
                                         .arg(fileSize));
    if (h.recordLength == 0)
        throw damagedTable(fileName, QStringLiteral("its record length is 0"));
    return h;
}

// One field descriptor; `highByte` gets the byte after a C field's width.
DbfField readFieldDescriptor(QByteArrayView d, int number, int &highByte, const QString &fileName)
{
    const qsizetype nameEnd = d.first(11).indexOf('\0');
    if (nameEnd < 0)
        throw damagedTable(
            fileName,
            QStringLiteral("the name of field %1 ('%2') is not terminated").arg(number).arg(printable(d.first(11))));
    if (nameEnd == 0)
        throw damagedTable(fileName, QStringLiteral("field %1 has no name").arg(number));
    DbfField f;
    f.name = QString::fromLatin1(d.first(nameEnd)).trimmed();
    f.type = d[11];
    f.width = std::uint8_t(d[16]);
    if (f.type == 'N' || f.type == 'F')
        f.decimals = std::uint8_t(d[17]);
    highByte = f.type == 'C' ? std::uint8_t(d[17]) : 0;
    if (f.width == 0 && highByte == 0)
        throw damagedTable(fileName, QStringLiteral("field '%1' has width 0").arg(printable(d.first(nameEnd))));
    return f;
}

// The field descriptors up to the end mark; returns each C field's high width byte.
std::vector<int> readFieldDescriptors(QByteArrayView head, DbfHeader &h, const QString &fileName)
{
    std::set<QString> names;
    std::vector<int> highBytes; // of C fields: FoxPro's width / 256, or a writer's format hint
    for (int pos = kFileHeaderSize;; pos += kFieldDescriptorSize) {
        if (pos >= h.headerLength)
            throw damagedTable(fileName, QStringLiteral("the list of fields has no end mark within the header"));
        if (head[pos] == kHeaderTerminator)
            break;
        const int number = int(h.fields.size()) + 1;
        if (pos + kFieldDescriptorSize > h.headerLength)
            throw damagedTable(fileName, QStringLiteral("field %1 runs past the end of the header").arg(number));
        const QByteArrayView d = head.sliced(pos, kFieldDescriptorSize);
        DbfField f = readFieldDescriptor(d, number, highBytes.emplace_back(), fileName);
        if (!names.insert(f.name.toUpper()).second)
            throw damagedTable(
                fileName,
                QStringLiteral("the field name '%1' appears twice").arg(printable(d.first(d.first(11).indexOf('\0')))));
        h.fields.push_back(std::move(f));
    }
    if (h.fields.empty())
        throw damagedTable(fileName, QStringLiteral("it declares no fields"));
    return highBytes;
}

// The byte after a C field's width is its width / 256 in FoxPro tables and a
// format hint elsewhere: the record length tells which. Then each field's offset.
void settleWidths(DbfHeader &h, const std::vector<int> &highBytes, const QString &fileName)
{
    int narrow = 1, wide = 1; // the deletion flag
    for (size_t i = 0; i < h.fields.size(); ++i) {
        narrow += h.fields[i].width;
        wide += h.fields[i].width + 256 * highBytes[i];
    }
    if (wide == h.recordLength && wide != narrow)
        for (size_t i = 0; i < h.fields.size(); ++i)
            h.fields[i].width += 256 * highBytes[i];
    else if (narrow != h.recordLength)
        throw damagedTable(fileName,
                           QStringLiteral("its record length %1 disagrees with its fields, which take %2 bytes")
                               .arg(h.recordLength)
                               .arg(narrow));
    int offset = 1;
    for (DbfField &f : h.fields) {
        if (f.width == 0)
            throw damagedTable(fileName, QStringLiteral("field '%1' has width 0").arg(printable(f.name.toLatin1())));
        f.offset = offset;
        offset += f.width;
    }
}

} // namespace

DbfHeader checkDbfHeader(QByteArrayView head, std::uint64_t fileSize, const QString &fileName)
{
    DbfHeader h = readFileHeader(head, fileSize, fileName);
    settleWidths(h, readFieldDescriptors(head, h, fileName), fileName);
    const std::uint64_t held = (fileSize - h.headerLength) / h.recordLength;
    if (h.recordCount > held)
        throw damagedTable(
            fileName, QStringLiteral("it declares %1 records but the file holds only %2").arg(h.recordCount).arg(held));
    return h;
}

namespace {

// The code page a .cpg sidecar names ("1251", "CP1251", "ANSI 1251", "866",
// "UTF-8", ...), or nothing when the word names none that can be decoded.
QByteArray sidecarCodePage(QByteArray word)
{
    if (word.startsWith("\xEF\xBB\xBF"))
        word = word.mid(3);
    word = word.trimmed().toUpper();
    for (const char *prefix : {"ANSI ", "OEM ", "CP", "WINDOWS-", "IBM"})
        if (word.startsWith(prefix))
            word = word.mid(qstrlen(prefix)).trimmed();
    QByteArray name;
    if (word == "UTF-8" || word == "UTF8" || word == "65001")
        name = "UTF-8";
    else if (word == "866" || word == "437" || word == "850")
        name = "IBM" + word;
    else if (!word.isEmpty() && std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; }))
        name = "windows-" + word;
    else
        name = word;
    if (name.isEmpty() || !QStringDecoder(name.constData()).isValid())
        return {};
    return name;
}

QByteArray languageDriverCodePage(std::uint8_t languageDriver)
{
    switch (languageDriver) {
    case 0x26:
    case 0x65:
        return "IBM866";
    case 0x01:
        return "IBM437";
    case 0x02:
    case 0x37:
        return "IBM850";
    case 0x03:
    case 0x58:
    case 0x59:
        return "windows-1252";
    case 0xC8:
        return "windows-1250";
    case 0xCA:
        return "windows-1254";
    case 0xCB:
        return "windows-1253";
    default:
        // 0xC9, 0x57 (the system's ANSI code page, which for this catalogue
        // is the game's), 0 and anything unknown.
        return "windows-1251";
    }
}

} // namespace

QByteArray dbfCodePage(const QString &dbfPath, std::uint8_t languageDriver)
{
    const QFileInfo info(dbfPath);
    const QDir dir = info.absoluteDir();
    // Name filters match without regard to letter case: SUBJECTS.CPG counts
    // too. System entries are listed so that a FIFO is refused, not skipped.
    const QStringList sidecars =
        dir.entryList({info.completeBaseName() + QStringLiteral(".cpg")}, QDir::Files | QDir::System, QDir::Name);
    for (const QString &name : sidecars) {
        QFile f;
        if (!QFileInfo(dir.filePath(name)).isReadable())
            continue;
        openRegularFile(f, dir.filePath(name), QStringLiteral("the code page file"));
        const QByteArray codePage = sidecarCodePage(f.read(64));
        if (!codePage.isEmpty())
            return codePage;
    }
    return languageDriverCodePage(languageDriver);
}

namespace {

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

// Reads the records after the header, in file order, into a store.
class RecordReader
{
public:
    RecordReader(const QString &path, const DbfHeader &header, std::vector<Source> sources)
        : fileName_(QFileInfo(path).fileName()), header_(header), sources_(std::move(sources)),
          decoder_(dbfCodePage(path, header.languageDriver))
    {
    }

    std::shared_ptr<const ItemStore> read(TableFile &file, ItemStore::Builder &store, const LoadProgress &progress)
    {
        const std::uint32_t perBlock = std::max<std::uint32_t>(1, std::uint32_t(kBlockBytes / header_.recordLength));
        for (std::uint32_t first = 0; first < header_.recordCount; first += perBlock) {
            const qint64 offset = header_.headerLength + qint64(first) * header_.recordLength;
            if (progress)
                progress(offset, file.size());
            const std::uint32_t count = std::min(perBlock, header_.recordCount - first);
            const QByteArrayView block = file.read(offset, qint64(count) * header_.recordLength);
            for (std::uint32_t i = 0; i < count; ++i)
                readRecord(block, first + i, i, store);
        }
        if (progress)
            progress(file.size(), file.size());
        return store.finish();
    }

private:
    void readRecord(QByteArrayView block, std::uint32_t record, std::uint32_t inBlock, ItemStore::Builder &store)
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

    void readField(const Source &s, QByteArrayView field, std::uint32_t record, ItemStore::Builder::Row &row)
    {
        if (s.kind == ColumnKind::String) {
            row.text([&](std::string &out) { decoder_.append(trimText(field), out); });
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
    TextDecoder decoder_;
};

// The header of the open table, checked.
DbfHeader readHeader(TableFile &file, const QString &fileName)
{
    QByteArray head = file.read(0, kFileHeaderSize).toByteArray();
    if (head.size() == kFileHeaderSize && le16(head, 8) > kFileHeaderSize)
        head = file.read(0, le16(head, 8)).toByteArray();
    return checkDbfHeader(head, std::uint64_t(file.size()), fileName);
}

} // namespace

std::shared_ptr<const ItemStore> loadDbfTable(const QString &path, std::span<const ItemColumn> declared,
                                              const LoadProgress &progress)
{
    TableFile file(path);
    const DbfHeader header = readHeader(file, QFileInfo(path).fileName());
    RecordReader reader(path, header, mapColumns(header, declared));
    ItemStore::Builder store(declared, typeColumnOf(declared), header.recordCount); // checked against the size
    return reader.read(file, store, progress);
}

} // namespace vestor
