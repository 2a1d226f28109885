#include "catalogue/Columns.h"

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

int itemColumnIndex(std::string_view name)
{
    for (int c = 0; c < kItemColumnCount; ++c)
        if (kItemColumns[std::size_t(c)].name == name)
            return c;
    return -1;
}

int statColumnIndex(int statIndex)
{
    // Stats 1..14 are columns 6..19; 15..18 follow the four armour columns.
    static constexpr std::array<int, kStatCount> position{5,  6,  7,  8,  9,  10, 11, 12, 13,
                                                          14, 15, 16, 17, 18, 23, 24, 25, 26};
    return position.at(std::size_t(statIndex - 1));
}

const char *statColumn(int statIndex) { return kItemColumns.at(std::size_t(statColumnIndex(statIndex))).name; }

int Race::bonusOf(int statIndex) const
{
    const int k = statIndex - kFirstRaceBonusStat;
    return k >= 0 && k < kRaceBonusStats ? bonus[k] : 0;
}

const std::array<Race, kRaceCount> &races()
{
    static const std::array<Race, kRaceCount> list{{
        {QStringLiteral("Эльф"), "El", {10, 0, 10, 0}},
        {QStringLiteral("Человек"), "Hm", {5, 10, 10, 5}},
        {QStringLiteral("Гном"), "Gn", {0, 10, 10, 0}},
        {QStringLiteral("Орк"), "Or", {0, 0, 0, 10}},
        {QStringLiteral("Хоббит"), "Hb", {0, 10, 0, 10}},
        {QStringLiteral("Дракон"), "Dr", {10, 10, 10, 10}},
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

const Race *raceByName(const QString &text)
{
    const auto index = raceIndexByName(text);
    return index ? &races()[*index] : nullptr;
}

} // namespace vestor
