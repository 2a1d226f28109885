// The emblem on both windows, hiding into the notification area and back,
// and the news link.
#include "Fixture.h"
#include "components/Trayicon.h"
#include "shell/Forms.h"
#include "shell/Splash.h"

#include <QLabel>
#include <QMouseEvent>
#include <QUrl>
#include <QtTest/QTest>

using shelltest::child;

namespace {

bool same(const QPixmap &a, const QPixmap &b) { return !a.isNull() && a.toImage() == b.toImage(); }

TEST(Emblem, TenFramesOfSixteenPixels)
{
    const QList<QPixmap> frames = vestor::emblemFrames();
    ASSERT_EQ(frames.size(), 10);
    for (const QPixmap &frame : frames)
        EXPECT_EQ(frame.size(), QSize(16, 16));
    EXPECT_FALSE(same(frames[0], frames[4])) << "edge on differs from face on";
}

// The frame each tick of two cycles shows (frame 9 stays a second tick)
// and the counter after it.
const int kShown[22] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9};
const int kCounter[22] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0};

TEST(Emblem, TheWindowRunsTheElevenTickCycleAndItsIconFollows)
{
    vestor::TForm1 w;
    child<QTimer>(w, "Timer1")->stop();
    auto *image = child<QLabel>(w, "Image2");
    const QList<QPixmap> frames = vestor::emblemFrames();
    for (int tick = 0; tick < 22; ++tick) {
        w.Timer1Timer();
        EXPECT_TRUE(same(image->pixmap(), frames[kShown[tick]])) << tick;
        EXPECT_TRUE(same(w.windowIcon().pixmap(16, 16), frames[kShown[tick]])) << tick;
        EXPECT_EQ(w.frameCounter(), kCounter[tick]) << tick;
    }
}

TEST(Emblem, TheWindowTimerTicksEvery150ms)
{
    vestor::TForm1 w;
    auto *timer = child<QTimer>(w, "Timer1");
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 150);
}

TEST(Splash, IsABorderlessPictureWithItsOwnEmblem)
{
    vestor::TForm2 splash;
    EXPECT_EQ(splash.size(), QSize(590, 150));
    EXPECT_EQ(splash.pos(), QPoint(232, 275));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    const auto *picture = child<QLabel>(splash, "Image1");
    EXPECT_EQ(picture->geometry(), QRect(0, 0, 598, 150));
    EXPECT_EQ(picture->pixmap().size(), QSize(598, 150));
    auto *image = child<QLabel>(splash, "Image2");
    EXPECT_EQ(image->geometry(), QRect(32, 124, 16, 16));
    EXPECT_TRUE(image->pixmap().isNull());

    auto *timer = child<QTimer>(splash, "Timer1");
    EXPECT_TRUE(timer->isActive()) << "started by its creation";
    EXPECT_EQ(timer->interval(), 150);
    timer->stop();
    const QList<QPixmap> frames = vestor::emblemFrames();
    for (int tick = 0; tick < 22; ++tick) {
        splash.Timer1Timer();
        EXPECT_TRUE(same(image->pixmap(), frames[kShown[tick]])) << tick;
        EXPECT_EQ(splash.frameCounter(), kCounter[tick]) << tick;
    }
}

TEST(Splash, ACloseRequestKeepsItUpAndEndsTheProgramLater)
{
    vestor::TForm2 splash;
    splash.show();
    EXPECT_FALSE(splash.close());
    EXPECT_TRUE(splash.isVisible());
    EXPECT_TRUE(splash.closeRequested());
}

// ---- notification area ----

class Tray : public ::testing::Test
{
protected:
    vestor::TForm1 w;
    bool trayThere = true;
    void SetUp() override
    {
        w.trayAvailable = [this] { return trayThere; };
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    }
    void minimize() { w.setWindowState(w.windowState() | Qt::WindowMinimized); }
    void doubleClickIcon() { w.TrayIcon1->OnDblClick(w.TrayIcon1); }
};

TEST_F(Tray, MinimizeHidesIntoTheTrayAndADoubleClickBringsTheWindowBack)
{
    EXPECT_FALSE(w.TrayIcon1->Active()) << "no icon at start";
    const QRect where = w.geometry();
    for (int round = 0; round < 2; ++round) {
        minimize();
        EXPECT_FALSE(w.isVisible()) << round;
        EXPECT_FALSE(w.windowState() & Qt::WindowMinimized) << "hidden, not minimized";
        EXPECT_TRUE(w.TrayIcon1->Active());

        doubleClickIcon();
        EXPECT_TRUE(w.isVisible());
        EXPECT_FALSE(w.windowState() & Qt::WindowMinimized);
        EXPECT_FALSE(w.TrayIcon1->Active());
        EXPECT_EQ(w.geometry(), where) << "same place, same size";
    }
}

TEST_F(Tray, TheSystemCommandPathTakesOnlyTheMinimizeCommand)
{
    EXPECT_FALSE(w.WMGetSysCommand(0xF060)) << "close goes its ordinary way";
    EXPECT_FALSE(w.WMGetSysCommand(0xF120)) << "restore too";
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.TrayIcon1->Active());
    EXPECT_TRUE(w.WMGetSysCommand(vestor::TForm1::kScMinimize));
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.TrayIcon1->Active());
}

TEST_F(Tray, WithoutANotificationAreaTheWindowMinimizesAsUsual)
{
    trayThere = false;
    minimize();
    EXPECT_TRUE(w.windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(w.isHidden()) << "still reachable from the taskbar";
    EXPECT_FALSE(w.TrayIcon1->Active());
}

TEST_F(Tray, TheFieldsKeepTheirContentsWhileHidden)
{
    auto *sum = child(w, QStringLiteral("Edit2"));
    sum->setText(QStringLiteral("777"));
    minimize();
    doubleClickIcon();
    EXPECT_EQ(sum->text(), QStringLiteral("777"));
}

TEST_F(Tray, TheEmblemAndTheWindowIconTurnOnWhileHidden)
{
    minimize();
    child<QTimer>(w, "Timer1")->stop();
    const QIcon trayIcon = w.TrayIcon1->Icon();
    for (int tick = 0; tick < 3; ++tick)
        w.Timer1Timer();
    const QPixmap frame2 = vestor::emblemFrames()[2];
    EXPECT_TRUE(same(w.windowIcon().pixmap(16, 16), frame2));
    EXPECT_TRUE(same(child<QLabel>(w, "Image2")->pixmap(), frame2));
    EXPECT_EQ(w.TrayIcon1->Icon().cacheKey(), trayIcon.cacheKey()) << "the tray icon keeps its picture";
    EXPECT_FALSE(w.TrayIcon1->Icon().isNull());
}

// ---- news link ----

TEST(NewsLink, AClickOpensTheNewsPageAndAFailureShowsNothing)
{
    vestor::TForm1 w;
    QList<QUrl> opened;
    w.openUrl = [&](const QUrl &url) {
        opened << url;
        return false;
    };
    shelltest::ErrorBoxCatch box;
    auto *link = child<QLabel>(w, "Label33");
    QTest::mouseClick(link, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].isValid());
    EXPECT_TRUE(opened[0].path().endsWith(QStringLiteral("news.php"))) << qPrintable(opened[0].toString());
    EXPECT_EQ(opened[0].host(), link->text()) << "the label names the site the page is on";
    EXPECT_TRUE(box.texts.isEmpty());

    QTest::mouseClick(link, Qt::RightButton);
    EXPECT_EQ(opened.size(), 1) << "only the left button follows the link";
}

} // namespace
