#pragma once

// Real dBase files for the tests, described as data. Tables the program's
// own writer can produce are written by it; the shapes shapelib cannot write
// (version bytes other than dBase III's, the block after the header's end
// mark, NUL padding, text wider than 255 or with a hint in the decimals byte)
// by a small byte builder here, so a test can also build every kind of
// foreign or damaged file.

#include "catalogue/DbfWriter.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace testdbf {

// A column as the program's writer declares one. For a C field narrower
// than 256 the byte builder writes `decimals` as is into the byte FoxPro uses
// for long widths (some writers put a format hint there).
using Field = vestor::DbfColumn;

struct Record {
    std::vector<QByteArray> values; // raw field text, already encoded
    bool deleted = false;
};

struct Table {
    std::uint8_t version = 0x03;
    std::uint8_t languageDriver = 0xC9;
    std::vector<Field> fields;
    std::vector<Record> records;
    QByteArray afterTerminator; // e.g. the 263-byte block of Visual FoxPro
    char textPadding = ' ';     // what fills character fields: blanks or NULs
};

// The file's bytes: header, descriptors, records (text left-aligned and
// padded with textPadding, numbers right-aligned with blanks), end-of-file
// mark; last update 2026-12-09.
QByteArray bytes(const Table &table);

void writeFile(const QString &path, const QByteArray &data);

// One item row with the item table's 27 columns.
struct Item {
    QString type;
    QString name;
    double price = 0;
    QString race = QStringLiteral("No");
    double urov = 1;
    std::array<double, 18> stats{}; // by stat index - 1
    std::array<double, 4> armour{}; // GOLOVA, KORP, NOGI, RUKI
    bool deleted = false;
};

// The item table's 27 declared columns: text width 50, numbers N 12.2.
std::vector<Field> itemFields();

// A Windows-1251 item table holding `items` in order.
Table itemTable(const std::vector<Item> &items);

// A number as a dBase N field writes it.
QByteArray number(double value, int decimals = 2);

} // namespace testdbf
