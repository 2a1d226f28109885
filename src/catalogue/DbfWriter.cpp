#include "catalogue/DbfWriter.h"

#include "catalogue/CodePage.h"
#include "catalogue/Error.h"
#include "catalogue/IoFailure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <shapefil.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace vestor {

// shapelib 1.5's I/O hooks carry no user pointer, so the device travels in
// the file name shapelib hands back to FOpen: no globals, any thread.
struct DbfWriter::Handle {
    DBFHandle dbf = nullptr;
    QIODevice *device = nullptr;
    QString error; // the first failure, as the device or shapelib told it
    std::string fileName;

    static constexpr const char *kPrefix = "vestor-device-";

    // Keeps the first failure's reason; an empty one is no failure.
    void failed(const QString &reason)
    {
        if (error.isEmpty())
            error = reason;
    }
    static Handle *from(SAFile file) { return reinterpret_cast<Handle *>(file); }
    SAFile file() { return reinterpret_cast<SAFile>(this); }
};

namespace {

using Handle = DbfWriter::Handle;

// Whole numbers below this convert to long long and back exactly.
constexpr double kExactInteger = 0x1p53;

SAFile openHook(const char *name, const char *access)
{
    const char *digits = name + std::strlen(Handle::kPrefix);
    if (std::strncmp(name, Handle::kPrefix, std::strlen(Handle::kPrefix)) != 0)
        return nullptr; // only the .cpg shapelib would write; the table's byte says it all
    auto *h = reinterpret_cast<Handle *>(std::strtoull(digits, nullptr, 10));
    // shapelib creates with "wb", then reopens with "rb+" from the start.
    if (access[0] == 'r')
        h->failed(ioFailure(*h->device, [&] { return h->device->seek(0); }));
    return h->file();
}

SAOffset readHook(void *p, SAOffset size, SAOffset count, SAFile file)
{
    Handle *h = Handle::from(file);
    const qint64 wanted = qint64(size * count);
    qint64 got = 0;
    h->failed(ioFailure(*h->device, [&] { return (got = h->device->read(static_cast<char *>(p), wanted)) == wanted; }));
    return size == 0 || got < 0 ? 0 : SAOffset(got) / size;
}

SAOffset writeHook(void *p, SAOffset size, SAOffset count, SAFile file)
{
    Handle *h = Handle::from(file);
    const qint64 wanted = qint64(size * count);
    const QString failure =
        ioFailure(*h->device, [&] { return h->device->write(static_cast<const char *>(p), wanted) == wanted; });
    h->failed(failure);
    return failure.isEmpty() ? count : 0;
}

SAOffset seekHook(SAFile file, SAOffset offset, int whence)
{
    Handle *h = Handle::from(file);
    // shapelib seeks before every record; staying put keeps the device's
    // write buffer, which a real seek would flush.
    if (whence == SEEK_SET && h->device->pos() == qint64(offset))
        return 0;
    // shapelib seeks from the start only.
    const QString failure =
        ioFailure(*h->device, [&] { return whence == SEEK_SET && h->device->seek(qint64(offset)); });
    h->failed(failure);
    return failure.isEmpty() ? 0 : 1;
}

SAOffset tellHook(SAFile file) { return SAOffset(Handle::from(file)->device->pos()); }

int flushHook(SAFile file)
{
    Handle *h = Handle::from(file);
    auto *f = qobject_cast<QFileDevice *>(h->device);
    const QString failure = f ? ioFailure(*f, [&] { return f->flush(); }) : QString();
    h->failed(failure);
    return failure.isEmpty() ? 0 : EOF;
}

int removeHook(const char *) { return 0; }

void errorHook(const char *) {} // shapelib's own texts name no file; the device's reason is kept instead

double atofHook(const char *text) { return std::atof(text); }

SAHooks deviceHooks()
{
    SAHooks hooks{};
    hooks.FOpen = openHook;
    hooks.FRead = readHook;
    hooks.FWrite = writeHook;
    hooks.FSeek = seekHook;
    hooks.FTell = tellHook;
    hooks.FFlush = flushHook;
    hooks.FClose = flushHook;
    hooks.Remove = removeHook;
    hooks.Error = errorHook;
    hooks.Atof = atofHook;
    return hooks;
}

} // namespace

