#include "best/Greedy.h"

#include "catalogue/Catalogue.h"
#include "engine/Number.h"
#include "engine/Picker.h"
#include "engine/TextWindow.h"

namespace vestor::best {

namespace {

TextWindow copyOf(const Window &w)
{
    TextWindow copy;
    copy.race = w.raceText();
    copy.money = w.moneyText();
    for (const Stat &s : stats()) {
        if (s.hasCurrent())
            copy.current[s.index] = w.currentText(s.index);
        copy.needed[s.index] = w.neededText(s.index);
    }
    return copy;
}

} // namespace

std::vector<std::int64_t> greedyRecords(Catalogue &catalogue, const Window &inputs)
{
    TextWindow window = copyOf(inputs);
    Picker picker(window, catalogue);
    picker.InitArr();
    picker.ClearEdit();
    picker.InitEdit();
    picker.Money = strToFloat(window.moneyText());
    std::vector<std::int64_t> records;
    for (const Slot &slot : slotOrder()) {
        // The stat the pick serves in this slot, and the row its query stands on after.
        const int stat = picker.FindMax();
        picker.SelectWeapon(QString::fromLatin1(slot.type1), QString::fromLatin1(slot.type2), slot.number);
        const QVariant record = catalogue.query(stat).fieldByName(QStringLiteral("RECNO"));
        if (!record.isNull())
            records.push_back(record.toLongLong());
    }
    return records;
}

} // namespace vestor::best
