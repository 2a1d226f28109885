// The best set against the pick, from the click to the result: the shipped
// table and generated tables of 10,000, 100,000 and 1,000,000 items whose
// prices follow their stats (the last with a 5 s limit for the whole request). Each benchmark runs one realistic input
// per iteration and reports percentiles over them, the share the solver proved best, the share of inputs where the pick
// misses a need the best set meets, and the median ratio of the pick's price to the best set's.
//   vestor_bench_best --benchmark_counters_tabular=true

#include "best/Greedy.h"
#include "best/Model.h"
#include "best/Solve.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Columns.h"
#include "catalogue/Error.h"
#include "engine/Picker.h"
#include "engine/TextWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <shapefil.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <random>
#include <sys/resource.h>

namespace {

using namespace vestor;
using namespace vestor::best;
using Clock = std::chrono::steady_clock;

constexpr int kInputs = 40;
constexpr int kBigInputs = 30;
constexpr int kHugeInputs = 8;
constexpr int kHugeRows = 1'000'000;
constexpr double kHugeTimeLimit = 5;
constexpr int kNumberWidth = 12;
constexpr int kNumberDecimals = 2;
constexpr int kTextWidth = 50;

// Item types in roughly the shipped table's mix.
const char *const kTypes[] = {"2hand", "armor", "armor",  "ponogi", "ring",   "ring",
                              "ring",  "pojas", "perchi", "helmet", "amulet", "lats"};

int columnOf(const char *name)
{
    for (int c = 0; c < kItemColumnCount; ++c)
        if (qstrcmp(kItemColumns[c].name, name) == 0)
            return c;
    return -1;
}

// Writes `rows` items; each item's price follows what it gives, times a level factor and some noise.
void writeTable(const QString &dir, int rows, std::uint32_t seed)
{
    QDir().mkpath(dir);
    DBFHandle h = DBFCreateEx(QDir(dir).filePath("Subjects.DBF").toLocal8Bit().constData(), "LDID/201");
    for (const ItemColumn &c : kItemColumns)
        DBFAddField(h, c.name, c.kind == ColumnKind::String ? FTString : FTDouble,
                    c.kind == ColumnKind::String ? kTextWidth : kNumberWidth,
                    c.kind == ColumnKind::String ? 0 : kNumberDecimals);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> type(0, std::size(kTypes) - 1), level(1, kTopLevel), stat(1, kStatCount),
        statCount(2, 4), race(0, 9);
    std::uniform_real_distribution<double> noise(0.8, 1.25);
    for (int r = 0; r < rows; ++r) {
        const int urov = level(random);
        std::vector<double> values(kItemColumnCount, 0);
        double worth = 0;
        for (int k = statCount(random); k > 0; --k) {
            const int s = stat(random);
            const double amount = std::round((1 + urov) * noise(random) * (s > 10 ? 4 : 1));
            const double sign = vestor::stat(s).mayBeNegative && race(random) < 3 ? -1 : 1;
            values[columnOf(statColumn(s))] = sign * amount;
            worth += amount * (s > 10 ? 8 : 30);
        }
        DBFWriteStringAttribute(h, r, 0, kTypes[type(random)]);
        DBFWriteStringAttribute(h, r, 1, QStringLiteral("Item %1").arg(r + 1).toLatin1().constData());
        DBFWriteDoubleAttribute(h, r, 2, std::round(worth * (1 + urov / 3.0) * noise(random)));
        const int rc = race(random);
        DBFWriteStringAttribute(h, r, 3, rc < kRaceCount ? races()[rc].code : "No");
        DBFWriteDoubleAttribute(h, r, 4, urov);
        for (int c = 5; c < kItemColumnCount; ++c)
            DBFWriteDoubleAttribute(h, r, c, values[c]);
    }
    DBFClose(h);
}

// The most of each stat a character of this race and level could wear, money aside.
StatValues reach(const Model &model)
{
    std::vector<StatValues> best(slotGroups().size(), StatValues{});
    for (const Item &item : model.items())
        for (int s = 1; s <= kStatCount; ++s)
            best[item.group][s] = std::max(best[item.group][s], item.gives[s]);
    StatValues out{};
    for (int g = 0; g < int(best.size()); ++g)
        for (int s = 1; s <= kStatCount; ++s)
            out[s] += best[g][s] * slotGroups()[g].capacity();
    return out;
}

// The stats whose needed value may be negative, or the others.
std::vector<int> statsWhere(bool mayBeNegative)
{
    std::vector<int> out;
    for (const Stat &s : stats())
        if (s.mayBeNegative == mayBeNegative)
            out.push_back(s.index);
    return out;
}

// A purse of a few times what a typical allowed item costs, times the twelve slots.
QString purse(const Model &all, std::mt19937 &random)
{
    std::vector<double> prices;
    for (const Item &item : all.items())
        prices.push_back(item.price);
    if (prices.empty())
        return QStringLiteral("0");
    std::nth_element(prices.begin(), prices.begin() + prices.size() / 2, prices.end());
    return QString::number(std::round(prices[prices.size() / 2] * slotOrder().size() *
                                      std::uniform_real_distribution<double>(0.5, 4)(random)));
}

// A player's question: a character, a purse, and a few needs of a reachable size.
TextWindow input(const ItemRows &rows, std::mt19937 &random, int &level)
{
    static const std::vector<int> plain = statsWhere(false), ceilings = statsWhere(true);
    std::uniform_int_distribution<int> race(0, kRaceCount - 1), levels(1, kTopLevel), count(2, 5), coin(0, 3);
    std::uniform_int_distribution<std::size_t> pickPlain(0, plain.size() - 1), pickCeiling(0, ceilings.size() - 1);
    std::uniform_real_distribution<double> share(0.15, 0.8);
    TextWindow w;
    Inputs in;
    in.race = race(random);
    w.race = races()[in.race].name;
    in.level = level = levels(random);
    in.money = std::numeric_limits<double>::max();
    const Model all(rows, in);
    const StatValues most = reach(all);
    w.money = purse(all, random);
    for (int k = count(random); k > 0; --k) {
        const int s = plain[pickPlain(random)];
        const int have = vestor::stat(s).hasCurrent() ? int(std::round(5 + 10 * share(random))) : 0;
        w.current[s] = QString::number(have);
        w.needed[s] = QString::number(have + int(std::round(most[s] * share(random))));
    }
    if (coin(random) == 0)
        w.needed[ceilings[pickCeiling(random)]] = QString::number(-int(std::round(1 + 5 * share(random))));
    return w;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size())))];
}