std::vector<DbfColumn> itemDbfColumns()
{
    std::vector<DbfColumn> columns;
    for (const ItemColumn &c : kItemColumns) {
        if (c.kind == ColumnKind::String)
            columns.push_back({c.name, 'C', kItemTextWidth, 0});
        else
            columns.push_back({c.name, 'N', kItemNumberWidth, kItemNumberDecimals});
    }
    return columns;
}

DbfWriter::DbfWriter(QIODevice &device, const QString &name, std::span<const DbfColumn> columns,
                     std::uint8_t languageDriver, QDate lastUpdate)
    : handle_(std::make_unique<Handle>()), name_(name), columns_(columns.begin(), columns.end())
{
    handle_->device = &device;
    handle_->fileName = Handle::kPrefix + std::to_string(reinterpret_cast<std::uintptr_t>(handle_.get()));
    SAHooks hooks = deviceHooks();
    const std::string codePage = "LDID/" + std::to_string(languageDriver);
    handle_->dbf = DBFCreateLL(handle_->fileName.c_str(), codePage.c_str(), &hooks);
    if (!handle_->dbf)
        fail(QStringLiteral("cannot start the table"));
    int offset = 1; // byte 0 of a record is the deletion flag
    for (const DbfColumn &c : columns_) {
        if (c.width < 1 || c.width > kMaxFieldWidth ||
            DBFAddNativeFieldType(handle_->dbf, c.name.c_str(), c.type, c.width, c.decimals) < 0) {
            DBFClose(std::exchange(handle_->dbf, nullptr));
            fail(QStringLiteral("cannot declare column %1").arg(QString::fromStdString(c.name)));
        }
        offsets_.push_back(offset);
        offset += c.width;
    }
    record_ = QByteArray(offset, ' ');
    DBFSetLastModifiedDate(handle_->dbf, lastUpdate.year() - 1900, lastUpdate.month(), lastUpdate.day());
    // shapelib writes the end mark after the last record each time one is
    // written, then steps back over it for the next; once, at the end, will do.
    DBFSetWriteEndOfFileChar(handle_->dbf, false);
}

DbfWriter::~DbfWriter()
{
    if (handle_->dbf)
        DBFClose(handle_->dbf);
}

void DbfWriter::fail(const QString &what) const
{
    const QString reason = handle_->error.isEmpty() ? what : what + QStringLiteral(": ") + handle_->error;
    throw Error(QStringLiteral("%1: %2").arg(name_, reason));
}

void DbfWriter::flushRecord()
{
    if (!pending_)
        return;
    pending_ = false;
    if (!DBFWriteTuple(handle_->dbf, int(records_ - 1), record_.data()) || !handle_->error.isEmpty())
        fail(QStringLiteral("cannot write record %1").arg(records_));
}

void DbfWriter::addRecord(bool deleted)
{
    flushRecord();
    if (records_ == INT_MAX)
        fail(QStringLiteral("a table holds at most %1 records").arg(INT_MAX));
    ++records_;
    record_.fill(' ');
    record_[0] = deleted ? '*' : ' ';
    pending_ = true;
}

char *DbfWriter::field(int column)
{
    if (!pending_)
        fail(QStringLiteral("a field set before any record"));
    return record_.data() + offsets_.at(std::size_t(column));
}

void DbfWriter::setText(int column, QByteArrayView bytes)
{
    const DbfColumn &c = columns_.at(std::size_t(column));
    if (bytes.size() > c.width || bytes.contains('\0'))
        fail(QStringLiteral("%1 does not fit in %2 bytes").arg(QString::fromStdString(c.name)).arg(c.width));
    setRaw(column, bytes);
}

