#include "catalogue/FileIdentity.h"

#include <QByteArray>
#include <QFile>
#include <QHash>

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vestor {

namespace {

constexpr qsizetype kChunk = 1 << 20;
constexpr std::int64_t kNsPerSecond = 1'000'000'000;

// Closes the descriptor however the reading ends.
struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

std::optional<FileIdentity> FileIdentity::of(const QString &path)
{
    const Descriptor file{::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    struct stat st {};
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    FileIdentity id;
    id.device = std::uint64_t(st.st_dev);
    id.inode = std::uint64_t(st.st_ino);
    id.size = std::int64_t(st.st_size);
    id.modifiedNs = std::int64_t(st.st_mtim.tv_sec) * kNsPerSecond + st.st_mtim.tv_nsec;
    // qHash is seeded explicitly, so the same bytes give the same sum for
    // the whole run, and it reads a table of hundreds of megabytes in well
    // under a second.
    QByteArray chunk(kChunk, Qt::Uninitialized);
    std::size_t sum = 0;
    qsizetype filled = 0;
    for (;;) {
        // Whole chunks whatever each read returns, so the sum depends on the bytes alone.
        const ssize_t got = ::read(file.fd, chunk.data() + filled, std::size_t(kChunk - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        filled += got;
        if (filled == kChunk || (got == 0 && filled > 0))
            sum = qHash(QByteArrayView(chunk.constData(), std::exchange(filled, 0)), sum);
        if (got == 0)
            break;
    }
    id.checksum = sum;
    return id;
}

} // namespace vestor
