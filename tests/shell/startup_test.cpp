// Loading the item table behind the splash: on a thread of its own, the
// splash up and turning until the load ends, its progress shown past the
// splash's time, its error handed back once the splash is gone.
#include "Fixture.h"
#include "catalogue/Error.h"
#include "shell/Splash.h"
#include "shell/Startup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <future>
#include <thread>

namespace {

vestor::TForm2 *splash()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *s = qobject_cast<vestor::TForm2 *>(w))
            return s;
    return nullptr;
}

// What the GUI thread sees of the splash while a start runs; `onLook` runs
// after each look.
struct SplashWatch {
    bool animated = false;
    int progressShown = -1; // the bar's value in quarters of its range, -1 while hidden
    std::function<void()> onLook = [] {};
    QTimer probe;
    SplashWatch()
    {
        QObject::connect(&probe, &QTimer::timeout, [this] {
            if (const vestor::TForm2 *s = splash()) {
                animated |= s->frameCounter() >= 2;
                const auto *bar = s->findChild<QProgressBar *>(QStringLiteral("ProgressBar1"));
                if (bar && bar->isVisible())
                    progressShown = bar->value() * 4 / bar->maximum();
                onLook();
            }
        });
        probe.start(20);
    }
};

TEST(SplashLoad, ALongLoadRunsBesideTheTurningSplashWhichShowsItsProgress)
{
    SplashWatch watch;
    std::promise<void> seen;
    watch.onLook = [&] {
        if (watch.animated && watch.progressShown == 1) {
            seen.set_value();
            watch.onLook = [] {};
        }
    };
    std::thread::id loadedOn;
    const vestor::SplashStart start = vestor::loadBehindSplash(0, [&](const vestor::LoadProgress &progress) {
        loadedOn = std::this_thread::get_id();
        progress(250, 1000);
        seen.get_future().wait_for(std::chrono::seconds(10));
    });
    EXPECT_NE(loadedOn, std::this_thread::get_id());
    EXPECT_TRUE(watch.animated) << "the splash turned while the table loaded";
    EXPECT_EQ(watch.progressShown, 1) << "a quarter read shows as a quarter";
    EXPECT_EQ(splash(), nullptr) << "the splash is gone afterwards";
    EXPECT_FALSE(start.failure);
}

TEST(SplashLoad, ALoadDoneWithinTheSplashTimeShowsNoProgress)
{
    SplashWatch watch;
    QElapsedTimer clock;
    clock.start();
    vestor::loadBehindSplash(300, [](const vestor::LoadProgress &progress) {
        progress(1, 2);
        progress(2, 2);
    });
    EXPECT_GE(clock.elapsed(), 300) << "the splash keeps its time";
    EXPECT_EQ(watch.progressShown, -1);
}

TEST(SplashLoad, TheLoadsErrorIsHandedBackOnceTheSplashIsGone)
{
    const vestor::SplashStart start =
        vestor::loadBehindSplash(0, [](const vestor::LoadProgress &) { throw vestor::Error("Table is damaged"); });
    EXPECT_EQ(splash(), nullptr);
    ASSERT_TRUE(start.failure);
    EXPECT_EQ(testdbf::errorOf([&] { std::rethrow_exception(start.failure); }), QStringLiteral("Table is damaged"));
}

} // namespace
