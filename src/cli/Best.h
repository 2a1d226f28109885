#pragma once

#include "cli/Options.h"

#include "cli/Output.h"

#include <QByteArray>

namespace vestor {
class Catalogue;
}
namespace vestor::best {
struct SetItem;
}

namespace vestor::cli {

// The best set over the options, found by the solver beside vestor-pick:
// the Russian report, or the JSON object of the mode, the proof, the sets,
// the needs out of reach (and, asked for, the pick's set beside them).
// Throws Error.
QByteArray bestPick(Catalogue &catalogue, const Options &options);

// One item of a set as the JSON has it, for the pick and the best set alike.
OrderedJsonObject itemJson(const best::SetItem &item);

} // namespace vestor::cli
