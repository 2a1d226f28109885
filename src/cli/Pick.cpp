#include "cli/Pick.h"

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
    catalogue.raceChanged(options.pick.race);
    catalogue.levelChanged(options.pick.level);
}

QByteArray greedyPick(Catalogue &catalogue, const Options &options)
{
    TextWindow window(options.pick);
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
        .add(QStringLiteral("money"), picker.Money)
        .add(QStringLiteral("total"), picker.spent())
        .toJson();
}

} // namespace vestor::cli
