#pragma once

// What the two halves of the dBase loader share: reading the file's bytes
// safely and naming what is wrong with them.

#include "catalogue/Error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <cstdint>

namespace vestor {

constexpr int kFileHeaderSize = 32;

std::uint16_t le16(QByteArrayView b, int at);

// Bytes of a damaged file may be anything; show them printable.
QString printable(QByteArrayView bytes);

Error damagedTable(const QString &fileName, const QString &reason);

// A file opened for reading without following it into a hang: a FIFO or a
// device under the table's name would block open() or read() for ever, so
// the file is opened without blocking and refused unless the descriptor is
// a regular file. Returns the size; throws Error naming the file.
qint64 openRegularFile(QFile &file, const QString &path, const QString &what);

// The table file, read in large blocks straight into one buffer.
class TableFile
{
public:
    explicit TableFile(const QString &path) : size_(openRegularFile(file_, path, QStringLiteral("the item table"))) {}

    qint64 size() const { return size_; }

    // Up to `length` bytes from `offset` into `buffer`, fewer at the end of
    // the file. Reads of several threads at once do not disturb each other.
    QByteArrayView read(qint64 offset, qint64 length, QByteArray &buffer) const;

private:
    QFile file_;
    qint64 size_;
};

} // namespace vestor
