#pragma once

#include "best/Model.h"
#include "best/Sets.h"
#include "best/Solve.h"

#include <QStringList>

namespace vestor::best {

// The result as a Russian text report, in the manner of the pick's.
QStringList reportLines(const Model &model, const Result &result);
// How the closest set falls short, what no set reaches, the money that would do.
QStringList shortfallLines(const Model &model, const Result &result);
// Whether the set is proven best, or how far the time limit may have left it.
QString proofLine(const Result &result);
// One set's lines: the items by slot and the total.
QStringList setLines(const ItemSet &set);

} // namespace vestor::best
