#include "best/worker/Search.h"

#include <Cbc_C_Interface.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>

namespace vestor::best {

namespace {

// Objectives are whole numbers: a gap below one step proves the best.
constexpr double kObjectiveStep = 0.99;
// Time below which another solve is not worth starting.
constexpr double kLeastSeconds = 0.05;
// Objectives up to here stay exact in CBC's doubles, with room for its tolerances.
constexpr double kExactObjective = 1e12;
constexpr double kLargestCost = 1e9;
constexpr char kAtMost = 'L';
constexpr int kUnbeaten = 0;
constexpr char kAtLeast = 'G';

// One CBC model for one stage: item counts, shortfalls, the cuts that keep
// it away from earlier sets.
class Mip
{
public:
    Mip(const Problem &problem, const Stage &stage, double seconds)
        : m_(Cbc_newModel(), &Cbc_deleteModel), p_(problem), stage_(stage), col_(problem.items.size(), -1)
    {
        quiet(seconds);
        for (int i = 0; i < int(p_.items.size()); ++i)
            if ((!stage.budgeted || p_.items[i].affordable) && p_.items[i].beaten <= stage.mostBeaten)
                col_[i] = column(p_.items[i].locked, p_.capacities[p_.items[i].group],
                                 stage.priceCost * double(p_.items[i].price));
    }

    void addGroups()
    {
        for (int g = 0; g < int(p_.capacities.size()); ++g)
            row(itemTerms([&](const Problem::Item &item) { return item.group == g ? 1.0 : 0.0; }), kAtMost,
                p_.capacities[g]);
        if (stage_.budgeted)
            row(itemTerms([](const Problem::Item &item) { return double(item.price); }), kAtMost, double(p_.budget));
    }

    void addNeeds()
    {
        std::vector<std::pair<int, double>> shortfalls;
        for (int k = 0; k < int(p_.needs.size()); ++k) {
            const Problem::Need &n = p_.needs[k];
            auto terms = itemTerms([&](const Problem::Item &item) { return double(item.gives[k]); });
            if (stage_.soft) {
                // Shortfall s: gives + s >= target, or gives - s <= target for a ceiling.
                const int s = column(0, std::numeric_limits<double>::max(), stage_.shortfallCost * double(n.weight));
                terms.emplace_back(s, n.sense);
                shortfalls.emplace_back(s, double(n.weight));
            }
            row(terms, n.sense > 0 ? kAtLeast : kAtMost, double(n.target));
        }
        if (stage_.shortfallCap)
            row(shortfalls, kAtMost, double(*stage_.shortfallCap));
    }

    // No set may hold all of an earlier one (some item fewer times), nor only
    // part of it (some item more times): each set offers something new.
    void addCut(const std::vector<int> &earlier)
    {
        std::vector<std::pair<int, double>> fewer, more;
        bool reachable = true;
        for (int i = 0; i < int(earlier.size()); ++i) {
            if (col_[i] < 0) {
                reachable = reachable && earlier[i] == 0;
                continue;
            }
            const int capacity = p_.capacities[p_.items[i].group];
            if (earlier[i] > 0) {
                // y = 1 forces count <= earlier - 1; big enough to be free otherwise.
                const double room = capacity - earlier[i] + 1;
                const int y = column(0, 1, 0);
                row({{col_[i], 1.0}, {y, room}}, kAtMost, earlier[i] - 1 + room);
                fewer.emplace_back(y, 1.0);
            }
            if (earlier[i] < capacity) {
                // z = 1 forces count >= earlier + 1.
                const int z = column(0, 1, 0);
                row({{col_[i], 1.0}, {z, -double(earlier[i] + 1)}}, kAtLeast, 0);
                more.emplace_back(z, 1.0);
            }
        }
        // An earlier set out of this stage's reach is already held fewer times.
        if (reachable)
            row(fewer, kAtLeast, 1);
        row(more, kAtLeast, 1);
    }

