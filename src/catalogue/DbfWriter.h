#pragma once

// The one dBase writer: shapelib's DBF API over a Qt device, one record at a
// time, so a table of any size is written in constant memory. Every failure
// throws Error naming the file and the system's reason.

#include "catalogue/ItemRecord.h"

#include <QByteArray>
#include <QDate>
#include <QFileDevice>
#include <QIODevice>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vestor {

// One column of a table being written. `type` is the dBase field type ('C',
// 'N', 'F', 'D', 'L', 'M'); shapelib writes widths 1..255.
struct DbfColumn {
    std::string name;
    char type = 'C';
    int width = 0;
    int decimals = 0;
};

// The 27 columns of kItemColumns as the item table declares them.
std::vector<DbfColumn> itemDbfColumns();

class DbfWriter
{
public:
    // Starts a table on `device` (open for reading and writing, seekable,
    // empty: shapelib reads the header back to set the record count); `name`
    // is the file named in messages. The header is written when the first
    // record is, or by finish().
    DbfWriter(QIODevice &device, const QString &name, std::span<const DbfColumn> columns, std::uint8_t languageDriver,
              QDate lastUpdate = QDate::currentDate());
    ~DbfWriter();
    DbfWriter(const DbfWriter &) = delete;
    DbfWriter &operator=(const DbfWriter &) = delete;

    // Starts the next record; every field is blank until set.
    void addRecord(bool deleted = false);
    // Text already in the table's code page: at most the field's width, no NUL.
    void setText(int column, QByteArrayView bytes);
    // Bytes as they stand in the file (numbers right-aligned), for the tests'
    // odd tables; cut at the field's width.
    void setRaw(int column, QByteArrayView bytes);

    // The text a numeric field of `width` and `decimals` holds for `value`
    // (right-aligned, NUL-terminated, in `out` of width + 1 chars); false when
    // the field cannot hold it exactly. Independent of the C locale, which a
    // Russian desktop sets to a decimal comma (shapelib's own formatting
    // follows it).
    static bool formatNumber(double value, int width, int decimals, char *out);
    static constexpr int kMaxFieldWidth = 255;

    // Writes the last record, the record count and the end mark, and flushes.
    void finish();
    std::int64_t recordCount() const { return records_; }

    struct Handle; // shapelib's table and the device under it

private:
    [[noreturn]] void fail(const QString &what) const;
    void flushRecord();
    char *field(int column);

    std::unique_ptr<Handle> handle_;
    QString name_;
    std::vector<DbfColumn> columns_;
    std::vector<int> offsets_; // where each field starts in a record
    // The record being filled, handed to shapelib whole (DBFWriteTuple).
    QByteArray record_;
    bool pending_ = false;
    std::int64_t records_ = 0;
};

// Writes ItemRecords as the item table, checked and encoded one by one.
class ItemTableWriter
{
public:
    ItemTableWriter(QIODevice &device, const QString &name, QDate lastUpdate = QDate::currentDate());
    // Writes `record`, or writes nothing and returns why it cannot be stored,
    // one line per faulty column ("NAME: character U+9F8D has no
    // Windows-1251 code"; a number that N(12,2) cannot hold exactly).
    [[nodiscard]] std::vector<QString> write(const ItemRecord &record);
    void finish() { writer_.finish(); }
    std::int64_t recordCount() const { return writer_.recordCount(); }

private:
    DbfWriter writer_;
};

struct SaveOptions {
    bool keepBackup = false;      // keep the file replaced as NAME.bak
    bool replaceReadOnly = false; // a file its owner may not write is kept unless this is set
};

// How a save went: whether the file was replaced, and what failed after it
// was (the backup not renamed, a leftover not removed). Those are warnings:
// the new file is in place whatever they say.
struct SaveResult {
    bool saved = false;
    std::vector<QString> warnings;
    explicit operator bool() const { return saved; }
};

// Saves the file at `path` all at once or not at all: `fill` writes into a
// temporary beside it (a short unpredictable name, created exclusively, no
// links followed; open for reading and writing), which then gets the old
// file's permissions, reaches the disk and replaces it; returning false or
// throwing discards it and leaves the old file whole. An existing `path` must
// be a regular file (a link to one is followed and the link kept) that its
// owner may write, unless options say otherwise. With keepBackup, NAME.bak
// becomes the file replaced only once the new one is in place; until then
// the old NAME.bak stays. Throws Error naming the file and the reason when
// nothing was replaced.
SaveResult saveAtomically(const QString &path, const std::function<bool(QFileDevice &)> &fill,
                          SaveOptions options = {});

// saveAtomically for an item table: `fill` writes the records. Every NAME.cpg
// beside it, in any letter case, would override the table's code page: each
// is moved out of the way before the table is replaced (one that cannot be
// moved stops the save) and removed after.
SaveResult saveItemTable(const QString &path, const std::function<bool(ItemTableWriter &)> &fill,
                         SaveOptions options = {});

// The file a save at `path` replaces: `path` itself or what a link there
// points to. Throws Error for a dangling link, a loop of links and anything
// that is not a regular file.
QString saveTarget(const QString &path);

// What writing text over `output` would destroy, for tools that write CSV
// beside item tables: nothing, `table` itself, its NAME.bak, or some other
// dBase table. A file is judged by what it is (device and inode, its header),
// not by its name.
enum class Overwrites { Nothing, TheTable, TheBackup, ATable };
Overwrites whatOutputOverwrites(const QString &output, const QString &table);

// Whether the regular file at `path` starts with a sound dBase header.
bool isDbaseTable(const QString &path);

} // namespace vestor
