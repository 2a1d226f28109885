// The catalogue window over generated item tables of 1,000 to 1,000,000 rows:
// opening it (build, fill, first paint) and sorting by a column. Tables are
// shared with vestor_bench through VESTOR_BENCH_DATA (default: bench-data).

#include "ItemTables.h"
#include "catalogue/Catalogue.h"
#include "shell/CatalogueWindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

vestor::Catalogue &catalogue(std::int64_t rows)
{
    static std::map<std::int64_t, std::unique_ptr<vestor::Catalogue>> loaded;
    auto &c = loaded[rows];
    if (!c) {
        const QString base = qEnvironmentVariable("VESTOR_BENCH_DATA", QStringLiteral("bench-data"));
        const QString dir = QDir(base).absoluteFilePath(QString::number(rows) + QStringLiteral("/Data"));
        if (!QFileInfo::exists(dir + QStringLiteral("/Subjects.DBF"))) {
            QDir().mkpath(dir);
            vestorbench::writeItemTable(dir + QStringLiteral("/Subjects.DBF"), rows);
        }
        c = std::make_unique<vestor::Catalogue>();
        c->setUpIn(dir);
    }
    return *c;
}

// The press of "Каталог" to the window painted with its rows.
void BM_OpenCatalogueWindow(benchmark::State &state)
{
    vestor::Catalogue &c = catalogue(state.range(0));
    for (auto _ : state) {
        auto w = std::make_unique<vestor::CatalogueWindow>();
        w->open({c.rows(), QStringLiteral("/nonexistent/Subjects.DBF"), {}});
        w->show();
        QCoreApplication::processEvents();
        w->repaint();
        benchmark::DoNotOptimize(w->model().rowCount());
        state.PauseTiming();
        w.reset();
        state.ResumeTiming();
    }
}

// One click on a column header; `column` is the item column's name.
void sortBy(benchmark::State &state, const char *column)
{
    vestor::Catalogue &c = catalogue(state.range(0));
    vestor::ItemModel model;
    model.setRows(c.rows());
    const int at = vestor::ItemModel::viewColumn(column);
    bool down = false;
    for (auto _ : state) {
        // Alternate so that no run starts from rows already in order.
        model.sort(at, down ? Qt::DescendingOrder : Qt::AscendingOrder);
        down = !down;
    }
}

// The rows shown and then sorted by name at once: the time the window's
// thread is busy. Below 50,000 rows that includes waiting for the folded
// names; above, the sort is applied when they are ready.
void BM_LoadThenSortByName(benchmark::State &state)
{
    vestor::Catalogue &c = catalogue(state.range(0));
    const int at = vestor::ItemModel::viewColumn("NAME");
    for (auto _ : state) {
        vestor::ItemModel model;
        model.setRows(c.rows());
        model.sort(at, Qt::AscendingOrder);
        benchmark::DoNotOptimize(model.rowCount());
        state.PauseTiming();
        model.setRows({});
        state.ResumeTiming();
    }
}

// The name filter's answer once typing pauses: a few letters of a common
// word, alternately two and three, with the rows sorted by name.
void BM_NameFilter(benchmark::State &state)
{
    vestor::Catalogue &c = catalogue(state.range(0));
    vestor::ItemModel model;
    model.setRows(c.rows());
    model.sort(vestor::ItemModel::viewColumn("NAME"), Qt::AscendingOrder);
    vestor::ItemModel::Filter f;
    bool longer = false;
    for (auto _ : state) {
        f.name = longer ? QStringLiteral("ОЛЬ") : QStringLiteral("ко");
        longer = !longer;
        model.setFilter(f);
        benchmark::DoNotOptimize(model.rowCount());
    }
}

} // namespace

BENCHMARK(BM_LoadThenSortByName)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NameFilter)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenCatalogueWindow)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(sortBy, PRICE, "PRICE")->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(sortBy, SILA, "SILA")->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(sortBy, TYPE, "TYPE")->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(sortBy, NAME, "NAME")->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