    void offer(const std::vector<int> &start)
    {
        std::vector<int> cols;
        std::vector<double> values;
        for (int i = 0; i < int(start.size()); ++i)
            if (start[i] > 0 && col_[i] >= 0) {
                cols.push_back(col_[i]);
                values.push_back(start[i]);
            }
        if (!cols.empty())
            Cbc_setMIPStartI(m_.get(), int(cols.size()), cols.data(), values.data());
    }

    Outcome run()
    {
        Outcome out;
        if (columns_ == 0) {
            // Nothing to choose: CBC answers no set at all, but the empty set stands when no row refuses it.
            out.found = out.optimal = !refusesNothing_;
            out.counts.assign(col_.size(), 0);
            return out;
        }
        Cbc_solve(m_.get());
        const double *solution = Cbc_bestSolution(m_.get());
        out.found = solution != nullptr;
        out.optimal = out.found && Cbc_isProvenOptimal(m_.get());
        if (!out.found)
            return out;
        out.objective = Cbc_getObjValue(m_.get());
        out.bound = Cbc_getBestPossibleObjValue(m_.get());
        out.counts.assign(col_.size(), 0);
        for (int i = 0; i < int(col_.size()); ++i)
            if (col_[i] >= 0)
                out.counts[i] = int(std::lround(solution[col_[i]]));
        return out;
    }

private:
    void quiet(double seconds)
    {
        Cbc_setLogLevel(m_.get(), 0);
        Cbc_setParameter(m_.get(), "log", "0");
        Cbc_setParameter(m_.get(), "slog", "0");
        // Debian's CBC counts CPU time unless told otherwise.
        Cbc_setParameter(m_.get(), "timeMode", "elapsed");
        Cbc_setParameter(m_.get(), "sec", std::to_string(seconds).c_str());
        Cbc_setMaximumSeconds(m_.get(), seconds);
        Cbc_setAllowableGap(m_.get(), kObjectiveStep);
        Cbc_setAllowableFractionGap(m_.get(), 0);
    }

    int column(double lower, double upper, double cost)
    {
        Cbc_addCol(m_.get(), "", lower, upper, cost, 1, 0, nullptr, nullptr);
        return columns_++;
    }

    void row(const std::vector<std::pair<int, double>> &terms, char sense, double rhs)
    {
        std::vector<int> cols;
        std::vector<double> coefs;
        for (const auto &[c, v] : terms)
            if (v != 0) {
                cols.push_back(c);
                coefs.push_back(v);
            }
        const bool refused = sense == kAtLeast ? rhs > 0 : rhs < 0;
        refusesNothing_ = refusesNothing_ || (cols.empty() && refused);
        if (!cols.empty() || refused)
            Cbc_addRow(m_.get(), "", int(cols.size()), cols.data(), coefs.data(), sense, rhs);
    }

    template <typename F> std::vector<std::pair<int, double>> itemTerms(F coefficient) const
    {
        std::vector<std::pair<int, double>> terms;
        for (int i = 0; i < int(p_.items.size()); ++i)
            if (col_[i] >= 0)
                terms.emplace_back(col_[i], coefficient(p_.items[i]));
        return terms;
    }

    std::unique_ptr<Cbc_Model, decltype(&Cbc_deleteModel)> m_;
    const Problem &p_;
    Stage stage_;
    std::vector<int> col_;
    int columns_ = 0;
    bool refusesNothing_ = false; // some row holds the empty set out
};

} // namespace

double Outcome::gap() const
{
    if (optimal || !found)
        return 0;
    return std::clamp((objective - bound) / std::max(1.0, std::fabs(objective)), 0.0, 1.0);
}

Search::Search(const Problem &problem)
    : problem_(problem),
      deadline_(std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                       std::chrono::duration<double>(problem.timeLimit)))
{
}

