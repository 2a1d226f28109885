#include "best/Sets.h"

#include "catalogue/Error.h"
#include "engine/Number.h"

#include <algorithm>
#include <cmath>

namespace vestor::best {

namespace {

// Fills each group's slots in the pick's order, items in file order.
std::vector<SetItem> bySlot(const Model &model, const Counts &counts)
{
    std::vector<std::vector<int>> perGroup(slotGroups().size());
    for (const auto &[index, count] : counts)
        for (int c = 0; c < count; ++c)
            perGroup[model.items()[index].group].push_back(index);
    std::vector<SetItem> out;
    for (int g = 0; g < int(perGroup.size()); ++g)
        for (int k = 0; k < int(perGroup[g].size()); ++k) {
            const Item &item = model.items()[perGroup[g][k]];
            const int slot = slotGroups()[g].slotNumbers.at(k);
            out.push_back({slot, slotGroups()[g].name, item.record, item.name, item.type, item.price});
        }
    std::stable_sort(out.begin(), out.end(), [](const SetItem &a, const SetItem &b) { return a.slot > b.slot; });
    return out;
}

ItemSet described(const Model &model, const Counts &counts)
{
    ItemSet set;
    set.counts = counts;
    set.items = bySlot(model, counts);
    set.total = model.price(counts);
    set.yields = model.yields(counts);
    for (int stat : model.needStats())
        set.shortBy[stat] = model.shortfall(stat, set.yields[stat]);
    return set;
}

void checkItems(const Model &model, const Counts &counts)
{
    std::vector<int> taken(slotGroups().size(), 0);
    for (const auto &[index, count] : counts) {
        if (index < 0 || index >= int(model.items().size()) || count < 1)
            throw Error(QStringLiteral("Решатель вернул вещь, которой нет в таблице."));
        const Item &item = model.items()[index];
        const QString raceCode = raceFacts(model.inputs().race).code;
        // The row itself, not what was read from it before.
        const auto group = allowedGroup(model.rows(), item.row, raceCode, model.inputs().level);
        if (!group || model.inputs().excluded.contains(model.rows().recordNumber(item.row)))
            throw Error(QStringLiteral("Решатель взял вещь №%1, которая не подходит.").arg(item.record));
        taken[*group] += count;
        if (taken[*group] > slotGroups()[*group].capacity())
            throw Error(QStringLiteral("Решатель занял больше мест, чем есть для вещей «%1».").arg(item.type));
    }
    for (const auto &[record, count] : model.inputs().locked) {
        const auto index = model.itemOf(record);
        const auto it = index ? counts.find(*index) : counts.end();
        if (it == counts.end() || it->second < count)
            throw Error(QStringLiteral("В комплекте решателя нет закреплённой вещи №%1.").arg(record));
    }
}

} // namespace

bool ItemSet::meetsAll() const
{
    return std::all_of(shortBy.begin(), shortBy.end(), [](double s) { return s <= 0; });
}

double ItemSet::relativeShortfall(const Model &model) const
{
    double sum = 0;
    for (int stat : model.needStats())
        sum += shortBy[stat] / std::abs(model.inputs().needed[stat]);
    return sum;
}

double ItemSet::totalShortfall() const
{
    double sum = 0;
    for (double s : shortBy)
        sum += s;
    return sum;
}

double ItemSet::variants() const
{
    // Choosing `count` of `m` alike items, repeats allowed: C(m + count - 1, count) ways.
    double product = 1;
    for (const Alike &a : alike) {
        const double m = double(a.items.size());
        double ways = 1;
        for (int k = 1; k <= a.count; ++k)
            ways = ways * (m + k - 1) / k;
        product *= std::round(ways);
    }
    return product;
}

ItemSet checkedSet(const Model &model, const Counts &counts)
{
    checkItems(model, counts);
    ItemSet set = described(model, counts);
    if (set.total > model.inputs().money)
        throw Error(QStringLiteral("Комплект решателя стоит %1, больше, чем есть денег (%2).")
                        .arg(formatGeneral(set.total), formatGeneral(model.inputs().money)));
    return set;
}

ItemSet describedSet(const Model &model, const std::vector<std::int64_t> &records)
{
    Counts counts;
    for (std::int64_t record : records)
        if (const auto index = model.itemOf(record))
            ++counts[*index];
    return described(model, counts);
}

std::vector<Unreachable> unreachableNeeds(const Model &model)
{
    const auto &groups = slotGroups();
    std::vector<Unreachable> out;
    for (int stat : model.needStats()) {
        const int sense = model.sense(stat);
        // Each group on its own: the locked items, then its best item in every free slot.
        std::vector<double> best(groups.size(), 0);
        std::vector<int> free(groups.size());
        for (int g = 0; g < int(groups.size()); ++g)
            free[g] = groups[g].capacity();
        double reach = model.base(stat);
        for (const auto &[record, count] : model.inputs().locked) {
            const Item &item = model.items()[*model.itemOf(record)];
            reach += item.gives[stat] * count;
            free[item.group] -= count;
        }
        for (const Item &item : model.items())
            best[item.group] = sense * std::max(sense * best[item.group], sense * item.gives[stat]);
        for (int g = 0; g < int(groups.size()); ++g)
            reach += best[g] * free[g];
        if (model.shortfall(stat, reach) > 0)
            out.push_back({stat, model.inputs().needed[stat], reach});
    }
    return out;
}

bool contains(const Counts &outer, const Counts &inner)
{
    return std::all_of(inner.begin(), inner.end(), [&](const auto &entry) {
        const auto it = outer.find(entry.first);
        return it != outer.end() && it->second >= entry.second;
    });
}

} // namespace vestor::best
