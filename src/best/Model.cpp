#include "best/Model.h"

#include "catalogue/Columns.h"
#include "catalogue/Convert.h"
#include "catalogue/Error.h"
#include "engine/Number.h"
#include "engine/Picker.h"

#include <algorithm>
#include <cmath>

namespace vestor::best {

namespace {

// The item column that carries a stat, by its position in the table.
int columnOf(int stat)
{
    static const std::array<int, kStatCount + 1> columns = [] {
        std::array<int, kStatCount + 1> c{};
        c.fill(-1);
        for (const Stat &s : stats())
            for (int k = 0; k < kItemColumnCount; ++k)
                if (QLatin1String(kItemColumns[k].name) == QLatin1String(s.column))
                    c[s.index] = k;
        return c;
    }();
    return columns[stat];
}

// The names players give the slots, by the first item type a slot admits.
QString slotNameOf(const char *type1)
{
    static const std::map<QLatin1String, QString> names{
        {QLatin1String("2hand"), QStringLiteral("Двуручное оружие / доспех")},
        {QLatin1String("ponogi"), QStringLiteral("Поножи")},
        {QLatin1String("ring"), QStringLiteral("Кольцо")},
        {QLatin1String("pojas"), QStringLiteral("Пояс")},
        {QLatin1String("perchi"), QStringLiteral("Перчатки")},
        {QLatin1String("helmet"), QStringLiteral("Шлем")},
        {QLatin1String("amulet"), QStringLiteral("Амулет")},
        {QLatin1String("lats"), QStringLiteral("Латы")},
    };
    const auto it = names.find(QLatin1String(type1));
    return it == names.end() ? QString::fromLatin1(type1) : it->second;
}

} // namespace

const std::vector<SlotGroup> &slotGroups()
{
    static const std::vector<SlotGroup> groups = [] {
        std::vector<SlotGroup> g;
        for (const Slot &slot : slotOrder()) {
            const QString t1 = QString::fromLatin1(slot.type1);
            const QString t2 = QString::fromLatin1(slot.type2);
            auto it =
                std::find_if(g.begin(), g.end(), [&](const SlotGroup &x) { return x.type1 == t1 && x.type2 == t2; });
            if (it == g.end())
                it = g.insert(g.end(), SlotGroup{t1, t2, slotNameOf(slot.type1), {}});
            it->slotNumbers.push_back(slot.number);
        }
        return g;
    }();
    return groups;
}

QString slotName(int slotNumber)
{
    for (const SlotGroup &g : slotGroups())
        if (std::find(g.slotNumbers.begin(), g.slotNumbers.end(), slotNumber) != g.slotNumbers.end())
            return g.name;
    return {};
}

std::optional<int> groupOfType(const QString &type)
{
    const auto &groups = slotGroups();
    for (int g = 0; g < int(groups.size()); ++g)
        if (groups[g].type1 == type || groups[g].type2 == type)
            return g;
    return std::nullopt;
}

Inputs inputsFrom(const Window &window, int level)
{
    Inputs in;
    const auto race = raceIndexByName(window.raceText());
    if (!race)
        throw Error(QStringLiteral("Неизвестная раса «%1».").arg(window.raceText()));
    in.race = *race;
    in.level = level;
    in.money = strToFloat(window.moneyText());
    for (const Stat &s : stats()) {
        if (s.hasCurrent())
            in.current[s.index] = strToInt(window.currentText(s.index));
        in.needed[s.index] = strToInt(window.neededText(s.index));
    }
    return in;
}

RaceFacts raceFacts(int raceIndex)
{
    // The one place that knows where race codes and starting amounts live.
    RaceFacts facts;
    facts.code = QString::fromLatin1(races().at(raceIndex).code);
    for (const Stat &s : stats())
        facts.start[s.index] = races().at(raceIndex).bonusOf(s.index);
    return facts;
}

std::optional<int> allowedGroup(const ItemRows &rows, int row, const QString &raceCode, int level)
{
    const auto group = groupOfType(rows.text(kTypeColumn, row));
    if (!group)
        return std::nullopt;
    const QString race = rows.text(kRaceColumn, row);
    if (race != QLatin1String("No") && race != raceCode)
        return std::nullopt;
    // A blank price or level never passes the queries' comparisons.
    const auto urov = rows.number(kLevelColumn, row);
    if (!urov || *urov > level || !rows.number(kPriceColumn, row))
        return std::nullopt;
    return group;
}

Model::Model(ItemRows rows, Inputs inputs)
    : rows_(std::move(rows)), inputs_(std::move(inputs)), race_(raceFacts(inputs_.race))
{
    if (inputs_.money < 0)
        throw Error(QStringLiteral("Сумма не может быть меньше нуля."));
    for (const Stat &s : stats())
        base_[s.index] = s.hasCurrent() ? inputs_.current[s.index] : race_.start[s.index];
    collect();
    checkChoices();
}

void Model::collect()
{
    for (int row = 0; row < rows_.rowCount(); ++row) {
        const auto group = allowedGroup(rows_, row, race_.code, inputs_.level);
        const std::int64_t record = rows_.recordNumber(row);
        if (!group || inputs_.excluded.contains(record))
            continue;
        Item item{row,
                  record,
                  *group,
                  *rows_.number(kPriceColumn, row),
                  rows_.text(kTypeColumn, row),
                  rows_.text(kNameColumn, row),
                  {}};
        for (const Stat &s : stats())
            item.gives[s.index] = rows_.number(columnOf(s.index), row).value_or(0);
        byRecord_[record] = int(items_.size());
        items_.push_back(std::move(item));
    }
}

void Model::checkChoices() const
{
    std::vector<int> taken(slotGroups().size(), 0);
    double lockedPrice = 0;
    for (const auto &[record, count] : inputs_.locked) {
        if (inputs_.excluded.contains(record))
            throw Error(QStringLiteral("Вещь №%1 и закреплена, и исключена.").arg(record));
        const auto index = itemOf(record);
        if (!index || !affordable(items_[*index]))
            throw Error(QStringLiteral("Вещь №%1 нельзя закрепить: её нет среди вещей, доступных этой расе и "
                                       "уровню за эти деньги.")
                            .arg(record));
        const Item &item = items_[*index];
        taken[item.group] += count;
        lockedPrice += item.price * count;
        if (count < 1 || taken[item.group] > slotGroups()[item.group].capacity())
            throw Error(QStringLiteral("Закреплённых вещей типа «%1» больше, чем для них мест.").arg(item.type));
    }
    if (lockedPrice > inputs_.money)
        throw Error(QStringLiteral("Закреплённые вещи стоят %1, больше, чем есть денег (%2).")
                        .arg(formatGeneral(lockedPrice), formatGeneral(inputs_.money)));
}

std::optional<int> Model::itemOf(std::int64_t record) const
{
    const auto it = byRecord_.find(record);
    return it == byRecord_.end() ? std::nullopt : std::optional<int>(it->second);
}

int Model::sense(int stat) const
{
    const double need = inputs_.needed[stat];
    if (need > 0)
        return 1;
    return need < 0 && vestor::stat(stat).mayBeNegative ? -1 : 0;
}

std::vector<int> Model::needStats() const
{
    std::vector<int> out;
    for (const Stat &s : stats())
        if (sense(s.index) != 0)
            out.push_back(s.index);
    return out;
}

StatValues Model::yields(const Counts &counts) const
{
    // From the rows themselves: this is what checks a set the solver returns.
    StatValues y = base_;
    for (const auto &[index, count] : counts)
        for (const Stat &s : stats())
            y[s.index] += rows_.number(columnOf(s.index), items_.at(index).row).value_or(0) * count;
    return y;
}

double Model::shortfall(int stat, double yield) const
{
    return vestor::shortfall(vestor::stat(stat), inputs_.needed[stat], yield);
}

double Model::price(const Counts &counts) const
{
    double total = 0;
    for (const auto &[index, count] : counts)
        total += rows_.number(kPriceColumn, items_.at(index).row).value_or(0) * count;
    return total;
}

} // namespace vestor::best
