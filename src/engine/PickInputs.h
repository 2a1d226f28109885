#pragma once

#include "engine/Stats.h"

#include <QString>
#include <array>
#include <cstdint>

namespace vestor {

// The inputs as numbers, read from their texts the one way the pick reads them.
struct PickValues {
    int race = 0; // index into races()
    int level = 1;
    double money = 0;
    // Indexed by stat index 1..18; element 0 is unused, `current` 0 where a stat has no current field.
    std::array<double, kStatCount + 1> current{};
    std::array<double, kStatCount + 1> needed{};
};

// What the player gives a pick, as the window's fields hold it: the race and
// level as their lists show them, the sum, the ten current values and the
// eighteen needed values. The window, the command line, saved characters and
// the best set all speak it. A new one is the window as it starts: the first
// race, level 1, and "0" in every field.
struct PickInputs {
    QString race;
    QString level = QStringLiteral("1");
    QString money = QStringLiteral("0");
    // Indexed by stat index 1..18; element 0 is unused. `current` is read only
    // for the stats with a current field and left empty for the others.
    std::array<QString, kStatCount + 1> current;
    std::array<QString, kStatCount + 1> needed;

    PickInputs();
    bool operator==(const PickInputs &) const = default;

    // Each field as a number; each throws Error naming the text that is no number.
    std::int32_t currentValue(int stat) const; // 0 for a stat without a current field
    std::int32_t neededValue(int stat) const;
    double moneyValue() const;
    std::int32_t levelValue() const;

    // All of them at once: the race, the level, the sum, then each stat's
    // current and needed value. Throws Error at the first that is wrong.
    PickValues values() const;
};

} // namespace vestor
