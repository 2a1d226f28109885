#pragma once

#include "catalogue/Columns.h"
#include "catalogue/ItemRows.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vestor {

inline constexpr int kItemTextCount = 3;
inline constexpr int kItemNumberCount = kItemColumnCount - kItemTextCount;

// The item table as Vestor writes it: text C(50), numbers N(12,2),
// Windows-1251 marked by language-driver byte 0xC9.
inline constexpr int kItemTextWidth = 50;
inline constexpr int kItemNumberWidth = 12;
inline constexpr int kItemNumberDecimals = 2;
inline constexpr std::uint8_t kWindows1251Driver = 0xC9;

// One item as it is written to a table or a CSV file: plain values, nothing
// encoded yet. `texts` holds the text columns (TYPE, NAME, RACE) and
// `numbers` the numeric ones (PRICE, UROV, SILA ... OB_KR_P), each in
// kItemColumns order; a number without a value is a blank field.
struct ItemRecord {
    std::array<QString, kItemTextCount> texts;
    std::array<std::optional<double>, kItemNumberCount> numbers;

    // Column `column` of kItemColumns, which must be of the matching kind.
    QString &text(int column) { return texts[slotOf(column)]; }
    const QString &text(int column) const { return texts[slotOf(column)]; }
    std::optional<double> &number(int column) { return numbers[slotOf(column)]; }
    const std::optional<double> &number(int column) const { return numbers[slotOf(column)]; }

    bool operator==(const ItemRecord &) const = default;

    // Where column `column` sits among the columns of its own kind.
    static std::size_t slotOf(int column);
};

// ItemRecord::slotOf for every column, read on every cell of millions of rows.
extern const std::array<std::size_t, kItemColumnCount> kItemSlots;
inline std::size_t ItemRecord::slotOf(int column) { return kItemSlots[std::size_t(column)]; }

inline bool isTextColumn(int column) { return kItemColumns[std::size_t(column)].kind == ColumnKind::String; }

// Row `row` of a loaded table as a record.
ItemRecord itemRecordAt(const ItemRows &rows, int row);

// The record's texts in Windows-1251, or the reasons it cannot be stored
// in the item table ("NAME: 51 bytes in Windows-1251, at most 50 allowed"),
// one per faulty column. Numbers are not judged here: the writer refuses one
// its field cannot hold exactly.
struct EncodedTexts {
    std::array<QByteArray, kItemTextCount> bytes;
    std::vector<QString> problems;
};
EncodedTexts encodeItemTexts(const ItemRecord &record);
// Why `text` cannot stand in a text column of the item table ("empty",
// "character U+9F8D has no Windows-1251 code"), or nothing when it can.
std::optional<QString> itemTextProblem(const QString &text);

// Why the record can never be picked, though it is stored: a TYPE no slot
// asks for, a RACE that is no race's code ("RING", " ring", "Elf"). Keepers
// may add codes ahead of the program, so these are warnings only.
std::vector<QString> itemRecordWarnings(const ItemRecord &record);

} // namespace vestor
