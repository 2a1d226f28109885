#include "DbfLoader.h"

#include "Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <shapefil.h>

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

// Error hook for shapelib: it has no user pointer, so the last message is
// kept per thread and read back right after the failing call.
thread_local std::string lastShapelibError;
void keepShapelibError(const char *message) { lastShapelibError = message ? message : ""; }

// The table file as shapelib reads it: the very file whose header was
// checked, read in large blocks. shapelib opens files by name and only tries
// the extensions ".dbf" and ".DBF"; through these hooks it gets this file
// whatever the letter case of its name.
class BlockReader
{
public:
    explicit BlockReader(QFile &file) : file_(file) {}

    std::uint64_t size() const { return std::uint64_t(file_.size()); }
    std::uint64_t tell() const { return pos_; }
    void seek(std::uint64_t pos) { pos_ = pos; }

    // Copies up to n bytes from the current position; returns how many there were.
    std::uint64_t read(char *to, std::uint64_t n)
    {
        std::uint64_t done = 0;
        while (done < n) {
            if (pos_ < start_ || pos_ >= start_ + std::uint64_t(block_.size())) {
                if (pos_ >= size())
                    break;
                block_.resize(qsizetype(std::min(std::max(kBlockSize, n - done), size() - pos_)));
                if (!file_.seek(qint64(pos_)))
                    break;
                const qint64 got = file_.read(block_.data(), block_.size());
                block_.resize(qsizetype(std::max<qint64>(got, 0)));
                start_ = pos_;
                if (got <= 0)
                    break;
            }
            const std::uint64_t at = pos_ - start_;
            const std::uint64_t take = std::min<std::uint64_t>(n - done, std::uint64_t(block_.size()) - at);
            std::memcpy(to + done, block_.constData() + at, take);
            done += take;
            pos_ += take;
        }
        return done;
    }

private:
    static constexpr std::uint64_t kBlockSize = 1 << 20;
    QFile &file_;
    QByteArray block_;
    std::uint64_t start_ = 0;
    std::uint64_t pos_ = 0;
};

// shapelib's hooks carry no user pointer: the file being opened is handed over here.
thread_local BlockReader *fileToOpen = nullptr;

BlockReader *reader(SAFile f) { return reinterpret_cast<BlockReader *>(f); }

SAFile hookOpen(const char *name, const char *access)
{
    const std::string_view n(name);
    const bool dbf = n.size() >= 4 && QByteArrayView(n.substr(n.size() - 4)).compare(".dbf", Qt::CaseInsensitive) == 0;
    if (!fileToOpen || !dbf || std::string_view(access).find_first_of("wa+") != std::string_view::npos)
        return nullptr; // the .cpg sidecar is read by dbfCodePage
    BlockReader *r = std::exchange(fileToOpen, nullptr);
    r->seek(0); // a freshly opened file stands at its start
    return reinterpret_cast<SAFile>(r);
}

SAOffset hookRead(void *p, SAOffset size, SAOffset count, SAFile f)
{
    if (size == 0 || count == 0)
        return 0;
    if (count > std::numeric_limits<SAOffset>::max() / size)
        return 0;
    return SAOffset(reader(f)->read(static_cast<char *>(p), size * count) / size);
}

SAOffset hookWrite(void *, SAOffset, SAOffset, SAFile) { return 0; }

SAOffset hookSeek(SAFile f, SAOffset offset, int whence)
{
    BlockReader *r = reader(f);
    const std::uint64_t base = whence == SEEK_CUR ? r->tell() : whence == SEEK_END ? r->size() : 0;
    r->seek(base + offset);
    return 0;
}

SAOffset hookTell(SAFile f) { return SAOffset(reader(f)->tell()); }
int hookFlush(SAFile) { return 0; }
int hookClose(SAFile) { return 0; } // the loader owns the file
int hookRemove(const char *) { return -1; }

struct DbfCloser {
    void operator()(DBFInfo *h) const { DBFClose(h); }
};
using DbfHandle = std::unique_ptr<DBFInfo, DbfCloser>;

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

} // namespace

