#pragma once

#include "cli/Options.h"

#include <QByteArray>
#include <QString>

namespace vestor {
class Catalogue;
}

namespace vestor::cli {

// Opens the item table in `dataDir` and sets the race and level of every
// query, as the window's set-up and its two lists do. Throws Error.
void setUpCatalogue(Catalogue &catalogue, const QString &dataDir, const Options &options);

// The pick of the window's button over the options: the report's lines, or
// the JSON object of the report, the result fields, the money left and the
// sum spent. Throws Error, as the pick does.
QByteArray greedyPick(Catalogue &catalogue, const Options &options);

} // namespace vestor::cli
