#pragma once

// What a file is at one moment: which file (device and inode), how big, when
// last changed, and a checksum of its bytes. Two identities differ when
// another program replaced the file, rewrote it in place, or put back an old
// modification time over new bytes.

#include <QString>

#include <cstdint>
#include <optional>

namespace vestor {

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    // Catches accidental changes, not deliberate forgeries: enough for
    // telling whether someone else wrote the file meanwhile.
    std::uint64_t checksum = 0;

    bool operator==(const FileIdentity &) const = default;

    // The identity of the regular file at `path` (links followed); nothing
    // when there is none or it cannot be read. Opens without blocking, so a
    // FIFO under the name is judged, not waited on.
    static std::optional<FileIdentity> of(const QString &path);
};

} // namespace vestor
