// The table's header, its field descriptors and its code page.
#include "catalogue/DbfLoader.h"

#include "catalogue/DbfFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

namespace vestor {

std::uint16_t le16(QByteArrayView b, int at)
{
    return std::uint16_t(std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8);
}

// Bytes of a damaged file may be anything; show them printable.
QString printable(QByteArrayView bytes)
{
    QString out;
    for (char c : bytes)
        out += (c >= 0x20 && c < 0x7F) ? QChar(c) : QChar(u'?');
    return out;
}

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

QByteArrayView TableFile::read(qint64 offset, qint64 length, QByteArray &buffer) const
{
    buffer.resize(qsizetype(std::max<qint64>(0, std::min(length, size_ - offset))));
    qint64 done = 0;
    while (done < buffer.size()) {
        const ssize_t got =
            ::pread(file_.handle(), buffer.data() + done, std::size_t(buffer.size() - done), off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    buffer.resize(qsizetype(done));
    return QByteArrayView(buffer.constData(), done);
}

Error damagedTable(const QString &fileName, const QString &reason)
{
    return Error(QStringLiteral("The item table %1 is damaged: %2").arg(fileName, reason));
}

namespace {

constexpr int kFieldDescriptorSize = 32;
constexpr char kHeaderTerminator = 0x0D;

std::uint32_t le32(QByteArrayView b, int at)
{
    return std::uint32_t(le16(b, at)) | std::uint32_t(le16(b, at + 2)) << 16;
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

} // namespace vestor
