#pragma once

#include <QString>
#include <array>

namespace vestor {

// One tracked stat: everything the program knows of it, in one place.
struct Stat {
    int index;          // 1..18
    const char *name;   // "Sila", as the need table stores it
    QString caption;    // "Сила", as the window shows it
    const char *column; // "SILA", the item column that carries it
    bool scaled;        // needs and amounts in units of 2.5 points
    // Design names of the window's fields and labels; null where a stat has none.
    const char *currentField;
    const char *currentLabel;
    const char *neededField;
    const char *neededLabel;
    const char *resultField;
    const char *resultLabel;
    int labelWidth; // width of the caption labels
};

inline constexpr int kStats = 18;
inline constexpr double kScaleUnit = 2.5;

const std::array<Stat, kStats> &stats();
// The stat with index 1..18.
const Stat &stat(int index);
// The stat whose name matches `name` without regard to letter case, or nullptr.
const Stat *statByName(const QString &name);

// What each race starts with of the stats 11..14, in points.
inline constexpr int kFirstRaceBonusStat = 11;
const std::array<int, 4> &raceBonus(int raceIndex);

} // namespace vestor
