#include "engine/Stats.h"

#include "catalogue/Columns.h"

#include <algorithm>

namespace vestor {

namespace {

// A stat field takes three digits; one that may be negative also a minus sign.
constexpr int kDigits = 3;

} // namespace

const std::array<Stat, kStatCount> &stats()
{
    static const std::array<Stat, kStatCount> table = [] {
        std::array<Stat, kStatCount> t{{
            {1, "Sila", QStringLiteral("Сила"), nullptr, false, false, kDigits, "Edit3", "Edit9", "Edit31"},
            {2, "Lovka", QStringLiteral("Ловкость"), nullptr, false, false, kDigits, "Edit4", "Edit10", "Edit32"},
            {3, "Reak", QStringLiteral("Реакция"), nullptr, false, false, kDigits, "Edit5", "Edit11", "Edit33"},
            {4, "Zlost", QStringLiteral("Злость"), nullptr, false, false, kDigits, "Edit6", "Edit12", "Edit34"},
            {5, "Udacha", QStringLiteral("Удача"), nullptr, false, false, kDigits, "Edit7", "Edit13", "Edit35"},
            {6, "Slog", QStringLiteral("Сложение"), nullptr, false, false, kDigits, "Edit8", "Edit14", "Edit36"},
            {7, "Kulach", QStringLiteral("Кулачный бой"), nullptr, true, false, kDigits, "Edit23", "Edit15", "Edit37"},
            {8, "Zashita", QStringLiteral("Защита"), nullptr, true, false, kDigits, "Edit24", "Edit16", "Edit38"},
            {9, "Orug", QStringLiteral("Вл. оружием"), nullptr, true, false, kDigits, "Edit25", "Edit17", "Edit39"},
            {10, "Metk", QStringLiteral("Меткость"), nullptr, true, false, kDigits, "Edit26", "Edit18", "Edit40"},
            {11, "Ob_Uv", QStringLiteral("Об. уворота"), nullptr, true, false, kDigits, nullptr, "Edit19", "Edit41"},
            {12, "Ob_Ud", QStringLiteral("Об. удачи"), nullptr, true, false, kDigits, nullptr, "Edit20", "Edit42"},
            {13, "Ob_Otv", QStringLiteral("Об. ответа"), nullptr, true, false, kDigits, nullptr, "Edit21", "Edit43"},
            {14, "Ob_Kr", QStringLiteral("Об. крита"), nullptr, true, false, kDigits, nullptr, "Edit22", "Edit44"},
            {15, "Ob_Uv_p", QStringLiteral("Об. уворота (П)"), nullptr, true, true, kDigits + 1, nullptr, "Edit27",
             "Edit45"},
            {16, "Ob_Ud_p", QStringLiteral("Об. удачи (П)"), nullptr, true, true, kDigits + 1, nullptr, "Edit28",
             "Edit46"},
            {17, "Ob_Otv_p", QStringLiteral("Об. ответа (П)"), nullptr, true, true, kDigits + 1, nullptr, "Edit29",
             "Edit47"},
            {18, "Ob_Kr_p", QStringLiteral("Об. крита (П)"), nullptr, true, true, kDigits + 1, nullptr, "Edit30",
             "Edit48"},
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

double shortfall(const Stat &s, double need, double yield)
{
    if (need > 0)
        return std::max(0.0, need - yield);
    if (need < 0 && s.mayBeNegative)
        return std::max(0.0, yield - need);
    return 0;
}

} // namespace vestor
