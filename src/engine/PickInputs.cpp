#include "engine/PickInputs.h"

#include "catalogue/Columns.h"
#include "catalogue/Convert.h"
#include "catalogue/Error.h"
#include "engine/Number.h"

namespace vestor {

PickInputs::PickInputs() : race(races().front().name)
{
    for (const Stat &s : stats()) {
        if (s.hasCurrent())
            current[s.index] = QStringLiteral("0");
        needed[s.index] = QStringLiteral("0");
    }
}

std::int32_t PickInputs::currentValue(int stat) const
{
    return vestor::stat(stat).hasCurrent() ? strToInt(current.at(stat)) : 0;
}

std::int32_t PickInputs::neededValue(int stat) const { return strToInt(needed.at(stat)); }

double PickInputs::moneyValue() const { return strToFloat(money); }

std::int32_t PickInputs::levelValue() const { return strToInt(level); }

PickValues PickInputs::values() const
{
    PickValues v;
    const auto raceIndex = raceIndexByName(race);
    if (!raceIndex)
        throw Error(QStringLiteral("Неизвестная раса «%1».").arg(race));
    v.race = *raceIndex;
    v.level = levelValue();
    v.money = moneyValue();
    for (const Stat &s : stats()) {
        v.current[s.index] = currentValue(s.index);
        v.needed[s.index] = neededValue(s.index);
    }
    return v;
}

} // namespace vestor
