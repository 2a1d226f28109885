#pragma once

#include "Model.h"
#include "Sets.h"
#include "Solve.h"

#include <QStringList>

namespace vestor::best {

// The result as a Russian text report, in the manner of the pick's.
QStringList reportLines(const Model &model, const Result &result);
// One set's lines: the items by slot and the total.
QStringList setLines(const ItemSet &set);

} // namespace vestor::best
