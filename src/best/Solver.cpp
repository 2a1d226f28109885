#include "best/Solver.h"

#include "catalogue/Error.h"

namespace vestor::best {

namespace {

// How long a killed solver may take to be reaped.
constexpr int kReapMilliseconds = 2000;

} // namespace

Solver::Solver(QObject *parent) : QObject(parent)
{
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] { fail(solverTimedOut()); });
    connect(&process_, &QProcess::finished, this, &Solver::onFinished);
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail(QStringLiteral("Не удалось запустить решатель %1: %2").arg(job_->program(), process_.errorString()));
    });
}

Solver::~Solver() { cancel(); }

void Solver::start(std::shared_ptr<const Model> model, const Options &options)
{
    if (isRunning())
        throw Error(QStringLiteral("Поиск лучшего комплекта уже идёт."));
    auto job = std::make_unique<Job>(*model, options);
    model_ = std::move(model);
    job_ = std::move(job);
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
    if (!isRunning())
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

void Solver::onFinished(int exitCode, QProcess::ExitStatus status)
{
    limit_.stop();
    try {
        const Result result =
            job_->conclude(status, exitCode, process_.readAllStandardOutput(), process_.readAllStandardError());
        emit finished(result);
    } catch (const Error &e) {
        emit failed(e.message());
    }
}

} // namespace vestor::best
