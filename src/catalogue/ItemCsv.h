#pragma once

// The item catalogue as UTF-8 CSV, the text people edit (data/Subjects.csv):
// a header naming the 27 columns of kItemColumns, then one item per line.
// RFC 4180 quoting ("a, b", "say ""hi"""), LF or CRLF line ends, a leading
// BOM ignored, blank lines at the end ignored. Text cells are non-empty and
// fit the item table (see encodeItemTexts); number cells are an optional sign,
// digits and up to 2 fraction digits, 12 characters at most written with 2
// decimals; an empty number cell is a blank field.
//
// Spreadsheets run a cell that starts with =, +, -, @, TAB or CR as a
// formula, so the writer puts a ' before such a text cell (and before one
// that already starts with ' and then such a character); the reader takes
// exactly one ' off again, so a table's text comes back byte for byte.

#include "catalogue/ItemRecord.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringDecoder>

#include <optional>
#include <vector>

namespace vestor {

// The header line every item CSV starts with: TYPE,NAME,PRICE,...
QByteArray itemCsvHeader();

// A non-empty number cell as the reader takes it, or nothing with `problem`
// saying why not; for a value typed anywhere else an item CSV would hold.
std::optional<double> parseItemNumber(QByteArrayView cell, QString &problem);

// Reads an item CSV one row at a time, in constant memory. Faults that leave
// the rest unreadable (a header that is not exactly itemCsvHeader(), a quote
// never closed, a line past kMaxLineBytes, a NUL byte, a read error) throw
// Error "FILE:LINE: reason"; a row's own faults come back with the row.
class ItemCsvReader
{
public:
    static constexpr qsizetype kMaxLineBytes = 64 * 1024;

    struct Row {
        int line = 0; // the line the row starts on
        ItemRecord record;
        std::vector<QString> problems; // "FILE:LINE: NAME: empty"; the row is unusable
        std::vector<QString> warnings; // "FILE:LINE: RACE: ..."; the row is stored anyway
    };

    // `device` is open for reading; `name` names it in messages.
    ItemCsvReader(QIODevice &device, const QString &name);
    // The next row; nothing once the input ends.
    std::optional<Row> next();

private:
    bool readRecord(std::vector<QByteArray> &cells);
    void readField(QByteArray &field);
    void readQuoted(QByteArray &field);
    bool fill();
    int peek();
    int take();
    void count(qsizetype bytes);
    [[noreturn]] void fail(int line, const QString &reason) const;
    void checkHeader();
    Row convert(int line, const std::vector<QByteArray> &cells);
    void convertCell(int column, const QByteArray &cell, Row &row);
    QString where(int line) const;

    QIODevice &device_;
    QString name_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
    bool atEnd_ = false;
    int line_ = 1;
    qsizetype recordBytes_ = 0;
    bool headerRead_ = false;
    std::vector<QByteArray> cells_;
    // A record read past blank lines, to tell trailing ones from inner ones.
    std::vector<QByteArray> pendingCells_;
    bool havePending_ = false;
    int pendingLine_ = 0;
    QStringDecoder utf8_{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};
};

// How a text cell is written, beyond the CSV's own quoting.
struct ItemCsvStyle {
    // As the table holds it, with no ' before what a spreadsheet would run.
    bool raw = false;
    // Control characters as \x1b, for a terminal: a table's bytes must not
    // steer it. The file is then for reading, not for csv2dbf.
    bool escapeControls = false;
};

// Writes items as an item CSV in the format of data/Subjects.csv: LF line
// ends, quotes only where a cell needs them, numbers in the shortest text that
// reads back as the same value, a blank field as an empty cell. Every write is
// checked; failures throw Error naming the file and the system's reason.
class ItemCsvWriter
{
public:
    ItemCsvWriter(QIODevice &device, const QString &name, ItemCsvStyle style = {});
    void write(const ItemRecord &record);
    // Flushes what is buffered; the output is whole only after this.
    void finish();

private:
    void put(const QByteArray &bytes);

    QByteArray textCell(const QString &text) const;

    QIODevice &device_;
    QString name_;
    ItemCsvStyle style_;
    QByteArray line_;
};

} // namespace vestor
