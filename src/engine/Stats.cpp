#include "Stats.h"

#include "Columns.h"

namespace vestor {

const std::array<Stat, kStats> &stats()
{
    static const std::array<Stat, kStats> table = [] {
        std::array<Stat, kStats> t{{
            {1, "Sila", QStringLiteral("Сила"), nullptr, false, "Edit3", "Label5", "Edit9", "Label11", "Edit31",
             "Label3", 25},
            {2, "Lovka", QStringLiteral("Ловкость"), nullptr, false, "Edit4", "Label6", "Edit10", "Label12", "Edit32",
             "Label34", 49},
            {3, "Reak", QStringLiteral("Реакция"), nullptr, false, "Edit5", "Label7", "Edit11", "Label13", "Edit33",
             "Label35", 43},
            {4, "Zlost", QStringLiteral("Злость"), nullptr, false, "Edit6", "Label8", "Edit12", "Label14", "Edit34",
             "Label36", 36},
            {5, "Udacha", QStringLiteral("Удача"), nullptr, false, "Edit7", "Label9", "Edit13", "Label15", "Edit35",
             "Label37", 31},
            {6, "Slog", QStringLiteral("Сложение"), nullptr, false, "Edit8", "Label10", "Edit14", "Label16", "Edit36",
             "Label38", 51},
            {7, "Kulach", QStringLiteral("Кулачный бой"), nullptr, true, "Edit23", "Label25", "Edit15", "Label17",
             "Edit37", "Label39", 70},
            {8, "Zashita", QStringLiteral("Защита"), nullptr, true, "Edit24", "Label26", "Edit16", "Label18", "Edit38",
             "Label40", 39},
            {9, "Orug", QStringLiteral("Вл. оружием"), nullptr, true, "Edit25", "Label27", "Edit17", "Label19",
             "Edit39", "Label41", 64},
            {10, "Metk", QStringLiteral("Меткость"), nullptr, true, "Edit26", "Label28", "Edit18", "Label20", "Edit40",
             "Label42", 49},
            {11, "Ob_Uv", QStringLiteral("Об. уворота"), nullptr, true, nullptr, nullptr, "Edit19", "Label21", "Edit41",
             "Label43", 60},
            {12, "Ob_Ud", QStringLiteral("Об. удачи"), nullptr, true, nullptr, nullptr, "Edit20", "Label22", "Edit42",
             "Label44", 48},
            {13, "Ob_Otv", QStringLiteral("Об. ответа"), nullptr, true, nullptr, nullptr, "Edit21", "Label23", "Edit43",
             "Label45", 54},
            {14, "Ob_Kr", QStringLiteral("Об. крита"), nullptr, true, nullptr, nullptr, "Edit22", "Label24", "Edit44",
             "Label46", 49},
            {15, "Ob_Uv_p", QStringLiteral("Об. уворота (П)"), nullptr, true, nullptr, nullptr, "Edit27", "Label29",
             "Edit45", "Label47", 77},
            {16, "Ob_Ud_p", QStringLiteral("Об. удачи (П)"), nullptr, true, nullptr, nullptr, "Edit28", "Label30",
             "Edit46", "Label48", 65},
            {17, "Ob_Otv_p", QStringLiteral("Об. ответа (П)"), nullptr, true, nullptr, nullptr, "Edit29", "Label31",
             "Edit47", "Label49", 71},
            {18, "Ob_Kr_p", QStringLiteral("Об. крита (П)"), nullptr, true, nullptr, nullptr, "Edit30", "Label32",
             "Edit48", "Label50", 66},
        }};
        // The item columns are the catalogue's; take them from there.
        for (Stat &s : t)
            s.column = statColumn(s.index);
        return t;
    }();
    return table;
}

const Stat &stat(int index) { return stats().at(index - 1); }

const Stat *statByName(const QString &name)
{
    for (const Stat &s : stats())
        if (name.compare(QLatin1String(s.name), Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

const std::array<int, 4> &raceBonus(int raceIndex)
{
    // Ob_Uv, Ob_Ud, Ob_Otv, Ob_Kr, in the order of the race list.
    static const std::array<std::array<int, 4>, kRaceCount> bonus{{
        {10, 0, 10, 0},   // Эльф
        {5, 10, 10, 5},   // Человек
        {0, 10, 10, 0},   // Гном
        {0, 0, 0, 10},    // Орк
        {0, 10, 0, 10},   // Хоббит
        {10, 10, 10, 10}, // Дракон
    }};
    return bonus.at(raceIndex);
}

} // namespace vestor