DbfHeader checkDbfHeader(QByteArrayView head, std::uint64_t fileSize, const QString &fileName)
{
    auto damaged = [&](const QString &reason) {
        return Error(QStringLiteral("The item table %1 is damaged: %2").arg(fileName, reason));
    };
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
        throw damaged(QStringLiteral("its header length %1 leaves no room for a field").arg(h.headerLength));
    if (h.headerLength > fileSize || h.headerLength > head.size())
        throw damaged(QStringLiteral("its header length %1 goes beyond the end of the file (%2 bytes)")
                          .arg(h.headerLength)
                          .arg(fileSize));
    if (h.recordLength == 0)
        throw damaged(QStringLiteral("its record length is 0"));

    std::set<QString> names;
    std::vector<int> highBytes; // of C fields: FoxPro's width / 256, or a writer's format hint
    int pos = kFileHeaderSize;
    for (;;) {
        if (pos >= h.headerLength)
            throw damaged(QStringLiteral("the list of fields has no end mark within the header"));
        if (head[pos] == kHeaderTerminator)
            break;
        if (pos + kFieldDescriptorSize > h.headerLength)
            throw damaged(QStringLiteral("field %1 runs past the end of the header").arg(h.fields.size() + 1));
        const QByteArrayView d = head.sliced(pos, kFieldDescriptorSize);
        const qsizetype nameEnd = d.first(11).indexOf('\0');
        const int number = int(h.fields.size()) + 1;
        if (nameEnd < 0)
            throw damaged(QStringLiteral("the name of field %1 ('%2') is not terminated")
                              .arg(number)
                              .arg(printable(d.first(11))));
        if (nameEnd == 0)
            throw damaged(QStringLiteral("field %1 has no name").arg(number));
        DbfField f;
        f.name = QString::fromLatin1(d.first(nameEnd)).trimmed();
        f.type = d[11];
        f.width = std::uint8_t(d[16]);
        if (f.type == 'N' || f.type == 'F')
            f.decimals = std::uint8_t(d[17]);
        highBytes.push_back(f.type == 'C' ? std::uint8_t(d[17]) : 0);
        if (f.width == 0 && highBytes.back() == 0)
            throw damaged(QStringLiteral("field '%1' has width 0").arg(printable(d.first(nameEnd))));
        if (!names.insert(f.name.toUpper()).second)
            throw damaged(QStringLiteral("the field name '%1' appears twice").arg(printable(d.first(nameEnd))));
        h.fields.push_back(f);
        pos += kFieldDescriptorSize;
    }
    if (h.fields.empty())
        throw damaged(QStringLiteral("it declares no fields"));

    // The byte after a C field's width is its width / 256 in FoxPro tables
    // and a format hint elsewhere: the record length tells which.
    int narrow = 1, wide = 1; // the deletion flag
    for (size_t i = 0; i < h.fields.size(); ++i) {
        narrow += h.fields[i].width;
        wide += h.fields[i].width + 256 * highBytes[i];
    }
    if (wide == h.recordLength && wide != narrow)
        for (size_t i = 0; i < h.fields.size(); ++i)
            h.fields[i].width += 256 * highBytes[i];
    else if (narrow != h.recordLength)
        throw damaged(QStringLiteral("its record length %1 disagrees with its fields, which take %2 bytes")
                          .arg(h.recordLength)
                          .arg(narrow));
    int offset = 1;
    for (DbfField &f : h.fields) {
        if (f.width == 0)
            throw damaged(QStringLiteral("field '%1' has width 0").arg(printable(f.name.toLatin1())));
        f.offset = offset;
        offset += f.width;
    }
    const std::uint64_t held = (fileSize - h.headerLength) / h.recordLength;
    if (h.recordCount > held)
        throw damaged(QStringLiteral("it declares %1 records but the file holds only %2").arg(h.recordCount).arg(held));
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

} // namespace

QByteArray dbfCodePage(const QString &dbfPath, std::uint8_t languageDriver)
{
    const QFileInfo info(dbfPath);
    const QDir dir = info.absoluteDir();
    // Name filters match without regard to letter case: SUBJECTS.CPG counts too.
    const QStringList sidecars =
        dir.entryList({info.completeBaseName() + QStringLiteral(".cpg")}, QDir::Files, QDir::Name);
    for (const QString &name : sidecars) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray codePage = sidecarCodePage(f.read(64));
        if (!codePage.isEmpty())
            return codePage;
    }
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
    case 0x57:
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
        return "windows-1251"; // 0xC9, 0 and anything unknown: the game's own code page
    }
}

