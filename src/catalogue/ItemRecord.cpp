#include "catalogue/ItemRecord.h"

#include "catalogue/CodePage.h"

#include <algorithm>

namespace vestor {

namespace {

// The TYPE codes the slots ask for.
constexpr std::array<const char *, 9> kItemTypes{"2hand",  "armor",  "ponogi", "ring", "pojas",
                                                 "perchi", "helmet", "amulet", "lats"};
// The RACE code of items every race may wear.
constexpr const char *kEveryRace = "No";

QString codePoint(char32_t c) { return QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper(); }

std::optional<QString> controlCharacter(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("control character ") + codePoint(c.unicode());
    return std::nullopt;
}

// Why `text` cannot be a text field of the item table, or its bytes.
std::optional<QString> encodeText(const QString &text, QByteArray &bytes)
{
    if (text.isEmpty())
        return QStringLiteral("empty");
    // Stored, it would read back as an empty field, which nothing accepts.
    if (text.trimmed().isEmpty())
        return QStringLiteral("blank (spaces only)");
    if (auto control = controlCharacter(text))
        return control;
    char32_t missing = 0;
    auto encoded = cp1251::encodeExactly(text, &missing);
    if (!encoded)
        return QStringLiteral("character %1 has no Windows-1251 code").arg(codePoint(missing));
    if (encoded->size() > kItemTextWidth)
        return QStringLiteral("%1 bytes in Windows-1251, at most %2 allowed").arg(encoded->size()).arg(kItemTextWidth);
    bytes = std::move(*encoded);
    return std::nullopt;
}

bool isRaceCode(const QString &code)
{
    if (code == QLatin1String(kEveryRace))
        return true;
    return std::ranges::any_of(races(), [&](const Race &r) { return code == QLatin1String(r.code); });
}

} // namespace

// Each column's place among the columns of its kind, worked out once at start
// (kItemColumns is constant-initialised, so ready before this).
const std::array<std::size_t, kItemColumnCount> kItemSlots = [] {
    std::array<std::size_t, kItemColumnCount> s{};
    std::size_t texts = 0, numbers = 0;
    for (int c = 0; c < kItemColumnCount; ++c)
        s[std::size_t(c)] = isTextColumn(c) ? texts++ : numbers++;
    return s;
}();

ItemRecord itemRecordAt(const ItemRows &rows, int row)
{
    ItemRecord record;
    for (int c = 0; c < kItemColumnCount; ++c) {
        if (isTextColumn(c))
            record.text(c) = rows.text(c, row);
        else
            record.number(c) = rows.number(c, row);
    }
    return record;
}

EncodedTexts encodeItemTexts(const ItemRecord &record)
{
    EncodedTexts out;
    for (int c = 0; c < kItemColumnCount; ++c) {
        if (!isTextColumn(c))
            continue;
        if (auto problem = encodeText(record.text(c), out.bytes[ItemRecord::slotOf(c)]))
            out.problems.push_back(QString::fromLatin1(kItemColumns[std::size_t(c)].name) + QStringLiteral(": ") +
                                   *problem);
    }
    return out;
}

std::optional<QString> itemTextProblem(const QString &text)
{
    QByteArray bytes;
    return encodeText(text, bytes);
}

std::vector<QString> itemRecordWarnings(const ItemRecord &record)
{
    std::vector<QString> warnings;
    const QString &type = record.text(kTypeColumn);
    if (std::ranges::none_of(kItemTypes, [&](const char *t) { return type == QLatin1String(t); }))
        warnings.push_back(
            QStringLiteral("TYPE: \"%1\" is not a type any slot takes; no pick will choose it").arg(type));
    const QString &race = record.text(kRaceColumn);
    if (!isRaceCode(race))
        warnings.push_back(QStringLiteral("RACE: \"%1\" is not a race code; no pick will choose it").arg(race));
    return warnings;
}

} // namespace vestor
