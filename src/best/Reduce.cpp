#include "best/Reduce.h"

#include "catalogue/Error.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <optional>
#include <set>

namespace vestor::best {

namespace {

// Item tables carry two decimals; six cover hand-made ones such as 0.33334.
constexpr int kMostDecimals = 6;
// CBC keeps whole coefficients exact up to about here, with room for its tolerances.
constexpr double kSafeCoefficient = 1e7;
// Relative shortfall weights stay whole below this; beyond it they are rounded.
constexpr std::int64_t kWeightCeiling = 1'000'000'000;
constexpr double kWholeTolerance = 1e-6;
// How many kept items of a group each item is compared with: the ones that do
// the most for the needs. More only makes the problem smaller, at n times the cost.
constexpr int kRivals = 24;

// The smallest power of ten that makes every value whole, if there is one.
std::optional<double> wholeScale(const std::vector<double> &values)
{
    double scale = 1;
    for (int d = 0; d <= kMostDecimals; ++d, scale *= 10) {
        const bool whole = std::all_of(values.begin(), values.end(), [&](double v) {
            const double x = v * scale;
            return std::fabs(x - std::round(x)) < kWholeTolerance;
        });
        if (whole)
            return scale;
    }
    return std::nullopt;
}

std::int64_t scaled(double value, double scale) { return std::llround(value * scale); }

// The largest whole number that divides every scaled value: the unit the problem counts in.
std::int64_t commonUnit(const std::vector<double> &values, double scale)
{
    std::int64_t unit = 0;
    for (double v : values)
        unit = std::gcd(unit, std::abs(scaled(v, scale)));
    return std::max<std::int64_t>(1, unit);
}

bool safe(double scaledValue) { return std::fabs(scaledValue) <= kSafeCoefficient; }

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

// Interchangeable for the set: same group and price, same amounts of every needed stat; a locked item is its own.
bool alike(const Model &model, const std::vector<int> &needs, int a, int b)
{
    const Item &x = model.items()[a];
    const Item &y = model.items()[b];
    if (x.group != y.group || x.price != y.price || model.inputs().locked.contains(x.record) ||
        model.inputs().locked.contains(y.record))
        return false;
    return std::all_of(needs.begin(), needs.end(), [&](int s) { return x.gives[s] == y.gives[s]; });
}

struct Kept {
    std::vector<std::vector<int>> alike; // representative first
    std::vector<int> beaten;
};

// The items worth offering, merged into interchangeable classes, with how many
// kept items beat each (as far as its rivals tell). An item that helps no need
// is never worth its price; one that `depth` kept items beat is left out, so
// that runner-up items remain for the alternatives while the best set needs
// only the unbeaten. Each item meets only a few rivals: the kept ones of its
// group that do the most, which keeps this n log n; a beaten item missed only
// leaves the problem a little larger.
Kept keptItems(const Model &model, int depth, const std::set<int> &pinned)
{
    const auto &items = model.items();
    const std::vector<int> needs = model.needStats();
    std::vector<double> worth(items.size());
    std::vector<int> order;
    for (int i = 0; i < int(items.size()); ++i) {
        worth[i] = score(model, needs, items[i]);
        if (pinned.contains(i) || helps(model, needs, items[i]))
            order.push_back(i);
    }
    // Every item's beaters come before it: cheaper, or as cheap and more useful; alike items side by side.
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const Item &x = items[a], &y = items[b];
        if (x.group != y.group || x.price != y.price || worth[a] != worth[b])
            return std::tuple(x.group, x.price, -worth[a]) < std::tuple(y.group, y.price, -worth[b]);
        for (int s : needs)
            if (x.gives[s] != y.gives[s])
                return x.gives[s] < y.gives[s];
        return a < b;
    });
    std::vector<std::vector<int>> rivals(slotGroups().size());
    Kept out;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const int i = order[k];
        if (k > 0 && !out.alike.empty() && alike(model, needs, out.alike.back().front(), i)) {
            out.alike.back().push_back(i);
            continue;
        }
        auto &group = rivals[items[i].group];
        int beaten = 0;
        for (auto r = group.begin(); r != group.end() && beaten < depth; ++r)
            beaten += beats(model, needs, items[*r], items[i]);
        if (beaten >= depth && !pinned.contains(i))
            continue;
        out.alike.push_back({i});
        out.beaten.push_back(beaten);
        // The rivals: the kept items that do the most, at most kRivals of them.
        if (int(group.size()) < kRivals)
            group.push_back(i);
        else if (const auto weakest =
                     std::min_element(group.begin(), group.end(), [&](int a, int b) { return worth[a] < worth[b]; });
                 worth[*weakest] < worth[i])
            *weakest = i;
    }
    return out;
}

