// A solve driven by the event loop: it ends in a result or a clear failure,
// and Cancel stops it at once.

#include "BestTable.h"
#include "best/Solver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

using namespace vestor;
using namespace vestor::best;
using namespace besttest;

namespace {

// Far beyond any solve here; reaching it fails the test instead of hanging it.
constexpr int kWatchdogMs = 30000;

struct Running : ::testing::Test {
    besttest::Table table;
    std::shared_ptr<const Model> model;
    Solver solver;
    std::optional<Result> result;
    QString failure;

    void SetUp() override
    {
        table.load({item("ring", "R", 10, {{kSila, 5}})});
        Inputs in;
        in.money = 100;
        in.needed[kSila] = 10;
        model = std::make_shared<const Model>(table.rows(), in);
        QObject::connect(&solver, &Solver::finished, [this](const Result &r) { result = r; });
        QObject::connect(&solver, &Solver::failed, [this](const QString &m) { failure = m; });
    }
    void TearDown() override { qunsetenv("VESTOR_SOLVE_FAULT"); }

    // Runs the event loop until the solve has ended one way or the other.
    void wait()
    {
        QEventLoop loop;
        QObject::connect(&solver, &Solver::finished, &loop, &QEventLoop::quit);
        QObject::connect(&solver, &Solver::failed, &loop, &QEventLoop::quit);
        QTimer::singleShot(kWatchdogMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
};

TEST_F(Running, EndsInACheckedResult)
{
    solver.start(model, besttest::options());
    EXPECT_TRUE(solver.isRunning());
    wait();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->sets[0].total, 20);
    EXPECT_TRUE(failure.isEmpty());
}

TEST_F(Running, AFaultySolverEndsInAFailureAndTheNextSolveWorks)
{
    for (const char *fault : {"abort", "garbage", "overfill"}) {
        qputenv("VESTOR_SOLVE_FAULT", fault);
        Options o = besttest::options();
        o.timeLimit = 0.2;
        failure.clear();
        solver.start(model, o);
        wait();
        EXPECT_FALSE(failure.isEmpty()) << fault;
        EXPECT_FALSE(solver.isRunning()) << fault;
    }
    // One that never answers is cut by the limit: the set known without it, unproven.
    qputenv("VESTOR_SOLVE_FAULT", "hang");
    Options o = besttest::options();
    o.timeLimit = 0.2;
    result.reset();
    solver.start(model, o);
    wait();
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->proven);
    qunsetenv("VESTOR_SOLVE_FAULT");
    result.reset();
    solver.start(model, besttest::options());
    wait();
    EXPECT_TRUE(result);
}

TEST_F(Running, AMissingSolverFailsOnce)
{
    int failures = 0;
    QObject::connect(&solver, &Solver::failed, [&] { ++failures; });
    Options o = besttest::options();
    o.solver = table.dir.root.filePath(QStringLiteral("no-such-solver"));
    o.timeLimit = 0.1;
    solver.start(model, o);
    // Longer than the time limit and its grace: no second failure follows the first.
    QEventLoop loop;
    QTimer::singleShot(3500, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(failures, 1);
    EXPECT_TRUE(failure.contains(QStringLiteral("no-such-solver")));
}

TEST_F(Running, CancelStopsAHangingSolverAtOnce)
{
    qputenv("VESTOR_SOLVE_FAULT", "hang");
    solver.start(model, besttest::options());
    EXPECT_TRUE(besttest::refused([&] { solver.start(model, besttest::options()); })) << "one solve at a time";
    solver.cancel();
    EXPECT_FALSE(solver.isRunning());
    // Nothing arrives after a cancel.
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_FALSE(result);
    EXPECT_TRUE(failure.isEmpty());
}

} // namespace
