// Load and pick over generated item tables of 1,000, 100,000 and 1,000,000
// rows. The tables are written once per run into VESTOR_BENCH_DATA (default:
// bench-data in the working directory), one directory per size.

#include "ItemTables.h"
#include "PickScenario.h"
#include "catalogue/Catalogue.h"
#include "catalogue/DbfLoader.h"
#include "engine/Picker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

// The data directory holding a table of `rows` items, written on first use.
QString dataDir(std::int64_t rows)
{
    const QString base = qEnvironmentVariable("VESTOR_BENCH_DATA", QStringLiteral("bench-data"));
    const QString dir = QDir(base).absoluteFilePath(QString::number(rows) + QStringLiteral("/Data"));
    const QString table = dir + QStringLiteral("/Subjects.DBF");
    if (!QFileInfo::exists(table)) {
        QDir().mkpath(dir);
        vestorbench::writeItemTable(table, rows);
    }
    return dir;
}

// File -> catalogue ready for its first query.
void BM_Load(benchmark::State &state)
{
    const QString dir = dataDir(state.range(0));
    for (auto _ : state) {
        auto c = std::make_unique<vestor::Catalogue>();
        c->setUpIn(dir);
        benchmark::DoNotOptimize(c->table1.recordCount());
        // Freeing the catalogue is the end of the program, not part of loading.
        state.PauseTiming();
        c.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The table's records into the column store, in `range(1)` parts side by
// side (0: as the loader chooses for the machine).
void BM_LoadRecords(benchmark::State &state)
{
    const QString table = dataDir(state.range(0)) + QStringLiteral("/Subjects.DBF");
    for (auto _ : state) {
        auto store = vestor::loadDbfTable(table, vestor::kItemColumns, {}, int(state.range(1)));
        benchmark::DoNotOptimize(store->rowCount());
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The floor for a load: the file's bytes read from the page cache, nothing done with them.
void BM_ReadFileBytes(benchmark::State &state)
{
    QFile file(dataDir(state.range(0)) + QStringLiteral("/Subjects.DBF"));
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("cannot open the table");
        return;
    }
    QByteArray buffer(4 << 20, Qt::Uninitialized);
    for (auto _ : state) {
        file.seek(0);
        qint64 total = 0;
        for (qint64 got; (got = file.read(buffer.data(), buffer.size())) > 0;)
            total += got;
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(state.iterations() * file.size());
}

// One press of the pick button: twelve best-item queries and the report.
void BM_Pick(benchmark::State &state)
{
    vestor::Catalogue c;
    c.setUpIn(dataDir(state.range(0)));
    vestor::TextWindow w;
    vestorbench::fillScenario(w, c);
    vestor::Picker picker(w, c);
    for (auto _ : state)
        picker.Button1Click();
    state.counters["report_lines"] = double(w.report.size());
}

// The first press after loading, which also builds what the queries look
// rows up by (the race codes).
void BM_FirstPick(benchmark::State &state)
{
    const QString dir = dataDir(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto c = std::make_unique<vestor::Catalogue>();
        c->setUpIn(dir);
        vestor::TextWindow w;
        vestorbench::fillScenario(w, *c);
        vestor::Picker picker(w, *c);
        state.ResumeTiming();
        picker.Button1Click();
        state.PauseTiming();
        c.reset();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_Load)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadRecords)
    ->ArgsProduct({{1000, 100000, 1000000}, {1, 0}})
    ->ArgNames({"rows", "parts"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_ReadFileBytes)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_Pick)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstPick)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

BENCHMARK_MAIN();
