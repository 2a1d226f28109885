#include "best/Reduce.h"

#include "catalogue/Error.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <set>
#include <tuple>

namespace vestor::best {

namespace {

// Item tables carry two decimals; four leave room and keep sums exact in a double.
constexpr int kMostDecimals = 4;
// Relative shortfall weights stay whole below this; beyond it they are rounded.
constexpr std::int64_t kWeightCeiling = 1'000'000'000;
constexpr double kWholeTolerance = 1e-6;

// The smallest power of ten that makes every value whole.
double wholeScale(const std::vector<double> &values)
{
    double scale = 1;
    for (int d = 0; d < kMostDecimals; ++d, scale *= 10) {
        const bool whole = std::all_of(values.begin(), values.end(), [&](double v) {
            const double x = v * scale;
            return std::fabs(x - std::round(x)) < kWholeTolerance;
        });
        if (whole)
            return scale;
    }
    return scale;
}

std::int64_t scaled(double value, double scale) { return std::llround(value * scale); }

// Whether `a` does for the needs at least what `b` does, for no more money.
bool beats(const Model &model, const std::vector<int> &needs, const Item &a, const Item &b)
{
    if (a.price > b.price)
        return false;
    return std::all_of(needs.begin(), needs.end(),
                       [&](int s) { return model.sense(s) * a.gives[s] >= model.sense(s) * b.gives[s]; });
}

// How much an item does for the needs, all counted alike; an item that beats another scores at least as much.
double score(const Model &model, const std::vector<int> &needs, const Item &item)
{
    double sum = 0;
    for (int s : needs)
        sum += model.sense(s) * item.gives[s];
    return sum;
}

bool helps(const Model &model, const std::vector<int> &needs, const Item &item)
{
    return std::any_of(needs.begin(), needs.end(), [&](int s) { return model.sense(s) * item.gives[s] > 0; });
}

// The items worth offering, with how many kept items beat each. An item that
// helps no need is never worth its price; one that `depth` kept items beat is
// left out. Depth is one more than the alternatives asked for, so that
// runner-up items remain for them; the best set itself needs only the unbeaten.
std::map<int, int> keptItems(const Model &model, int depth, const std::set<int> &pinned)
{
    const auto &items = model.items();
    const std::vector<int> needs = model.needStats();
    std::vector<double> worth(items.size());
    std::vector<int> order(items.size());
    std::iota(order.begin(), order.end(), 0);
    for (int i : order)
        worth[i] = score(model, needs, items[i]);
    // Every item's beaters come before it: cheaper, or as cheap and more useful.
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return std::tuple(items[a].group, items[a].price, -worth[a], a) <
               std::tuple(items[b].group, items[b].price, -worth[b], b);
    });
    std::vector<std::vector<int>> kept(slotGroups().size());
    std::map<int, int> out;
    for (int i : order) {
        auto &group = kept[items[i].group];
        int beaten = 0;
        if (!pinned.contains(i)) {
            if (!helps(model, needs, items[i]))
                continue;
            for (auto k = group.begin(); k != group.end() && beaten < depth; ++k)
                beaten += beats(model, needs, items[*k], items[i]);
            if (beaten >= depth)
                continue;
        }
        group.push_back(i);
        out[i] = beaten;
    }
    return out;
}

// Weights that make each need's shortfall count relative to its size, whole numbers.
std::vector<std::int64_t> needWeights(const Model &model, const std::vector<int> &needs)
{
    std::int64_t common = 1;
    bool exact = true;
    for (int s : needs) {
        const std::int64_t n = std::max<std::int64_t>(1, std::llround(std::fabs(model.values().needed[s])));
        const std::int64_t factor = n / std::gcd(common, n);
        exact = exact && common <= kWeightCeiling / factor;
        if (exact)
            common *= factor;
    }
    std::vector<std::int64_t> weights;
    for (int s : needs) {
        const double n = std::max(1.0, std::round(std::fabs(model.values().needed[s])));
        weights.push_back(exact ? std::int64_t(common / n)
                                : std::max<std::int64_t>(1, std::llround(kWeightCeiling / n)));
    }
    return weights;
}

std::set<int> pinnedItems(const Model &model, const std::vector<std::int64_t> &start)
{
    std::set<int> pinned;
    for (const auto &[record, count] : model.inputs().locked)
        pinned.insert(*model.itemOf(record));
    for (std::int64_t record : start)
        if (const auto index = model.itemOf(record))
            pinned.insert(*index);
    return pinned;
}

} // namespace

Reduced reduce(const Model &model, int alternatives, double timeLimit, const std::vector<std::int64_t> &start)
{
    Reduced r;
    const std::map<int, int> kept = keptItems(model, alternatives + 1, pinnedItems(model, start));
    for (const auto &[index, beaten] : kept)
        r.itemOf.push_back(index);
    const std::vector<int> needs = model.needStats();
    std::vector<double> amounts, prices;
    for (int s : needs)
        amounts.insert(amounts.end(), {model.base(s), model.values().needed[s]});
    for (int i : r.itemOf) {
        prices.push_back(model.items()[i].price);
        for (int s : needs)
            amounts.push_back(model.items()[i].gives[s]);
    }
    const double statScale = wholeScale(amounts);
    r.priceScale = wholeScale(prices);

    Problem &p = r.problem;
    for (const SlotGroup &g : slotGroups())
        p.capacities.push_back(g.capacity());
    const auto weights = needWeights(model, needs);
    for (int k = 0; k < int(needs.size()); ++k)
        p.needs.push_back({scaled(model.values().needed[needs[k]] - model.base(needs[k]), statScale),
                           model.sense(needs[k]), weights[k]});
    double most = 0; // the dearest set there could be: the budget never needs to exceed it
    for (int i : r.itemOf) {
        const Item &item = model.items()[i];
        Problem::Item pi{item.group, scaled(item.price, r.priceScale), model.affordable(item), 0, kept.at(i), {}};
        if (const auto it = model.inputs().locked.find(item.record); it != model.inputs().locked.end())
            pi.locked = it->second;
        for (int s : needs)
            pi.gives.push_back(scaled(item.gives[s], statScale));
        most += double(pi.price) * p.capacities[item.group];
        p.items.push_back(std::move(pi));
    }
    p.budget = std::int64_t(std::floor(std::min(model.values().money * r.priceScale + kWholeTolerance, most)));
    p.alternatives = alternatives;
    p.timeLimit = timeLimit;
    if (!start.empty()) {
        p.start.assign(p.items.size(), 0);
        for (std::int64_t record : start)
            for (int k = 0; k < int(r.itemOf.size()); ++k)
                if (model.items()[r.itemOf[k]].record == record)
                    ++p.start[k];
    }
    return r;
}

Counts countsOf(const Reduced &reduced, const std::vector<int> &set)
{
    if (set.size() != reduced.itemOf.size())
        throw Error(QStringLiteral("Решатель вернул комплект не той длины."));
    Counts counts;
    for (int k = 0; k < int(set.size()); ++k) {
        if (set[k] < 0)
            throw Error(QStringLiteral("Решатель вернул отрицательное число вещей."));
        if (set[k] > 0)
            counts[reduced.itemOf[k]] = set[k];
    }
    return counts;
}

} // namespace vestor::best
