#pragma once

#include "best/Model.h"
#include "best/Sets.h"
#include "best/Solve.h"

#include <QStringList>

namespace vestor::best {

// The result as a Russian text report, in the manner of the pick's.
QStringList reportLines(const Model &model, const Result &result);
// How a set falls short, what no set reaches, the money that would do.
QStringList shortfallLines(const Model &model, const Result &result, const ItemSet &set);
// The same for the best set.
QStringList shortfallLines(const Model &model, const Result &result);
// Whether the set is proven best, or why not and how far it may be from the best.
QString proofLine(const Result &result);
// One set's lines: the items by slot and the total.
QStringList setLines(const ItemSet &set);
// The equally good sets a set stands for, with the items to choose from; none when it stands alone.
QStringList alikeLines(const Model &model, const ItemSet &set);
// An alternative's heading: its number, price and, when none meets every need, its total shortfall.
QString alternativeHeading(const Result &result, int index);

} // namespace vestor::best