double Search::secondsLeft() const
{
    return std::chrono::duration<double>(deadline_ - std::chrono::steady_clock::now()).count();
}

Outcome Search::solve(const Stage &stage) const
{
    const double seconds = secondsLeft();
    if (seconds < kLeastSeconds)
        return {};
    Mip mip(problem_, stage, seconds);
    mip.addGroups();
    mip.addNeeds();
    if (stage.cut)
        for (const auto &earlier : found_)
            mip.addCut(earlier);
    mip.offer(problem_.start);
    return mip.run();
}

double Search::shortfallCeiling() const
{
    double sum = 0;
    for (int k = 0; k < int(problem_.needs.size()); ++k) {
        std::vector<std::int64_t> most(problem_.capacities.size(), 0);
        for (const Problem::Item &item : problem_.items)
            most[item.group] = std::max(most[item.group], std::abs(item.gives[k]));
        double reach = double(std::abs(problem_.needs[k].target));
        for (int g = 0; g < int(most.size()); ++g)
            reach += double(most[g]) * problem_.capacities[g];
        sum += reach * double(problem_.needs[k].weight);
    }
    return sum;
}

Outcome Search::closest(int mostBeaten) const
{
    // One solve where a unit of shortfall can cost more than the whole budget
    // and the sums stay exact; else the least shortfall first, then its cheapest set.
    const double unit = double(problem_.budget) + 1;
    std::int64_t heaviest = 1;
    for (const Problem::Need &n : problem_.needs)
        heaviest = std::max(heaviest, n.weight);
    if (unit * shortfallCeiling() <= kExactObjective && unit * double(heaviest) <= kLargestCost) {
        Stage both;
        both.mostBeaten = mostBeaten;
        both.soft = true;
        both.shortfallCost = unit;
        return solve(both);
    }
    Stage least;
    least.mostBeaten = mostBeaten;
    least.soft = true;
    least.priceCost = 0;
    least.shortfallCost = 1;
    const Outcome nearest = solve(least);
    if (!nearest.found)
        return nearest;
    Stage cheapestOfThem;
    cheapestOfThem.mostBeaten = mostBeaten;
    cheapestOfThem.soft = true;
    cheapestOfThem.shortfallCap = std::llround(nearest.objective);
    Outcome cheapest = solve(cheapestOfThem);
    if (!cheapest.found)
        return nearest;
    // A cut-short first stage leaves the shortfall unproven, whatever the second says.
    if (!nearest.optimal) {
        cheapest.optimal = false;
        cheapest.objective = nearest.objective;
        cheapest.bound = nearest.bound;
    }
    return cheapest;
}

void Search::addAlternatives(bool soft)
{
    // The k-th further set looks among items that at most k others beat.
    for (int k = 1; k <= problem_.alternatives; ++k) {
        Stage cheapest;
        cheapest.mostBeaten = k;
        const Outcome next = soft ? closest(k) : solve(cheapest);
        if (!next.found)
            return;
        found_.push_back(next.counts);
    }
}

Answer Search::run()
{
    Answer answer;
    // The best set never needs an item that another beats.
    Stage cheapest;
    cheapest.mostBeaten = kUnbeaten;
    Outcome best = solve(cheapest);
    answer.allMet = best.found;
    if (!best.found) {
        best = closest(kUnbeaten);
        Stage anyMoney;
        anyMoney.budgeted = false;
        anyMoney.cut = false;
        anyMoney.mostBeaten = kUnbeaten;
        const Outcome rich = solve(anyMoney);
        if (rich.found) {
            answer.moneyNeeded = std::llround(rich.objective);
            answer.moneyNeededProven = rich.optimal;
        }
    }
    answer.proven = best.optimal;
    answer.gap = best.gap();
    if (best.found) {
        found_.push_back(best.counts);
        addAlternatives(!answer.allMet);
    }
    answer.sets = found_;
    return answer;
}

} // namespace vestor::best
