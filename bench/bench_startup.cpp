// Start-up of the window program, as its main() runs it: from the start of
// main() to the first paint of the main window, the processor time used
// while the splash waits, and the resident size once the window is shown.
//   vestor_bench_startup [PROGRAM_PATH]
// PROGRAM_PATH names where the program would be: its Data directory is read
// (default: this program's own, which holds the shipped table).

#include "catalogue/Catalogue.h"
#include "shell/ErrorBox.h"
#include "shell/Unit1.h"

#include <QApplication>
#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

long rssKb()
{
    std::ifstream f("/proc/self/status");
    for (std::string line; std::getline(f, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

struct FirstPaint : QObject {
    bool painted = false;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint && !painted) {
            painted = true;
            QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return false;
    }
};

} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);
    const QString program = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QCoreApplication::applicationFilePath();
    QCoreApplication::setApplicationName(vestor::applicationTitle(program));

    // Samples of (time since main, process CPU) every 10 ms, taken by a thread
    // of its own so that the event loop under test is left alone.
    struct Sample {
        double wallMs, cpuMs;
    };
    std::vector<Sample> samples;
    samples.reserve(1000);
    std::atomic<bool> sampling{true};
    std::thread sampler([&] {
        while (sampling) {
            samples.push_back({double(sinceMain.nsecsElapsed()) / 1e6, processCpuMs()});
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });

    vestor::TForm1 form;
    const double waitStart = double(sinceMain.nsecsElapsed()) / 1e6;
    form.FormCreate(program);
    FirstPaint painted;
    form.installEventFilter(&painted);
    form.show();
    app.exec();
    const double shownMs = double(sinceMain.nsecsElapsed()) / 1e6;
    sampling = false;
    sampler.join();

    // The splash wait in its steady state: from 0.2 s after it begins to 0.1 s before it ends.
    const Sample *from = nullptr, *to = nullptr;
    for (const Sample &s : samples) {
        if (!from && s.wallMs >= waitStart + 200)
            from = &s;
        if (s.wallMs <= waitStart + 1400)
            to = &s;
    }
    const double waitCpu =
        from && to && to > from ? 100.0 * (to->cpuMs - from->cpuMs) / (to->wallMs - from->wallMs) : -1;
    std::printf("shown_ms %.1f beyond_splash_ms %.1f wait_cpu_percent %.2f rss_kb %ld rows %lld\n", shownMs,
                shownMs - 1500, waitCpu, rssKb(), qlonglong(form.catalogue().recordCount()));
    return painted.painted ? 0 : 1;
}
