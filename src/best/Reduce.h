#pragma once

#include "best/Model.h"
#include "best/Problem.h"

#include <QStringList>
#include <cstdint>
#include <vector>

namespace vestor::best {

// The problem the solver process gets, and how to read its answer back.
struct Reduced {
    Problem problem;
    std::vector<int> itemOf; // problem item -> Model::items() index
    // Problem item -> the model items it stands for, itemOf first: same slot
    // group, same price, same amounts of every needed stat.
    std::vector<std::vector<int>> alike;
    double priceScale = 1; // problem prices are model prices times this
    // Why no answer on this problem can be proven best: whole numbers that
    // are not exact; in closest mode also `closestDoubts`.
    QStringList doubts;
    QStringList closestDoubts;
};

// Drops the items that enough others of their group beat (no dearer, at
// least as much of every needed stat), merges interchangeable items, scales
// prices and amounts to whole numbers and weighs each need by 1 / |needed|.
// `start` is a known set by record numbers (the pick's), offered to the
// solver as its first incumbent. Time n log n in the allowed items, whatever
// the number of alternatives.
Reduced reduce(const Model &model, int alternatives, double timeLimit, const std::vector<std::int64_t> &start);

// An answer's set as counts of model items; throws Error on a malformed one.
Counts countsOf(const Reduced &reduced, const std::vector<int> &set);

} // namespace vestor::best