// The solver beside this program, as the window and vestor-pick find theirs.
QString solverProgram()
{
    static const QString path = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget())
                                    .dir()
                                    .filePath(QStringLiteral("vestor-solve"));
    return path;
}

// Processor time of this program and the solver processes it has waited for, in ms.
double processorMs()
{
    double ms = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage u{};
        getrusage(who, &u);
        ms += (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
    }
    return ms;
}

struct Figures {
    std::vector<double> bestMs, bestCpuMs, greedyMs, ratios;
    int proven = 0, greedyMisses = 0, runs = 0, errors = 0;
};

// The pick misses a need that the best set meets.
bool pickMisses(const Model &model, const ItemSet &pick, const ItemSet &best)
{
    for (int s : model.needStats())
        if (pick.shortBy[s] > 0 && best.shortBy[s] <= 0)
            return true;
    return false;
}

void runOne(Catalogue &catalogue, const TextWindow &w, int level, const Options &asked, Figures &f)
{
    catalogue.raceChanged(w.race);
    catalogue.levelChanged(QString::number(level));
    const double cpu0 = processorMs();
    const auto t0 = Clock::now();
    // The whole request, as vestor-pick makes it: the model, the pick's set, the solve.
    Options o = asked;
    o.requested = t0;
    const Model model(catalogue.table1.rows(), inputsFrom(w, level));
    o.start = greedyRecords(catalogue, w);
    const auto t1 = Clock::now();
    o.solver = solverProgram();
    const Result r = solve(model, o);
    const auto t2 = Clock::now();
    f.bestCpuMs.push_back(processorMs() - cpu0);
    f.greedyMs.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    f.bestMs.push_back(std::chrono::duration<double, std::milli>(t2 - t0).count());
    f.proven += r.proven;
    const ItemSet pick = describedSet(model, o.start);
    f.greedyMisses += pickMisses(model, pick, r.sets[0]);
    if (r.allMet && r.sets[0].total > 0 && pick.meetsAll())
        f.ratios.push_back(pick.total / r.sets[0].total);
    ++f.runs;
}

