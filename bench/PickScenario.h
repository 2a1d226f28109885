#pragma once

// The character whose set every pick benchmark picks: an elf of level 13
// with 20,000 to spend and needs spread over eight stats, so that the twelve
// slots ask several different best-item queries.

#include "catalogue/Catalogue.h"
#include "engine/TextWindow.h"

namespace vestorbench {

inline void fillScenario(vestor::TextWindow &w, vestor::Catalogue &c)
{
    w.race = QStringLiteral("Эльф");
    w.money = QStringLiteral("20000");
    w.current[1] = QStringLiteral("20");
    w.current[2] = QStringLiteral("15");
    const std::pair<int, const char *> needs[] = {{1, "120"}, {2, "80"}, {3, "40"},  {5, "60"},
                                                  {7, "100"}, {8, "80"}, {11, "50"}, {18, "30"}};
    for (auto [stat, need] : needs)
        w.needed[stat] = QString::fromLatin1(need);
    c.raceChanged(w.race);
    c.levelChanged(QStringLiteral("13"));
}

} // namespace vestorbench