bool DbfWriter::formatNumber(double value, int width, int decimals, char *out)
{
    char text[kMaxFieldWidth + 64];
    char *end = nullptr;
    if (!std::isfinite(value))
        return false;
    if (value == std::trunc(value) && std::fabs(value) < kExactInteger) {
        // The usual case, and cheap: whole numbers need no reading back.
        end = std::to_chars(text, text + sizeof text, static_cast<long long>(value)).ptr;
        if (decimals > 0) {
            *end++ = '.';
            end = std::fill_n(end, decimals, '0');
        }
    } else {
        const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
        double back = 0;
        if (written.ec != std::errc() || std::from_chars(text, written.ptr, back).ec != std::errc() || back != value)
            return false;
        end = written.ptr;
    }
    const int length = int(end - text);
    if (length > width)
        return false;
    std::fill_n(out, width - length, ' ');
    std::copy(text, end, out + width - length);
    out[width] = '\0';
    return true;
}

void DbfWriter::setRaw(int column, QByteArrayView bytes)
{
    const DbfColumn &c = columns_.at(std::size_t(column));
    const int length = int(std::min<qsizetype>(bytes.size(), c.width));
    const bool rightAligned = c.type == 'N' || c.type == 'F';
    char *at = field(column);
    std::fill_n(at, c.width, ' ');
    std::copy_n(bytes.data(), length, rightAligned ? at + c.width - length : at);
}

void DbfWriter::finish()
{
    flushRecord();
    DBFSetWriteEndOfFileChar(handle_->dbf, true);
    DBFClose(std::exchange(handle_->dbf, nullptr));
    if (!handle_->error.isEmpty())
        fail(QStringLiteral("cannot finish the table"));
}

ItemTableWriter::ItemTableWriter(QIODevice &device, const QString &name, QDate lastUpdate)
    : writer_(device, name, itemDbfColumns(), kWindows1251Driver, lastUpdate)
{
}

std::vector<QString> ItemTableWriter::write(const ItemRecord &record)
{
    EncodedTexts texts = encodeItemTexts(record);
    std::vector<QString> problems = std::move(texts.problems);
    std::array<std::array<char, kItemNumberWidth + 1>, kItemNumberCount> numbers;
    for (int c = 0; c < kItemColumnCount; ++c) {
        if (isTextColumn(c))
            continue;
        const std::optional<double> &value = record.number(c);
        char *field = numbers[ItemRecord::slotOf(c)].data();
        if (value && !DbfWriter::formatNumber(*value, kItemNumberWidth, kItemNumberDecimals, field))
            problems.push_back(QStringLiteral("%1: %2 does not fit in %3 places with %4 decimals")
                                   .arg(QLatin1String(kItemColumns[std::size_t(c)].name))
                                   .arg(*value, 0, 'g', 17)
                                   .arg(kItemNumberWidth)
                                   .arg(kItemNumberDecimals));
    }
    if (!problems.empty())
        return problems;
    writer_.addRecord();
    for (int c = 0; c < kItemColumnCount; ++c) {
        const std::size_t slot = ItemRecord::slotOf(c);
        if (isTextColumn(c))
            writer_.setText(c, texts.bytes[slot]);
        else if (record.number(c))
            writer_.setRaw(c, QByteArrayView(numbers[slot].data(), kItemNumberWidth));
    }
    return {};
}

namespace {

QString systemReason() { return qt_error_string(errno); }

// The file a save replaces: `path` itself, or what a link there points to.
QString saveTarget(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() && !info.exists())
        throw Error(QStringLiteral("%1: a link to a file that does not exist").arg(path));
    if (!info.exists())
        return info.absoluteFilePath();
    if (!info.isFile())
        throw Error(QStringLiteral("%1: not a regular file; refusing to replace it").arg(path));
    return info.canonicalFilePath();
}