void report(benchmark::State &state, const Figures &f)
{
    state.counters["best_p50_ms"] = percentile(f.bestMs, 0.5);
    state.counters["best_p95_ms"] = percentile(f.bestMs, 0.95);
    state.counters["best_max_ms"] = percentile(f.bestMs, 1.0);
    state.counters["best_cpu_p50_ms"] = percentile(f.bestCpuMs, 0.5);
    state.counters["best_cpu_p95_ms"] = percentile(f.bestCpuMs, 0.95);
    state.counters["model_and_pick_p50_ms"] = percentile(f.greedyMs, 0.5);
    state.counters["proven_pct"] = 100.0 * f.proven / std::max(1, f.runs);
    state.counters["pick_misses_pct"] = 100.0 * f.greedyMisses / std::max(1, f.runs);
    state.counters["price_ratio_median"] = percentile(f.ratios, 0.5);
    state.counters["ratio_inputs"] = double(f.ratios.size());
    state.counters["errors"] = f.errors;
}

void solveOn(benchmark::State &state, const QString &dataDir, int inputs, const Options &asked)
{
    Catalogue catalogue;
    const auto loading = Clock::now();
    catalogue.setUpIn(dataDir);
    state.counters["load_ms"] = std::chrono::duration<double, std::milli>(Clock::now() - loading).count();
    std::mt19937 random(7);
    Figures f;
    for (auto _ : state) {
        for (int i = 0; i < inputs; ++i) {
            int level = 1;
            const TextWindow w = input(catalogue.table1.rows(), random, level);
            try {
                runOne(catalogue, w, level, asked, f);
            } catch (const Error &) {
                // Counted, not hidden: a solver that failed is a figure too.
                ++f.errors;
            }
        }
    }
    report(state, f);
}

// Argument: the alternatives asked for (the window asks for the default).
Options asking(int alternatives, double timeLimit = kDefaultTimeLimit)
{
    Options o;
    o.alternatives = alternatives;
    o.timeLimit = timeLimit;
    return o;
}

void BM_BestShipped(benchmark::State &state)
{
    solveOn(state, QStringLiteral(VESTOR_DATA_DIR), kInputs, asking(int(state.range(0))));
}

void BM_BestGenerated(benchmark::State &state)
{
    QTemporaryDir dir;
    const int rows = int(state.range(0));
    writeTable(dir.path(), rows, std::uint32_t(rows));
    solveOn(state, dir.path(), rows > 10000 ? kBigInputs : kInputs, asking(int(state.range(1))));
}

// A million items under --time-limit 5: the whole request stays within the limit, plus the load.
void BM_BestMillion(benchmark::State &state)
{
    QTemporaryDir dir;
    writeTable(dir.path(), kHugeRows, kHugeRows);
    solveOn(state, dir.path(), kHugeInputs, asking(int(state.range(0)), kHugeTimeLimit));
}

} // namespace

// Arguments: rows, alternatives.
BENCHMARK(BM_BestShipped)->Arg(0)->Arg(kDefaultAlternatives)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BestGenerated)
    ->Args({10000, 0})
    ->Args({10000, kDefaultAlternatives})
    ->Args({100000, 0})
    ->Args({100000, kDefaultAlternatives})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BestMillion)->Arg(kDefaultAlternatives)->Iterations(1)->Unit(benchmark::kMillisecond);

// The solve waits for its solver in an event loop.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
