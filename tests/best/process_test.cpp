// The solver process cannot outlive or drown its caller, and its answers are
// checked against what the caller knows before they are believed.

#include "BestTable.h"
#include "best/Report.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

using namespace vestor;
using namespace vestor::best;
using namespace besttest;

namespace {

QString fake(const char *name) { return QStringLiteral(FAKE_SOLVERS "/%1").arg(QLatin1String(name)); }

// Whether a process runs: there and not a zombie waiting to be reaped.
bool runs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype afterName = line.lastIndexOf(')');
    return afterName > 0 && line.mid(afterName + 2, 1) != "Z";
}

TEST(Process, ASolverDiesWithItsKilledCaller)
{
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("solver.pid"));
    QProcess parent;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SOLVER_PID_FILE"), pidFile);
    parent.setProcessEnvironment(env);
    parent.start(QStringLiteral(SOLVE_PARENT), {fake("hang.sh")});
    ASSERT_TRUE(parent.waitForStarted());
    qint64 solver = 0;
    for (int wait = 0; wait < 200 && solver == 0; ++wait) {
        QThread::msleep(50);
        QFile f(pidFile);
        if (f.open(QIODevice::ReadOnly))
            solver = f.readAll().trimmed().toLongLong();
    }
    ASSERT_GT(solver, 0) << "the solver never started";
    ASSERT_TRUE(runs(solver));
    parent.kill();
    parent.waitForFinished();
    QThread::msleep(2000);
    EXPECT_FALSE(runs(solver));
    if (runs(solver))
        ::kill(pid_t(solver), SIGKILL);
}

struct Answers : ::testing::Test {
    besttest::Table table;
    Inputs in;

    void SetUp() override
    {
        // Record 1: a ring that meets the need at 10; record 2: an amulet that meets it at 30.
        table.load({item("ring", "R", 10, {{kSila, 5}}), item("amulet", "A", 30, {{kSila, 5}})});
        in.money = 100;
        in.needed[kSila] = 5;
    }

    // What comes of a solver that gives `answer`, with the pick's set `start`.
    Result given(const QByteArray &answer, const std::vector<std::int64_t> &start = {})
    {
        qputenv("SOLVER_ANSWER", answer);
        const Model model(table.rows(), in);
        Options o = besttest::options();
        o.solver = fake("canned.sh");
        o.start = start;
        const Result r = solve(model, o);
        qunsetenv("SOLVER_ANSWER");
        return r;
    }
};

TEST_F(Answers, AFloodingSolverIsStoppedWithAnError)
{
    const Model model(table.rows(), in);
    Options o = besttest::options();
    o.solver = fake("flood.sh");
    const QString message = testdbf::errorOf([&] { solve(model, o); });
    EXPECT_TRUE(message.contains(QStringLiteral("длиннее"))) << message.toStdString();
    EXPECT_EQ(solve(model, besttest::options()).sets[0].total, 10);
}

TEST_F(Answers, AClaimThePicksSetDisprovesIsNotBelieved)
{
    // Problem items come in price order: the ring first, then the amulet.
    const Result r = given(R"({"allMet":true,"proven":true,"gap":0,"sets":[[0,1]]})", {1});
    EXPECT_FALSE(r.proven);
    EXPECT_EQ(r.sets[0].total, 10);
    EXPECT_FALSE(r.doubts.isEmpty());
}

TEST_F(Answers, ANonsenseNumberIsAnError)
{
    struct Case {
        const char *what;
        const char *answer;
    };
    for (const Case &c : {Case{"a negative gap", R"({"allMet":true,"proven":false,"gap":-0.5,"sets":[[1,0]]})"},
                          Case{"a count beyond any slot", R"({"allMet":true,"proven":true,"gap":0,"sets":[[1e12,0]]})"},
                          Case{"a fractional count", R"({"allMet":true,"proven":true,"gap":0,"sets":[[0.5,0]]})"}})
        EXPECT_TRUE(refused([&] { given(c.answer); })) << c.what;
}

TEST_F(Answers, MoneyNeededIsAFactOnlyWhenProven)
{
    in.money = 5;
    // The problem counts money in tens, the prices' common unit.
    struct Case {
        const char *what;
        const char *answer;
        bool proven;
    };
    const std::vector<Case> cases{
        {"proven", R"({"allMet":false,"proven":true,"gap":0,"sets":[[0,0]],"moneyNeeded":1,"moneyNeededProven":true})",
         true},
        {"cut short",
         R"({"allMet":false,"proven":true,"gap":0,"sets":[[0,0]],"moneyNeeded":3,"moneyNeededProven":false})", false},
    };
    for (const Case &c : cases) {
        const Result r = given(c.answer);
        ASSERT_TRUE(r.moneyNeeded) << c.what;
        EXPECT_EQ(r.moneyNeededProven, c.proven) << c.what;
        const Model model(table.rows(), in);
        const QString text = shortfallLines(model, r).join(u'\n');
        EXPECT_EQ(text.contains(QStringLiteral("не более")), !c.proven) << c.what;
    }
    // Money within the purse cannot be what is missing.
    EXPECT_TRUE(refused([&] {
        given(R"({"allMet":false,"proven":true,"gap":0,"sets":[[0,0]],"moneyNeeded":0,"moneyNeededProven":true})");
    }));
}

} // namespace
