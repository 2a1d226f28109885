#pragma once

#include "best/Model.h"
#include "best/Reduce.h"
#include "best/Sets.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>
#include <vector>

namespace vestor::best {

inline constexpr int kDefaultAlternatives = 4;
inline constexpr double kDefaultTimeLimit = 10;

struct Options {
    int alternatives = kDefaultAlternatives;
    double timeLimit = kDefaultTimeLimit; // seconds of wall clock for the whole request
    std::vector<std::int64_t> start;      // the pick's records, offered as a first set
    QString solver; // the solver program; empty: vestor-solve beside this program or in its libexec
    // When the request was made: the limit counts from here. Unset: from the solve's start.
    std::optional<std::chrono::steady_clock::time_point> requested;
};

struct Result {
    bool allMet = false;
    bool proven = false;
    double gap = 0;            // how far the best may lie from the best there is, when not proven
    bool gapKnown = true;      // false when no bound was found to measure it against
    QStringList doubts;        // why the best is not proven, when it is not
    std::vector<ItemSet> sets; // the best first, then the alternatives
    int alternativesAsked = 0;
    std::vector<Unreachable> unreachable;
    std::optional<double> moneyNeeded;
    bool moneyNeededProven = false; // the least money that meets every need, not only enough
    int alternativesFound() const { return sets.empty() ? 0 : int(sets.size()) - 1; }
};

// One solve prepared for the solver process, and reading what it says.
class Job
{
public:
    Job(const Model &model, const Options &options);

    QString program() const;
    const QByteArray &request() const { return request_; }
    // False when the answer needs no solver: the time is spent, or the locked
    // items alone (often none) already meet every need.
    bool needsSolver() const;
    // How long to wait for the process before stopping it, in milliseconds.
    int patience() const;
    // The process's end turned into a result, every set checked; throws Error.
    Result conclude(QProcess::ExitStatus status, int exitCode, const QByteArray &out, const QByteArray &err) const;
    // The answer without the solver: the bare locks when they meet every need
    // (proven), else the better of them and the pick's set, unproven for `why`.
    Result withoutSolver(const QString &why) const;

private:
    Result interpret(const Answer &answer) const;
    ItemSet setOf(const std::vector<int> &answerSet) const;
    ItemSet lockedOnly() const;
    ItemSet fallback() const;
    void preferFallback(Result &r) const;
    void addMoneyNeeded(const Answer &answer, Result &r) const;

    const Model &model_;
    Options options_;
    std::chrono::steady_clock::time_point deadline_;
    double answerSeconds_ = 0;
    Reduced reduced_;
    QByteArray request_;
};

// The best set and its alternatives, found by the solver process; blocks
// until it answers or its time is up, running an event loop meanwhile.
// Throws Error.
Result solve(const Model &model, const Options &options = {});

// Checks that the sets keep their promises: each within the rules, all meeting
// every need or none, in objective order, none holding an earlier one or held by it.
void checkSets(const Model &model, bool allMet, const std::vector<ItemSet> &sets);

// Whether set `a` comes before `b`: meets every need when `b` does not, less
// short, or as short and cheaper; values compared relative to their size.
bool better(const Model &model, const ItemSet &a, const ItemSet &b);

} // namespace vestor::best
