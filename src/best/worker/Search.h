#pragma once

#include "best/Problem.h"

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace vestor::best {

// What one CBC solve asks.
struct Stage {
    bool budgeted = true;     // only items within the money, total within it
    bool soft = false;        // needs may fall short, at a cost
    double priceCost = 1;     // objective weight of the price
    double shortfallCost = 0; // objective weight of the weighted shortfall
    std::optional<std::int64_t> shortfallCap;
    bool cut = true;                                  // keep away from the sets found so far
    int mostBeaten = std::numeric_limits<int>::max(); // leave out items beaten more often
};

struct Outcome {
    bool found = false;
    bool optimal = false;
    double objective = 0;
    double bound = 0;
    std::vector<int> counts; // per problem item
    double gap() const;
};

// The whole search over one problem with CBC: the cheapest set that meets
// every need, else the closest, then the alternatives, all within one
// wall-clock limit. One search per process: CBC is not thread-safe.
class Search
{
public:
    explicit Search(const Problem &problem);
    Answer run();

private:
    Outcome solve(const Stage &stage) const;
    // Least weighted shortfall, then the cheapest set with it.
    Outcome closest(int mostBeaten) const;
    void addAlternatives(bool soft);
    double secondsLeft() const;
    // The most weighted shortfall any set could have.
    double shortfallCeiling() const;

    const Problem &problem_;
    std::chrono::steady_clock::time_point deadline_;
    std::vector<std::vector<int>> found_;
};

} // namespace vestor::best