// Weights that make each need's shortfall count relative to its size, whole numbers; exact or not.
std::pair<std::vector<std::int64_t>, bool> needWeights(const Model &model, const std::vector<int> &needs)
{
    std::int64_t common = 1;
    bool exact = true;
    for (int s : needs) {
        const double need = std::fabs(model.inputs().needed[s]);
        exact = exact && need == std::round(need) && need <= double(kWeightCeiling);
        const std::int64_t n = std::max<std::int64_t>(1, std::llround(std::min(need, double(kWeightCeiling))));
        const std::int64_t factor = n / std::gcd(common, n);
        exact = exact && common <= kWeightCeiling / factor;
        if (exact)
            common *= factor;
    }
    std::vector<std::int64_t> weights;
    for (int s : needs) {
        const double n = std::max(1.0, std::round(std::fabs(model.inputs().needed[s])));
        weights.push_back(exact ? std::int64_t(double(common) / n)
                                : std::max<std::int64_t>(1, std::llround(double(kWeightCeiling) / n)));
    }
    return {weights, exact};
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

// What the items can add to a need at most (in the need's direction), each group filled with its best.
double reachOf(const Model &model, const std::vector<int> &kept, int stat)
{
    std::vector<double> best(slotGroups().size(), 0);
    const int sense = model.sense(stat);
    for (int i : kept)
        best[model.items()[i].group] = std::max(best[model.items()[i].group], sense * model.items()[i].gives[stat]);
    double reach = 0;
    for (int g = 0; g < int(best.size()); ++g)
        reach += best[g] * slotGroups()[g].capacity();
    return reach;
}

void addNeeds(const Model &model, const std::vector<int> &needs, double statScale, Reduced &r)
{
    const auto [weights, exactWeights] = needWeights(model, needs);
    if (!exactWeights)
        r.closestDoubts << QStringLiteral("требования слишком велики или дробны, чтобы сравнить недостачи точно");
    for (int k = 0; k < int(needs.size()); ++k) {
        const int s = needs[k];
        const int sense = model.sense(s);
        // A need beyond what any set reaches is one unit beyond: no set meets it either way,
        // and every set's shortfall moves by the same amount.
        const double wanted = sense * (model.inputs().needed[s] - model.base(s));
        const double ceiling = reachOf(model, r.itemOf, s) + 1 / statScale;
        const double target = sense * std::min(wanted, ceiling);
        r.problem.needs.push_back({scaled(target, statScale), sense, weights[k]});
    }
}

} // namespace

Reduced reduce(const Model &model, int alternatives, double timeLimit, const std::vector<std::int64_t> &start)
{
    Reduced r;
    const Kept kept = keptItems(model, std::min(alternatives + 1, kRivals), pinnedItems(model, start));
    r.alike = kept.alike;
    for (const auto &members : kept.alike)
        r.itemOf.push_back(members.front());
    const std::vector<int> needs = model.needStats();
    std::vector<double> amounts, prices;
    for (int s : needs)
        amounts.insert(amounts.end(), {model.base(s), model.inputs().needed[s]});
    for (int i : r.itemOf) {
        prices.push_back(model.items()[i].price);
        for (int s : needs)
            amounts.push_back(model.items()[i].gives[s]);
    }
    // Whole numbers in the coarsest unit every value is a multiple of: a table
    // of prices in millions stays small.
    auto statScale = wholeScale(amounts);
    auto priceScale = wholeScale(prices);
    if (statScale)
        *statScale /= double(commonUnit(amounts, *statScale));
    if (priceScale)
        *priceScale /= double(commonUnit(prices, *priceScale));
    if (!statScale)
        r.doubts << QStringLiteral("количества характеристик не переводятся точно в целые числа");
    if (!priceScale)
        r.doubts << QStringLiteral("цены не переводятся точно в целые числа");
    r.priceScale = priceScale.value_or(1);

    Problem &p = r.problem;
    for (const SlotGroup &g : slotGroups())
        p.capacities.push_back(g.capacity());
    addNeeds(model, needs, statScale.value_or(1), r);
    double most = 0; // the dearest set there could be: the budget never needs to exceed it
    bool safeCoefficients = true;
    for (int k = 0; k < int(r.itemOf.size()); ++k) {
        const Item &item = model.items()[r.itemOf[k]];
        Problem::Item pi{item.group, scaled(item.price, r.priceScale), model.affordable(item), 0, kept.beaten[k], {}};
        if (const auto it = model.inputs().locked.find(item.record); it != model.inputs().locked.end())
            pi.locked = it->second;
        safeCoefficients = safeCoefficients && safe(double(pi.price) * p.capacities[item.group]);
        for (int s : needs) {
            pi.gives.push_back(scaled(item.gives[s], statScale.value_or(1)));
            safeCoefficients = safeCoefficients && safe(double(pi.gives.back()) * p.capacities[item.group]);
        }
        most += double(pi.price) * p.capacities[item.group];
        p.items.push_back(std::move(pi));
    }
    for (const Problem::Need &n : p.needs)
        safeCoefficients = safeCoefficients && safe(double(n.target));
    if (!safeCoefficients)
        r.doubts << QStringLiteral("цены или количества слишком велики для точного решения");
    p.budget = std::int64_t(std::floor(std::min(model.inputs().money * r.priceScale + kWholeTolerance, most)));
    p.alternatives = alternatives;
    p.timeLimit = timeLimit;
    if (!start.empty()) {
        std::map<int, int> classOf; // model item -> problem item
        for (int k = 0; k < int(r.alike.size()); ++k)
            for (int i : r.alike[k])
                classOf[i] = k;
        p.start.assign(p.items.size(), 0);
        for (std::int64_t record : start)
            if (const auto index = model.itemOf(record); index && classOf.contains(*index))
                ++p.start[classOf[*index]];
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
