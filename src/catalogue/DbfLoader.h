#pragma once

#include "catalogue/Columns.h"
#include "catalogue/ItemStore.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace vestor {

struct DbfField {
    QString name;
    char type = 0;
    int width = 0;
    int decimals = 0;
    int offset = 0; // where the field starts in a record; byte 0 is the deletion flag
};

// What the first bytes of a dBase file say about it, once checked for sense.
struct DbfHeader {
    std::uint8_t version = 0;
    std::uint8_t languageDriver = 0;
    std::uint32_t recordCount = 0;
    std::uint16_t headerLength = 0;
    std::uint16_t recordLength = 0;
    std::vector<DbfField> fields;
};

// Checks a table's header: `head` holds at least the file's first
// headerLength bytes (or the whole file if shorter), `fileSize` the full
// size. Throws Error naming the problem; `fileName` is used in messages.
DbfHeader checkDbfHeader(QByteArrayView head, std::uint64_t fileSize, const QString &fileName);

// The code page a table's text is written in: the .cpg sidecar's word when
// there is one that names a known code page, else the language-driver byte.
// Returns a name QStringDecoder knows. Throws Error when the sidecar is not
// a regular file.
QByteArray dbfCodePage(const QString &dbfPath, std::uint8_t languageDriver);

// Told now and then during a load how many of the file's bytes are read;
// called on the loading thread.
using LoadProgress = std::function<void(qint64 bytesRead, qint64 bytesTotal)>;

// Loads the dBase table at `path`: RECNO, the record's position in the file,
// then the declared columns (checked by name and kind). Deleted records are
// skipped; text is decoded and stripped of its padding; blank numbers become
// null. The file is read once; its record range is split in `threads`
// parts read side by side (0: one per core when the table is big enough to
// gain), with the same store and the same faults as one reading it all.
// Throws Error on any fault, the first in the file when there are several,
// including a file that is not a regular file.
std::shared_ptr<const ItemStore> loadDbfTable(const QString &path, std::span<const ItemColumn> declared,
                                              const LoadProgress &progress = {}, int threads = 0);

} // namespace vestor
