#include "Columns.h"

namespace vestor {

using enum ColumnKind;

const std::array<ItemColumn, kItemColumnCount> kItemColumns{{
    {"TYPE", String},    {"NAME", String},   {"PRICE", Float},   {"RACE", String},   {"UROV", Float},
    {"SILA", Float},     {"LOVKA", Float},   {"REAK", Float},    {"ZLOST", Float},   {"UDACHA", Float},
    {"SLOG", Float},     {"KULACH", Float},  {"ZASHITA", Float}, {"ORUG", Float},    {"METK", Float},
    {"OB_UV", Float},    {"OB_UD", Float},   {"OB_OTV", Float},  {"OB_KR", Float},   {"GOLOVA", Float},
    {"KORP", Float},     {"NOGI", Float},    {"RUKI", Float},    {"OB_UV_P", Float}, {"OB_UD_P", Float},
    {"OB_OTV_P", Float}, {"OB_KR_P", Float},
}};

const char *statColumn(int statIndex)
{
    // Stats 1..14 are columns 6..19; 15..18 follow the four armour columns.
    static constexpr std::array<int, kStatCount> position{5,  6,  7,  8,  9,  10, 11, 12, 13,
                                                          14, 15, 16, 17, 18, 23, 24, 25, 26};
    return kItemColumns.at(position.at(statIndex - 1)).name;
}

const std::array<Race, kRaceCount> &races()
{
    static const std::array<Race, kRaceCount> list{{
        {QStringLiteral("Эльф"), "El"},
        {QStringLiteral("Человек"), "Hm"},
        {QStringLiteral("Гном"), "Gn"},
        {QStringLiteral("Орк"), "Or"},
        {QStringLiteral("Хоббит"), "Hb"},
        {QStringLiteral("Дракон"), "Dr"},
    }};
    return list;
}

std::optional<int> raceIndexByName(const QString &text)
{
    for (int i = 0; i < kRaceCount; ++i)
        if (races()[i].name == text)
            return i;
    return std::nullopt;
}

} // namespace vestor
