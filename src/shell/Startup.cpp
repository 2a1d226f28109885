#include "shell/Startup.h"

#include "shell/Splash.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <QTranslator>
#include <atomic>
#include <memory>

namespace vestor {

bool loadToolkitTexts()
{
    static QTranslator texts;
    static const bool loaded =
        texts.load(QStringLiteral(":/translations/qtbase_ru.qm")) && QCoreApplication::installTranslator(&texts);
    return loaded;
}

SplashStart loadBehindSplash(int splashMs, const SplashLoad &load)
{
    SplashStart start;
    // The latest report of the loading thread; at most one call to show it
    // waits in the splash's queue at a time, however often the load reports.
    std::atomic<qint64> bytesRead{0}, bytesTotal{0};
    std::atomic<bool> reportQueued{false};

    TForm2 splash;
    splash.show();
    splash.raise();
    QEventLoop wait;
    bool timeUp = false, loaded = false;
    const auto endWhenDone = [&] {
        if (timeUp && loaded)
            wait.quit();
    };
    const auto showProgress = [&] {
        if (timeUp && !loaded)
            splash.showLoadProgress(bytesRead, bytesTotal);
    };
    const auto takeReport = [&] {
        reportQueued = false;
        showProgress();
    };
    const LoadProgress progress = [&](qint64 read, qint64 total) {
        bytesRead = read;
        bytesTotal = total;
        if (!reportQueued.exchange(true))
            QMetaObject::invokeMethod(&splash, takeReport, Qt::QueuedConnection);
    };

    const std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            load(progress);
        } catch (...) {
            start.failure = std::current_exception();
        }
    }));
    QObject::connect(worker.get(), &QThread::finished, &wait, [&] {
        loaded = true;
        endWhenDone();
    });
    QTimer::singleShot(splashMs, &wait, [&] {
        timeUp = true;
        showProgress();
        endWhenDone();
    });
    // A splash that is no longer visible is waited for no longer; the load still is.
    QObject::connect(&splash, &TForm2::hidden, &wait, [&] {
        timeUp = true;
        endWhenDone();
    });
    worker->start();
    wait.exec();
    worker->wait();
    start.closeRequested = splash.closeRequested();
    return start;
}

} // namespace vestor
