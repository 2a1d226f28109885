#pragma once

#include "catalogue/Columns.h"

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
    bool mayBeNegative; // its needed value takes a minus sign; slot selection ranks it by magnitude
    int fieldLength;    // the most characters its input fields take
    // Design names of the window's fields; null where a stat has none.
    const char *currentField;
    const char *neededField;
    const char *resultField;

    // Only stats 1..10 have a value the character already has.
    bool hasCurrent() const { return currentField != nullptr; }
};

inline constexpr double kScaleUnit = 2.5;

// How far `yield` misses the need of `s`, 0 when met: a positive need is
// reached from below; a negative one, where the stat may be negative, is a
// most that the yield stays at or below; 0 is no need.
double shortfall(const Stat &s, double need, double yield);

// Indexed by stat index - 1; kStatCount (the catalogue's) is their number.
const std::array<Stat, kStatCount> &stats();
// The stat with index 1..18.
const Stat &stat(int index);
// The stat whose name matches `name` without regard to letter case, or nullptr.
const Stat *statByName(const QString &name);

// The highest level the level list offers; levels run from 1.
inline constexpr int kTopLevel = 13;

} // namespace vestor
