#pragma once

#include "best/Solve.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <memory>

namespace vestor::best {

// One solve in the solver process, driven by the caller's event loop, so a
// window stays responsive; one at a time. A solver that crashes, talks
// nonsense or floods its answer ends in failed(); one cut by the time limit
// ends in the best set known without it. The solver dies with the thread
// that started it.
class Solver : public QObject
{
    Q_OBJECT

public:
    explicit Solver(QObject *parent = nullptr);
    ~Solver() override;

    // Throws Error when a solve is already running or the inputs cannot be solved.
    void start(std::shared_ptr<const Model> model, const Options &options);
    // Stops the solver at once; neither signal follows.
    void cancel();
    bool isRunning() const { return pending_ || process_.state() != QProcess::NotRunning; }

signals:
    void finished(const vestor::best::Result &result);
    void failed(const QString &message);

private:
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void readAnswer();
    void readErrors();
    void fail(const QString &message);
    void finishWithout(const QString &why);

    QProcess process_;
    QTimer limit_;
    std::shared_ptr<const Model> model_;
    std::unique_ptr<Job> job_;
    QByteArray answer_;
    QByteArray errors_;
    bool pending_ = false; // an answer without the solver is on its way
};

} // namespace vestor::best
