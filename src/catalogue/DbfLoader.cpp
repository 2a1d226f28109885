#include "DbfLoader.h"

#include "Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <shapefil.h>
#include <sqlite3.h>

#include <array>
#include <charconv>
#include <memory>
#include <set>
#include <string>

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
    case 0x30: case 0x31: case 0x32: // Visual FoxPro
    case 0x43: case 0x63: case 0x83: case 0x8B: case 0xCB: // dBase III/IV with memo or SQL
    case 0xE5: case 0xF5: case 0xFB: // other FoxPro and HiPer-Six flavours
        return true;
    default:
        return false;
    }
}

const char *kindName(char type)
{
    switch (type) {
    case 'C': return "String";
    case 'N': case 'F': return "Float";
    case 'D': return "Date";
    case 'L': return "Boolean";
    case 'M': return "Memo";
    case 'G': return "Graphic";
    case 'B': return "Binary";
    case 'I': return "Integer";
    case 'Y': return "Currency";
    case 'T': case '@': return "DateTime";
    case '+': return "AutoInc";
    case 'O': return "Double";
    default: return "Unknown";
    }
}

// Error hook for shapelib: it has no user pointer, so the last message is
// kept per thread and read back right after the failing call.
thread_local std::string lastShapelibError;
void keepShapelibError(const char *message) { lastShapelibError = message ? message : ""; }

struct DbfCloser {
    void operator()(DBFInfo *h) const { DBFClose(h); }
};
using DbfHandle = std::unique_ptr<DBFInfo, DbfCloser>;

struct StmtFinalizer {
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

void exec(sqlite3 *db, const QString &sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        throw Error(text);
    }
}

QString quoted(const QString &identifier)
{
    return u'"' + QString(identifier).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// Decodes field bytes straight to UTF-8. Single-byte code pages go through a
// table of 256 ready UTF-8 sequences; anything else through QStringDecoder.
class TextDecoder {
public:
    explicit TextDecoder(const QByteArray &codePage) : decoder_(codePage.constData())
    {
        if (!decoder_.isValid())
            decoder_ = QStringDecoder(QStringDecoder::Utf8);
        singleByte_ = codePage != "UTF-8";
        if (singleByte_) {
            for (int b = 0; b < 256; ++b) {
                const char byte = char(b);
                decoder_.resetState();
                table_[b] = QString(decoder_.decode(QByteArrayView(&byte, 1))).toStdString();
            }
        }
    }

    void decode(QByteArrayView bytes, std::string &out)
    {
        out.clear();
        if (singleByte_) {
            for (char c : bytes)
                out += table_[std::uint8_t(c)];
        } else {
            decoder_.resetState();
            out = QString(decoder_.decode(bytes)).toStdString();
        }
    }

private:
    QStringDecoder decoder_;
    bool singleByte_ = true;
    std::array<std::string, 256> table_;
};

enum class Parsed { Null, Number, Garbage };

// dBase numbers are right-aligned decimal text. Blank means no value; anything
// that is not a plain finite decimal number (with an optional exponent, as
// type F writers use) is refused rather than guessed at.
Parsed parseNumber(QByteArrayView field, double &value)
{
    const char *b = field.data();
    const char *e = b + field.size();
    while (b < e && (*b == ' ' || *b == '\0'))
        ++b;
    while (e > b && (e[-1] == ' ' || e[-1] == '\0'))
        --e;
    if (b == e)
        return Parsed::Null;
    if (*b == '+')
        ++b;
    if (b == e || !(*b == '-' || *b == '.' || (*b >= '0' && *b <= '9')))
        return Parsed::Garbage;
    const auto [end, ec] = std::from_chars(b, e, value, std::chars_format::general);
    if (ec != std::errc() || end != e)
        return Parsed::Garbage;
    return Parsed::Number;
}

QByteArrayView trimText(QByteArrayView field)
{
    const qsizetype nul = field.indexOf('\0');
    if (nul >= 0)
        field = field.first(nul);
    qsizetype n = field.size();
    while (n > 0 && field[n - 1] == ' ')
        --n;
    return field.first(n);
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
        throw Error(QStringLiteral("%1 is a dBase 7 table, which cannot be read; save it as dBase III or IV")
                        .arg(fileName));
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
    int pos = kFileHeaderSize;
    int used = 1; // the deletion flag
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
        if (f.type == 'N' || f.type == 'F') {
            f.width = std::uint8_t(d[16]);
            f.decimals = std::uint8_t(d[17]);
        } else {
            // FoxPro keeps long character widths in the decimals byte.
            f.width = std::uint8_t(d[16]) | (f.type == 'C' ? std::uint8_t(d[17]) << 8 : 0);
        }
        if (f.width == 0)
            throw damaged(QStringLiteral("field '%1' has width 0").arg(printable(d.first(nameEnd))));
        if (!names.insert(f.name.toUpper()).second)
            throw damaged(QStringLiteral("the field name '%1' appears twice").arg(f.name));
        used += f.width;
        h.fields.push_back(f);
        pos += kFieldDescriptorSize;
    }
    if (h.fields.empty())
        throw damaged(QStringLiteral("it declares no fields"));
    if (used != h.recordLength)
        throw damaged(QStringLiteral("its record length %1 disagrees with its fields, which take %2 bytes")
                          .arg(h.recordLength)
                          .arg(used));
    const std::uint64_t held = (fileSize - h.headerLength) / h.recordLength;
    if (h.recordCount > held)
        throw damaged(QStringLiteral("it declares %1 records but the file holds only %2")
                          .arg(h.recordCount)
                          .arg(held));
    return h;
}

