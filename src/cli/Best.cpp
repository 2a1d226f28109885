#include "cli/Best.h"

#include "best/Greedy.h"
#include "best/Report.h"
#include "best/Solve.h"
#include "catalogue/Catalogue.h"
#include "cli/Output.h"
#include "cli/Pick.h"
#include "engine/TextWindow.h"

#include <QJsonArray>
#include <chrono>

namespace vestor::cli {

namespace {

using namespace vestor::best;

QString statName(int stat) { return QString::fromLatin1(vestor::stat(stat).name); }

OrderedJsonObject setJson(const Model &model, const ItemSet &set)
{
    QList<OrderedJsonObject> items;
    for (const SetItem &i : set.items)
        items.append(OrderedJsonObject()
                         .add(QStringLiteral("slot"), i.slot)
                         .add(QStringLiteral("slotName"), i.slotName)
                         .add(QStringLiteral("record"), double(i.record))
                         .add(QStringLiteral("name"), i.name)
                         .add(QStringLiteral("type"), i.type)
                         .add(QStringLiteral("price"), inCents(i.price)));
    OrderedJsonObject yields, shortBy;
    for (const Stat &s : stats())
        yields.add(statName(s.index), set.yields[s.index]);
    for (int s : model.needStats())
        if (set.shortBy[s] > 0)
            shortBy.add(statName(s), set.shortBy[s]);
    QJsonArray alike;
    for (const Alike &a : set.alike) {
        QJsonArray names;
        for (int i : a.items)
            names.append(model.items()[i].name);
        alike.append(names);
    }
    return OrderedJsonObject()
        .add(QStringLiteral("items"), items)
        .add(QStringLiteral("total"), inCents(set.total))
        .add(QStringLiteral("yields"), yields)
        .add(QStringLiteral("short"), shortBy)
        .add(QStringLiteral("shortTotal"), set.totalShortfall())
        .add(QStringLiteral("variants"), set.variants())
        .add(QStringLiteral("alike"), alike);
}

OrderedJsonObject resultJson(const Model &model, const Result &r)
{
    QList<OrderedJsonObject> sets;
    for (const ItemSet &s : r.sets)
        sets.append(setJson(model, s));
    OrderedJsonObject unreachable;
    for (const Unreachable &u : r.unreachable)
        unreachable.add(
            statName(u.stat),
            OrderedJsonObject().add(QStringLiteral("needed"), u.needed).add(QStringLiteral("best"), u.best));
    OrderedJsonObject o;
    o.add(QStringLiteral("mode"), r.allMet ? QStringLiteral("all-met") : QStringLiteral("closest"))
        .add(QStringLiteral("proven"), r.proven)
        .add(QStringLiteral("gap"), r.gapKnown ? QJsonValue(r.gap) : QJsonValue())
        .add(QStringLiteral("doubts"), QJsonArray::fromStringList(r.doubts))
        .add(QStringLiteral("alternativesAsked"), r.alternativesAsked)
        .add(QStringLiteral("alternativesFound"), r.alternativesFound())
        .add(QStringLiteral("sets"), sets)
        .add(QStringLiteral("unreachable"), unreachable);
    if (r.moneyNeeded)
        o.add(QStringLiteral("moneyNeeded"), inCents(*r.moneyNeeded))
            .add(QStringLiteral("moneyNeededProven"), r.moneyNeededProven);
    return o;
}

Inputs inputsOf(const TextWindow &window, const Options &options)
{
    Inputs in = inputsFrom(window, options.level.toInt());
    for (std::int64_t record : options.locked)
        ++in.locked[record];
    in.excluded.insert(options.excluded.begin(), options.excluded.end());
    return in;
}

} // namespace

QByteArray bestPick(Catalogue &catalogue, const Options &options)
{
    // The time limit counts from here: the model, the pick's set and the solve share it.
    const auto requested = std::chrono::steady_clock::now();
    const TextWindow window = windowOf(options);
    const Model model(catalogue.table1.rows(), inputsOf(window, options));
    best::Options solving;
    solving.alternatives = options.alternatives;
    solving.timeLimit = options.timeLimit;
    solving.requested = requested;
    solving.start = greedyRecords(catalogue, window);
    const Result result = solve(model, solving);
    if (!options.json) {
        QStringList lines = reportLines(model, result);
        if (options.withGreedy)
            lines << QString() << QStringLiteral("Комплект обычного подбора:")
                  << setLines(describedSet(model, solving.start));
        return terminalLines(lines, options.encoding);
    }
    OrderedJsonObject o = resultJson(model, result);
    if (options.withGreedy)
        o.add(QStringLiteral("greedy"), setJson(model, describedSet(model, solving.start)));
    o.add(QStringLiteral("version"), QStringLiteral(VESTOR_VERSION));
    return o.toJson();
}

} // namespace vestor::cli