std::shared_ptr<ItemStore> loadDbfTable(const QString &path, std::span<const ItemColumn> declared,
                                        const LoadProgress &progress)
{
    const QString fileName = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw Error(QStringLiteral("Cannot open the item table %1: %2").arg(path, file.errorString()));
    BlockReader source(file);
    QByteArray head(kFileHeaderSize, '\0');
    head.resize(qsizetype(source.read(head.data(), kFileHeaderSize)));
    if (head.size() == kFileHeaderSize && le16(head, 8) > kFileHeaderSize) {
        head.resize(le16(head, 8));
        head.resize(kFileHeaderSize +
                    qsizetype(source.read(head.data() + kFileHeaderSize, head.size() - kFileHeaderSize)));
    }
    const DbfHeader header = checkDbfHeader(head, source.size(), fileName);

    SAHooks hooks;
    SASetupDefaultHooks(&hooks);
    hooks.FOpen = hookOpen;
    hooks.FRead = hookRead;
    hooks.FWrite = hookWrite;
    hooks.FSeek = hookSeek;
    hooks.FTell = hookTell;
    hooks.FFlush = hookFlush;
    hooks.FClose = hookClose;
    hooks.Remove = hookRemove;
    hooks.Error = keepShapelibError;
    lastShapelibError.clear();
    fileToOpen = &source;
    DbfHandle dbf(DBFOpenLL(QFile::encodeName(path).constData(), "rb", &hooks));
    fileToOpen = nullptr;
    if (!dbf)
        throw Error(QStringLiteral("Cannot open the item table %1: %2")
                        .arg(path, lastShapelibError.empty() ? QStringLiteral("unreadable file")
                                                             : QString::fromStdString(lastShapelibError)));
    if (dbf->nRecordLength != header.recordLength)
        throw Error(QStringLiteral("The item table %1 is damaged: its fields cannot be read").arg(fileName));

    // Map every declared column onto the file's field, checking name and kind.
    struct Source {
        int offset;
        int width;
        ColumnKind kind;
        const char *name;
        std::string zero; // how the column's writer spells 0 ("        0.00"), to spot it at once
    };
    std::vector<Source> sources;
    for (const ItemColumn &column : declared) {
        const QString name = QString::fromLatin1(column.name);
        int index = -1;
        for (int i = 0; i < int(header.fields.size()); ++i)
            if (header.fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
                index = i;
        if (index < 0)
            throw Error(QStringLiteral("Field '%1' not found").arg(name));
        const char type = header.fields[index].type;
        const bool fits = column.kind == ColumnKind::String ? type == 'C' : (type == 'N' || type == 'F');
        if (!fits)
            throw Error(QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
                            .arg(name, column.kind == ColumnKind::String ? "String" : "Float", kindName(type)));
        const DbfField &f = header.fields[index];
        std::string zero = f.decimals > 0 ? "0." + std::string(std::size_t(f.decimals), '0') : "0";
        if (int(zero.size()) <= f.width)
            zero.insert(0, std::size_t(f.width) - zero.size(), ' ');
        else
            zero.clear();
        sources.push_back({f.offset, f.width, column.kind, column.name, std::move(zero)});
    }

    TextDecoder decoder(dbfCodePage(path, header.languageDriver));
    auto store = std::make_shared<ItemStore>(declared);
    store->reserve(header.recordCount);             // checked against the file's size above
    constexpr std::uint32_t kProgressEvery = 65536; // records between two progress reports
    for (std::uint32_t record = 0; record < header.recordCount; ++record) {
        if (progress && record % kProgressEvery == 0)
            progress(header.headerLength + qint64(record) * header.recordLength, qint64(source.size()));
        const char *tuple = DBFReadTuple(dbf.get(), int(record));
        if (!tuple)
            throw Error(
                QStringLiteral("The item table %1 is damaged: record %2 cannot be read").arg(fileName).arg(record + 1));
        if (tuple[0] == '*')
            continue;
        store->addRow(std::int64_t(record) + 1);
        for (std::size_t c = 0; c < sources.size(); ++c) {
            const Source &s = sources[c];
            const QByteArrayView field(tuple + s.offset, s.width);
            const int column = int(c) + 1;
            if (s.kind == ColumnKind::String) {
                std::string &buffer = store->textBuffer(column);
                const std::size_t start = buffer.size();
                decoder.append(trimText(field), buffer);
                store->addText(column, start);
                continue;
            }
            // Most stats of most items are 0.
            if (!s.zero.empty() && sameBytes(field.data(), s.zero.data(), s.zero.size())) {
                store->addNumber(column, 0.0);
                continue;
            }
            double number = 0;
            switch (parseNumber(field, number)) {
            case Parsed::Null:
                store->addNumber(column, ItemStore::kNull);
                break;
            case Parsed::Number:
                store->addNumber(column, number);
                break;
            case Parsed::Garbage:
                throw Error(QStringLiteral("The item table %1 is damaged: field %2 of record %3 holds "
                                           "'%4', which is not a number")
                                .arg(fileName, QString::fromLatin1(s.name))
                                .arg(record + 1)
                                .arg(printable(field).trimmed()));
            }
        }
    }
    return store;
}

} // namespace vestor
