#pragma once

#include "best/Model.h"
#include "best/Problem.h"

#include <cstdint>
#include <vector>

namespace vestor::best {

// The problem the solver process gets, and how to read its answer back.
struct Reduced {
    Problem problem;
    std::vector<int> itemOf; // problem item -> Model::items() index
    double priceScale = 1;   // problem prices are model prices times this
};

// Drops the items that enough others of their group beat (no dearer, at
// least as much of every needed stat), scales prices and amounts to whole
// numbers and weighs each need by 1 / |needed|. `start` is a known set by
// record numbers (the pick's), offered to the solver as its first incumbent.
Reduced reduce(const Model &model, int alternatives, double timeLimit, const std::vector<std::int64_t> &start);

// An answer's set as counts of model items; throws Error on a malformed one.
Counts countsOf(const Reduced &reduced, const std::vector<int> &set);

} // namespace vestor::best
