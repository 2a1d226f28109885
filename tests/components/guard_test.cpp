#include "components/Trayicon.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QUuid>
#include <gtest/gtest.h>

#include <memory>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QString freshId() { return QStringLiteral("guard test ") + QUuid::createUuid().toString(); }

struct Copy {
    std::unique_ptr<vestor::TTrayIcon> tray = std::make_unique<vestor::TTrayIcon>();
    int ended = 0;

    explicit Copy(const QString &id)
    {
        tray->IDMessage = id;
        tray->EndCopy = [this] { ++ended; };
        tray->Loaded();
    }
};

bool listening(const QString &id)
{
    QLocalSocket probe;
    probe.connectToServer(vestor::TTrayIcon::guardName(id));
    return probe.waitForConnected(500);
}

} // namespace

TEST(TrayIconGuard, SecondCopyCallsTheFirstForwardAndEnds)
{
    const QString id = freshId();
    Copy first(id);
    EXPECT_EQ(first.ended, 0);
    EXPECT_TRUE(listening(id));
    QSignalSpy forward(first.tray.get(), &vestor::TTrayIcon::secondInstanceStarted);

    Copy second(id);
    EXPECT_EQ(second.ended, 1);
    EXPECT_TRUE(forward.wait(2000));
    EXPECT_EQ(forward.count(), 1);
    EXPECT_EQ(first.ended, 0);

    // A third one is turned away the same way.
    Copy third(id);
    EXPECT_EQ(third.ended, 1);
    EXPECT_TRUE(forward.wait(2000));
}

TEST(TrayIconGuard, OtherNamesAndStrayConnectionsDoNotInterfere)
{
    Copy a(freshId());
    QSignalSpy forward(a.tray.get(), &vestor::TTrayIcon::secondInstanceStarted);
    Copy b(freshId());
    EXPECT_EQ(a.ended + b.ended, 0);

    QLocalSocket stray;
    stray.connectToServer(vestor::TTrayIcon::guardName(a.tray->IDMessage));
    ASSERT_TRUE(stray.waitForConnected(500));
    stray.write("hello\n");
    stray.flush();
    EXPECT_FALSE(forward.wait(300));
}

TEST(TrayIconGuard, EmptyIdMessageRunsNoGuard)
{
    Copy a{QString()};
    Copy b{QString()};
    EXPECT_EQ(a.ended, 0);
    EXPECT_EQ(b.ended, 0);
    EXPECT_FALSE(QFile::exists(vestor::TTrayIcon::guardName(QString())));
}

TEST(TrayIconGuard, NameIsFreedWhenTheFirstCopyGoes)
{
    const QString id = freshId();
    auto first = std::make_unique<Copy>(id);
    first.reset();
    EXPECT_FALSE(listening(id));

    Copy next(id);
    EXPECT_EQ(next.ended, 0);
    EXPECT_TRUE(listening(id));
}

TEST(TrayIconGuard, SocketLeftByACrashedCopyIsTakenOver)
{
    const QString id = freshId();
    const QByteArray path = QFile::encodeName(vestor::TTrayIcon::guardName(id));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(size_t(path.size()), sizeof addr.sun_path);
    memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    close(fd); // bound, never listened, never removed
    ASSERT_TRUE(QFile::exists(QString::fromLocal8Bit(path)));

    Copy first(id);
    EXPECT_EQ(first.ended, 0);
    Copy second(id);
    EXPECT_EQ(second.ended, 1);
}

TEST(TrayIconGuard, SecondProcessReallyEnds)
{
    const QString id = freshId();
    Copy first(id);
    QSignalSpy forward(first.tray.get(), &vestor::TTrayIcon::secondInstanceStarted);

    QProcess copy;
    copy.start(QStringLiteral(TRAYICON_COPY), {id});
    ASSERT_TRUE(copy.waitForFinished(10000));
    EXPECT_EQ(copy.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(copy.exitCode(), 0);
    EXPECT_EQ(copy.readAllStandardOutput(), QByteArray());
    EXPECT_TRUE(forward.count() == 1 || forward.wait(2000));

    // With the name free, the copy runs on.
    QProcess alone;
    alone.start(QStringLiteral(TRAYICON_COPY), {freshId()});
    ASSERT_TRUE(alone.waitForFinished(10000));
    EXPECT_EQ(alone.exitCode(), 3);
    EXPECT_EQ(alone.readAllStandardOutput().trimmed(), QByteArray("first"));
}