QByteArray dbfCodePage(const QString &dbfPath, std::uint8_t languageDriver)
{
    const QFileInfo info(dbfPath);
    const QDir dir = info.absoluteDir();
    const QStringList sidecars =
        dir.entryList({info.completeBaseName() + QStringLiteral(".cpg")}, QDir::Files, QDir::Name);
    for (const QString &name : sidecars) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        QByteArray word = f.read(64).trimmed().toUpper();
        for (const char *prefix : {"ANSI ", "OEM ", "CP", "WINDOWS-", "IBM"})
            if (word.startsWith(prefix))
                word = word.mid(qstrlen(prefix)).trimmed();
        if (word == "UTF-8" || word == "UTF8" || word == "65001")
            return "UTF-8";
        if (word == "866")
            return "IBM866";
        if (!word.isEmpty() && word.front() >= '0' && word.front() <= '9')
            return "windows-" + word;
        if (word == "1251" || word.isEmpty())
            return "windows-1251";
        return word;
    }
    switch (languageDriver) {
    case 0x26: case 0x65: return "IBM866";
    case 0x01: return "IBM437";
    case 0x02: case 0x37: return "IBM850";
    case 0x03: case 0x57: case 0x58: case 0x59: return "windows-1252";
    case 0xC8: return "windows-1250";
    case 0xCA: return "windows-1254";
    case 0xCB: return "windows-1253";
    default: return "windows-1251"; // 0xC9, 0 and anything unknown: the game's own code page
    }
}

