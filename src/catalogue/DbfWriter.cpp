#include "catalogue/DbfWriter.h"

#include "catalogue/CodePage.h"
#include "catalogue/DbfLoader.h"
#include "catalogue/Error.h"
#include "catalogue/IoFailure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <shapefil.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <tuple>
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

constexpr int kNameAttempts = 100;
constexpr qint64 kLongestHeader = 65536; // the header length is a 16-bit number

QString systemReason() { return qt_error_string(errno); }
QByteArray native(const QString &path) { return QFile::encodeName(path); }

// Whether the file's owner has taken away the right to write it (mode
// 0444), or the system would not let us: root may write anything, yet a
// file marked read-only is not meant to be replaced.
bool readOnly(const QString &target)
{
    struct stat st {};
    const QByteArray name = native(target);
    if (::stat(name.constData(), &st) != 0)
        return false;
    return (st.st_mode & S_IWUSR) == 0 || ::access(name.constData(), W_OK) != 0;
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
    const mode_t mode = ::stat(native(target).constData(), &old) == 0 ? old.st_mode & 07777 : newFileMode();
    if (!temporary.flush() || ::fchmod(temporary.handle(), mode) != 0 || ::fsync(temporary.handle()) != 0)
        throw Error(
            QStringLiteral("%1: cannot write: %2")
                .arg(target, temporary.error() != QFileDevice::NoError ? temporary.errorString() : systemReason()));
}

// A hidden, unpredictable name in `dir` made by `make`, which returns 0 or
// the error number it failed with; a name already taken is passed over.
std::pair<QString, int> freeName(const QString &dir, const char *suffix,
                                 const std::function<int(const QByteArray &)> &make)
{
    int error = EEXIST;
    for (int attempt = 0; attempt < kNameAttempts && error == EEXIST; ++attempt) {
        const QString name =
            QStringLiteral("%1/.vestor-%2%3")
                .arg(dir, QString::number(QRandomGenerator::global()->generate64(), 36), QLatin1String(suffix));
        error = make(native(name));
        if (error == 0)
            return {name, 0};
    }
    return {{}, error};
}

// Renames without replacing what may stand at `to`.
int renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system that cannot promise it; the name is unpredictable anyway.
    if (QFile::exists(QFile::decodeName(to)))
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

// Every NAME.cpg beside the table, in any letter case: the loader and most
// other readers would take its word over the new table's language byte.
QStringList codePageFiles(const QString &table)
{
    const QFileInfo info(table);
    const QDir dir = info.absoluteDir();
    QStringList files;
    for (const QString &name :
         dir.entryList({info.completeBaseName() + QStringLiteral(".cpg")}, QDir::Files | QDir::System | QDir::Hidden))
        files << dir.filePath(name);
    return files;
}

// What a save moves out of the way before the new file takes the target's
// name, and puts back if it never does: the previous file under a second
// name (to become NAME.bak) and the code-page files.
class Replacement
{
public:
    explicit Replacement(const QString &target) : target_(target), dir_(QFileInfo(target).absolutePath()) {}
    Replacement(const Replacement &) = delete;
    Replacement &operator=(const Replacement &) = delete;
    ~Replacement()
    {
        if (done_)
            return;
        if (!previous_.isEmpty())
            ::unlink(native(previous_).constData());
        for (const auto &[original, aside] : aside_)
            renameNoReplace(native(aside), native(original));
    }

    void holdPrevious()
    {
        const QByteArray target = native(target_);
        auto [name, error] = freeName(dir_, ".old", [&](const QByteArray &to) {
            return ::link(target.constData(), to.constData()) == 0 ? 0 : errno;
        });
        if (error != 0 && error != EEXIST) // no hard links here: a copy will do
            std::tie(name, error) = freeName(dir_, ".old", [&](const QByteArray &to) {
                const QString copy = QFile::decodeName(to);
                return QFile::exists(copy) ? EEXIST : QFile::copy(target_, copy) ? 0 : EIO;
            });
        if (error != 0)
            throw Error(QStringLiteral("%1: cannot keep the previous table: %2").arg(target_, qt_error_string(error)));
        previous_ = name;
    }

    void moveAside(const QString &codePageFile)
    {
        const auto [name, error] =
            freeName(dir_, ".cpg-old", [&](const QByteArray &to) { return renameNoReplace(native(codePageFile), to); });
        if (error != 0)
            throw Error(QStringLiteral("%1: cannot move this code-page file out of the way, and it would override "
                                       "the new table's code page: %2; nothing was replaced")
                            .arg(codePageFile, qt_error_string(error)));
        aside_.emplace_back(codePageFile, name);
    }

