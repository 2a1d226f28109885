#pragma once

#include "best/Model.h"
#include "best/Reduce.h"
#include "best/Sets.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <optional>
#include <vector>

namespace vestor::best {

inline constexpr int kDefaultAlternatives = 4;
inline constexpr double kDefaultTimeLimit = 10;

struct Options {
    int alternatives = kDefaultAlternatives;
    double timeLimit = kDefaultTimeLimit; // seconds of wall clock
    std::vector<std::int64_t> start;      // the pick's records, offered as a first set
    QString solver; // the solver program; empty: vestor-solve beside this program or in its libexec
};

struct Result {
    bool allMet = false;
    bool proven = false;
    double gap = 0;
    std::vector<ItemSet> sets; // the best first, then the alternatives
    std::vector<Unreachable> unreachable;
    std::optional<double> moneyNeeded;
};

// One solve prepared for the solver process, and reading what it says.
class Job
{
public:
    Job(const Model &model, const Options &options);

    QString program() const;
    const QByteArray &request() const { return request_; }
    // How long to wait for the process before stopping it, in milliseconds.
    int patience() const;
    // The process's end turned into a result, every set checked; throws Error.
    Result conclude(QProcess::ExitStatus status, int exitCode, const QByteArray &out, const QByteArray &err) const;

private:
    Result interpret(const Answer &answer) const;

    const Model &model_;
    Options options_;
    Reduced reduced_;
    QByteArray request_;
};

// The best set and its alternatives, found by the solver process; blocks until
// it answers or its time is up. Throws Error.
Result solve(const Model &model, const Options &options = {});

// Checks that the sets keep their promises: each within the rules, all meeting
// every need or none, in objective order, none holding an earlier one.
void checkSets(const Model &model, bool allMet, const std::vector<ItemSet> &sets);

} // namespace vestor::best
