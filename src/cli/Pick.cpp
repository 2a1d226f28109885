#include "cli/Pick.h"

#include "best/Greedy.h"
#include "best/Model.h"
#include "best/Sets.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Error.h"
#include "cli/Output.h"
#include "engine/Picker.h"
#include "engine/Stats.h"
#include "engine/TextWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

namespace vestor::cli {

void setUpCatalogue(Catalogue &catalogue, const QString &dataDir, const Options &options)
{
    if (const QFileInfo info(dataDir); info.exists() && !info.isDir())
        throw Error(QStringLiteral("%1 is not a directory: the item table Subjects.DBF is read from the directory "
                                   "that holds it")
                        .arg(QDir::toNativeSeparators(dataDir)));
    catalogue.setUpIn(dataDir);
    catalogue.raceChanged(options.race->name);
    catalogue.levelChanged(options.level);
}

TextWindow windowOf(const Options &options)
{
    TextWindow window;
    window.race = options.race->name;
    window.money = options.money;
    window.current = options.have;
    window.needed = options.need;
    return window;
}

namespace {

// The pick's set as the best set describes one: its items, and how far each
// need it leaves unmet falls short.
OrderedJsonObject pickDetails(Catalogue &catalogue, const TextWindow &window, const Options &options)
{
    const best::Model model(catalogue.table1.rows(), best::inputsFrom(window, options.level.toInt()));
    const best::ItemSet set = best::describedSet(model, best::greedyRecords(catalogue, window));
    QList<OrderedJsonObject> items;
    for (const best::SetItem &i : set.items)
        items.append(OrderedJsonObject()
                         .add(QStringLiteral("slot"), i.slot)
                         .add(QStringLiteral("record"), double(i.record))
                         .add(QStringLiteral("name"), i.name)
                         .add(QStringLiteral("type"), i.type)
                         .add(QStringLiteral("price"), inCents(i.price)));
    OrderedJsonObject yields, unmet;
    for (const Stat &s : stats())
        yields.add(QString::fromLatin1(s.name), set.yields[s.index]);
    for (int s : model.needStats())
        if (set.shortBy[s] > 0)
            unmet.add(QString::fromLatin1(stat(s).name), OrderedJsonObject()
                                                             .add(QStringLiteral("needed"), model.inputs().needed[s])
                                                             .add(QStringLiteral("yield"), set.yields[s])
                                                             .add(QStringLiteral("short"), set.shortBy[s]));
    return OrderedJsonObject()
        .add(QStringLiteral("items"), items)
        .add(QStringLiteral("yields"), yields)
        .add(QStringLiteral("unmet"), unmet);
}

} // namespace

QByteArray greedyPick(Catalogue &catalogue, const Options &options)
{
    TextWindow window = windowOf(options);
    const TextWindow inputs = window;
    Picker picker(window, catalogue);
    picker.Button1Click();
    if (!options.json)
        return terminalLines(window.report, options.encoding);

    OrderedJsonObject results;
    for (const Stat &s : stats())
        results.add(QString::fromLatin1(s.name), window.result[s.index]);
    return OrderedJsonObject()
        .add(QStringLiteral("report"), QJsonArray::fromStringList(window.report))
        .add(QStringLiteral("results"), results)
        .add(QStringLiteral("money"), inCents(picker.Money))
        .add(QStringLiteral("total"), inCents(picker.spent()))
        .add(pickDetails(catalogue, inputs, options))
        .add(QStringLiteral("version"), QStringLiteral(VESTOR_VERSION))
        .toJson();
}

} // namespace vestor::cli