// What a new file gets: read and write for all, less the umask, read
// without changing it (another thread may be creating files).
mode_t newFileMode()
{
    constexpr mode_t kUsualUmask = 022;
    mode_t mask = kUsualUmask;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        while (!status.atEnd())
            if (const QByteArray line = status.readLine(); line.startsWith("Umask:"))
                mask = mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
    return (S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH) & ~mask;
}

// The finished temporary gets the table's permissions (a new table those of
// any new file) and reaches the disk before it replaces the table.
void settle(QTemporaryFile &temporary, const QString &target)
{
    struct stat old {};
    const mode_t mode = ::stat(QFile::encodeName(target).constData(), &old) == 0 ? old.st_mode & 07777 : newFileMode();
    if (!temporary.flush() || ::fchmod(temporary.handle(), mode) != 0 || ::fsync(temporary.handle()) != 0)
        throw Error(
            QStringLiteral("%1: cannot write: %2")
                .arg(target, temporary.error() != QFileDevice::NoError ? temporary.errorString() : systemReason()));
}

// NAME.bak becomes the table about to be replaced: a second name for the same
// file where the file system allows, a copy elsewhere.
void keepBackup(const QString &table)
{
    if (!QFileInfo::exists(table))
        return;
    const QString backup = table + QStringLiteral(".bak");
    if (QFileInfo(backup).isDir())
        throw Error(QStringLiteral("%1: a directory is in the way of the backup").arg(backup));
    if (::unlink(QFile::encodeName(backup).constData()) != 0 && errno != ENOENT)
        throw Error(QStringLiteral("%1: cannot replace the old backup: %2").arg(backup, systemReason()));
    if (::link(QFile::encodeName(table).constData(), QFile::encodeName(backup).constData()) == 0)
        return;
    QFile old(table);
    if (!old.copy(backup))
        throw Error(QStringLiteral("%1: cannot keep the previous table: %2").arg(backup, old.errorString()));
}

// A NAME.cpg beside the table, in any letter case, would override the
// language byte for the loader and most other readers.
void removeCodePageFiles(const QString &table)
{
    const QFileInfo info(table);
    const QDir dir = info.absoluteDir();
    for (const QString &name : dir.entryList({info.completeBaseName() + QStringLiteral(".cpg")}, QDir::Files)) {
        QFile sidecar(dir.filePath(name));
        if (!sidecar.remove())
            throw Error(QStringLiteral("%1: cannot remove this code-page file, which would override the new "
                                       "table's code page: %2")
                            .arg(sidecar.fileName(), sidecar.errorString()));
    }
}

} // namespace

bool saveAtomically(const QString &path, const std::function<bool(QFileDevice &)> &fill, SaveOptions options)
{
    const QString target = saveTarget(path);
    // A short name of its own, so a file named near the length limit still
    // has room for its temporary.
    QTemporaryFile temporary(QFileInfo(target).absolutePath() + QStringLiteral("/.vestor-XXXXXX.tmp"));
    if (!temporary.open())
        throw Error(
            QStringLiteral("%1: cannot create a temporary file beside it: %2").arg(target, temporary.errorString()));
    if (!fill(temporary))
        return false;
    settle(temporary, target);
    if (options.keepBackup)
        keepBackup(target);
    if (::rename(QFile::encodeName(temporary.fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        throw Error(QStringLiteral("%1: cannot replace: %2").arg(target, systemReason()));
    temporary.setAutoRemove(false);
    return true;
}

bool saveItemTable(const QString &path, const std::function<bool(ItemTableWriter &)> &fill, SaveOptions options)
{
    const auto write = [&](QFileDevice &file) {
        ItemTableWriter writer(file, path);
        if (!fill(writer))
            return false;
        writer.finish();
        return true;
    };
    if (!saveAtomically(path, write, options))
        return false;
    removeCodePageFiles(saveTarget(path));
    return true;
}

} // namespace vestor