    // The new file is in place: what is left to do can only warn.
    std::vector<QString> finish(const QString &backup)
    {
        done_ = true;
        std::vector<QString> warnings;
        if (!previous_.isEmpty() && ::rename(native(previous_).constData(), native(backup).constData()) != 0)
            warnings.push_back(QStringLiteral("%1: the previous table could not be kept under this name (%2); it "
                                              "is kept as %3")
                                   .arg(backup, systemReason(), previous_));
        for (const auto &[original, aside] : aside_)
            if (::unlink(native(aside).constData()) != 0)
                warnings.push_back(QStringLiteral("%1: the old code-page file %2 was moved here and cannot be "
                                                  "removed: %3")
                                       .arg(aside, original, systemReason()));
        // The rename reaches the disk with the directory.
        const int dir = ::open(native(dir_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0 || ::fsync(dir) != 0)
            warnings.push_back(
                QStringLiteral("%1: saved, but the folder cannot be flushed to disk: %2").arg(target_, systemReason()));
        if (dir >= 0)
            ::close(dir);
        return warnings;
    }

private:
    QString target_;
    QString dir_;
    QString previous_;
    std::vector<std::pair<QString, QString>> aside_; // original name, name while aside
    bool done_ = false;
};

SaveResult replace(const QString &path, const std::function<bool(QFileDevice &)> &fill, SaveOptions options,
                   bool codePages)
{
    const QString target = saveTarget(path);
    if (!options.replaceReadOnly && readOnly(target))
        throw Error(QStringLiteral("%1: read-only; refusing to replace it").arg(path));
    const QString backup = target + QStringLiteral(".bak");
    if (options.keepBackup && QFileInfo(backup).isDir())
        throw Error(QStringLiteral("%1: a directory is in the way of the backup").arg(backup));
    // A short name of its own, so a file named near the length limit still
    // has room for its temporary.
    QTemporaryFile temporary(QFileInfo(target).absolutePath() + QStringLiteral("/.vestor-XXXXXX.tmp"));
    if (!temporary.open())
        throw Error(
            QStringLiteral("%1: cannot create a temporary file beside it: %2").arg(target, temporary.errorString()));
    if (!fill(temporary))
        return {};
    settle(temporary, target);
    Replacement replacement(target);
    if (options.keepBackup && QFileInfo::exists(target))
        replacement.holdPrevious();
    if (codePages)
        for (const QString &file : codePageFiles(target))
            replacement.moveAside(file);
    if (::rename(native(temporary.fileName()).constData(), native(target).constData()) != 0)
        throw Error(QStringLiteral("%1: cannot replace: %2").arg(target, systemReason()));
    temporary.setAutoRemove(false);
    return {true, replacement.finish(backup)};
}

// Closes a descriptor however the reading ends.
struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

bool sameFile(const QString &path, const struct stat &file)
{
    struct stat st {};
    return ::stat(native(path).constData(), &st) == 0 && st.st_dev == file.st_dev && st.st_ino == file.st_ino;
}

} // namespace

QString saveTarget(const QString &path)
{
    const QByteArray name = native(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        const int error = errno;
        struct stat link {};
        if (error == ELOOP)
            throw Error(QStringLiteral("%1: a loop of symbolic links; refusing to replace it").arg(path));
        if (error == ENOENT && ::lstat(name.constData(), &link) == 0 && S_ISLNK(link.st_mode))
            throw Error(QStringLiteral("%1: a link to a file that does not exist").arg(path));
        return QFileInfo(path).absoluteFilePath();
    }
    if (!S_ISREG(st.st_mode))
        throw Error(QStringLiteral("%1: not a regular file; refusing to replace it").arg(path));
    return QFileInfo(path).canonicalFilePath();
}

SaveResult saveAtomically(const QString &path, const std::function<bool(QFileDevice &)> &fill, SaveOptions options)
{
    return replace(path, fill, options, false);
}

SaveResult saveItemTable(const QString &path, const std::function<bool(ItemTableWriter &)> &fill, SaveOptions options)
{
    const auto write = [&](QFileDevice &file) {
        ItemTableWriter writer(file, path);
        if (!fill(writer))
            return false;
        writer.finish();
        return true;
    };
    return replace(path, write, options, true);
}

bool isDbaseTable(const QString &path)
{
    const Descriptor file{::open(native(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    struct stat st {};
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    QByteArray head(qsizetype(std::min<qint64>(st.st_size, kLongestHeader)), Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < head.size()) {
        const ssize_t got = ::read(file.fd, head.data() + filled, std::size_t(head.size() - filled));
        if (got <= 0 && !(got < 0 && errno == EINTR))
            break;
        filled += std::max<ssize_t>(got, 0);
    }
    head.truncate(filled);
    try {
        checkDbfHeader(head, std::uint64_t(st.st_size), QFileInfo(path).fileName());
        return true;
    } catch (const Error &) {
        return false;
    }
}

Overwrites whatOutputOverwrites(const QString &output, const QString &table)
{
    struct stat out {};
    if (::stat(native(output).constData(), &out) != 0 || !S_ISREG(out.st_mode))
        return Overwrites::Nothing; // nothing there, or refused as no regular file
    if (!table.isEmpty()) {
        if (sameFile(table, out))
            return Overwrites::TheTable;
        const QString real = QFileInfo(table).canonicalFilePath();
        for (const QString &backup : {table + QStringLiteral(".bak"), real + QStringLiteral(".bak")})
            if (sameFile(backup, out))
                return Overwrites::TheBackup;
    }
    return isDbaseTable(output) ? Overwrites::ATable : Overwrites::Nothing;
}

} // namespace vestor
