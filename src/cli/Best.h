#pragma once

#include "cli/Options.h"

#include <QByteArray>

namespace vestor {
class Catalogue;
}

namespace vestor::cli {

// The best set over the options, found by the solver beside vestor-pick:
// the Russian report, or the JSON object of the mode, the proof, the sets,
// the needs out of reach (and, asked for, the pick's set beside them).
// Throws Error.
QByteArray bestPick(Catalogue &catalogue, const Options &options);

} // namespace vestor::cli