std::int64_t loadDbfTable(const QString &path, std::span<const ItemColumn> declared, sqlite3 *db,
                          const QString &schema, const QString &table)
{
    const QString fileName = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Cannot open the item table %1: %2").arg(path, file.errorString()));
    const std::uint64_t fileSize = std::uint64_t(file.size());
    QByteArray head = file.read(kFileHeaderSize);
    if (head.size() == kFileHeaderSize && le16(head, 8) > kFileHeaderSize)
        head += file.read(le16(head, 8) - kFileHeaderSize);
    file.close();
    const DbfHeader header = checkDbfHeader(head, fileSize, fileName);

    SAHooks hooks;
    SASetupDefaultHooks(&hooks);
    hooks.Error = keepShapelibError;
    lastShapelibError.clear();
    DbfHandle dbf(DBFOpenLL(QFile::encodeName(path).constData(), "rb", &hooks));
    if (!dbf)
        throw Error(QStringLiteral("Cannot open the item table %1: %2")
                        .arg(path, lastShapelibError.empty() ? QStringLiteral("unreadable file")
                                                             : QString::fromStdString(lastShapelibError)));
    if (dbf->nFields != int(header.fields.size()) || dbf->nRecordLength != header.recordLength)
        throw Error(QStringLiteral("The item table %1 is damaged: its fields cannot be read").arg(fileName));

    // Map every declared column onto the file's field, checking name and kind.
    struct Source {
        int offset;
        int width;
        ColumnKind kind;
        const char *name;
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
        sources.push_back({dbf->panFieldOffset[index], dbf->panFieldSize[index], column.kind, column.name});
    }

    QString columns = QStringLiteral("RECNO INTEGER PRIMARY KEY");
    for (const ItemColumn &column : declared)
        columns += QStringLiteral(", %1 %2").arg(column.name, column.kind == ColumnKind::String ? "TEXT" : "REAL");
    const QString target = quoted(schema) + u'.' + quoted(table);
    exec(db, QStringLiteral("DROP TABLE IF EXISTS %1").arg(target));
    exec(db, QStringLiteral("CREATE TABLE %1 (%2)").arg(target, columns));

    QString insertSql = QStringLiteral("INSERT INTO %1 VALUES (?").arg(target);
    for (size_t i = 0; i < declared.size(); ++i)
        insertSql += QStringLiteral(", ?");
    insertSql += u')';
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db, insertSql.toUtf8().constData(), -1, &raw, nullptr) != SQLITE_OK)
        throw Error(QString::fromUtf8(sqlite3_errmsg(db)));
    Statement insert(raw);

    TextDecoder decoder(dbfCodePage(path, header.languageDriver));
    std::string text;
    std::int64_t loaded = 0;
    exec(db, QStringLiteral("BEGIN"));
    try {
        for (std::uint32_t record = 0; record < header.recordCount; ++record) {
            lastShapelibError.clear();
            const char *tuple = DBFReadTuple(dbf.get(), int(record));
            if (!tuple)
                throw Error(QStringLiteral("The item table %1 is damaged: record %2 cannot be read")
                                .arg(fileName)
                                .arg(record + 1));
            if (tuple[0] == '*')
                continue;
            sqlite3_bind_int64(insert.get(), 1, std::int64_t(record) + 1);
            int param = 2;
            for (const Source &s : sources) {
                const QByteArrayView field(tuple + s.offset, s.width);
                if (s.kind == ColumnKind::String) {
                    decoder.decode(trimText(field), text);
                    sqlite3_bind_text(insert.get(), param, text.data(), int(text.size()), SQLITE_TRANSIENT);
                } else {
                    double value = 0;
                    switch (parseNumber(field, value)) {
                    case Parsed::Null:
                        sqlite3_bind_null(insert.get(), param);
                        break;
                    case Parsed::Number:
                        sqlite3_bind_double(insert.get(), param, value);
                        break;
                    case Parsed::Garbage:
                        throw Error(QStringLiteral("The item table %1 is damaged: field %2 of record %3 holds "
                                                   "'%4', which is not a number")
                                        .arg(fileName, QString::fromLatin1(s.name))
                                        .arg(record + 1)
                                        .arg(printable(field).trimmed()));
                    }
                }
                ++param;
            }
            if (sqlite3_step(insert.get()) != SQLITE_DONE)
                throw Error(QString::fromUtf8(sqlite3_errmsg(db)));
            sqlite3_reset(insert.get());
            ++loaded;
        }
        exec(db, QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_exec(db, QStringLiteral("DROP TABLE IF EXISTS %1").arg(target).toUtf8().constData(), nullptr,
                     nullptr, nullptr);
        throw;
    }
    return loaded;
}

} // namespace vestor
