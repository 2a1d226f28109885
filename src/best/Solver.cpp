#include "best/Solver.h"

#include "catalogue/Error.h"

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace vestor::best {

namespace {

// How long a killed solver may take to be reaped.
constexpr int kReapMilliseconds = 2000;
// An answer is a few sets of counts: anything near this is a solver gone wrong.
constexpr qsizetype kMostAnswerBytes = 4 * 1024 * 1024;
// Of what the solver says on stderr, the end is what explains a failure.
constexpr qsizetype kMostErrorBytes = 4096;

// The solver ends with the thread that starts it, even when that is killed;
// a parent already gone before the solver ran is caught too.
void tieToParent(QProcess &process)
{
#ifdef Q_OS_LINUX
    const pid_t parent = getpid();
    process.setChildProcessModifier([parent] {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(1);
    });
#else
    Q_UNUSED(process);
#endif
}

} // namespace

Solver::Solver(QObject *parent) : QObject(parent)
{
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] { finishWithout(QStringLiteral("решатель не ответил вовремя")); });
    connect(&process_, &QProcess::finished, this, &Solver::onFinished);
    connect(&process_, &QProcess::readyReadStandardOutput, this, &Solver::readAnswer);
    connect(&process_, &QProcess::readyReadStandardError, this, &Solver::readErrors);
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail(QStringLiteral("Не удалось запустить решатель %1: %2").arg(job_->program(), process_.errorString()));
    });
    tieToParent(process_);
}

Solver::~Solver() { cancel(); }

void Solver::start(std::shared_ptr<const Model> model, const Options &options)
{
    if (isRunning())
        throw Error(QStringLiteral("Поиск лучшего комплекта уже идёт."));
    auto job = std::make_unique<Job>(*model, options);
    model_ = std::move(model);
    job_ = std::move(job);
    answer_.clear();
    errors_.clear();
    if (!job_->needsSolver()) {
        // Said from the event loop, as the solver's answer would be.
        pending_ = true;
        QMetaObject::invokeMethod(
            this, [this] { finishWithout(QStringLiteral("время на поиск вышло до запуска решателя")); },
            Qt::QueuedConnection);
        return;
    }
    process_.start(job_->program(), {});
    if (process_.state() == QProcess::NotRunning)
        return; // it could not start, and failed() has said so
    process_.write(job_->request());
    process_.closeWriteChannel();
    limit_.start(job_->patience());
}

void Solver::cancel()
{
    limit_.stop();
    pending_ = false;
    if (process_.state() == QProcess::NotRunning)
        return;
    // Nothing the stopped solver still says is wanted.
    const QSignalBlocker quiet(process_);
    process_.kill();
    process_.waitForFinished(kReapMilliseconds);
}

void Solver::fail(const QString &message)
{
    cancel();
    emit failed(message);
}

void Solver::finishWithout(const QString &why)
{
    if (!pending_ && process_.state() == QProcess::NotRunning)
        return; // cancelled meanwhile
    cancel();
    try {
        emit finished(job_->withoutSolver(why));
    } catch (const Error &e) {
        emit failed(e.message());
    }
}

void Solver::readAnswer()
{
    answer_ += process_.readAllStandardOutput();
    if (answer_.size() > kMostAnswerBytes)
        fail(QStringLiteral("Решатель прислал ответ длиннее %1 МБ и был остановлен.")
                 .arg(kMostAnswerBytes / (1024 * 1024)));
}

void Solver::readErrors()
{
    errors_ += process_.readAllStandardError();
    if (errors_.size() > kMostErrorBytes)
        errors_ = errors_.right(kMostErrorBytes);
}

void Solver::onFinished(int exitCode, QProcess::ExitStatus status)
{
    limit_.stop();
    readAnswer();
    readErrors();
    if (answer_.size() > kMostAnswerBytes)
        return; // failed() has said so
    try {
        const Result result = job_->conclude(status, exitCode, answer_, errors_);
        emit finished(result);
    } catch (const Error &e) {
        emit failed(e.message());
    }
}

} // namespace vestor::best
