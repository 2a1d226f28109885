#include "components/Trayicon.h"

#include <QCryptographicHash>
#include <QCursor>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QStandardPaths>
#include <QSystemTrayIcon>

#include <cstdlib>

namespace vestor {

namespace {

// What a second copy sends; anything else on the socket is ignored.
const QByteArray kComeForward = "come-forward\n";
constexpr int kWaitMs = 2000;

} // namespace

TTrayIcon::TTrayIcon(QObject *owner) : QObject(owner), m_platform(new QSystemTrayIcon(this))
{
    connect(m_platform, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        switch (reason) {
        case QSystemTrayIcon::Trigger:
            if (OnClick)
                OnClick(this);
            break;
        case QSystemTrayIcon::DoubleClick:
            if (OnDblClick)
                OnDblClick(this);
            break;
        case QSystemTrayIcon::Context:
            rightClick();
            break;
        default:
            break;
        }
    });
}

TTrayIcon::~TTrayIcon()
{
    if (m_guard)
        m_guard->close();
    // Hide before the platform icon goes, so no dead icon stays behind.
    m_platform->hide();
}

void TTrayIcon::Loaded()
{
    if (!IDMessage.isEmpty())
        runGuard();
}

void TTrayIcon::setActive(bool value)
{
    if (value == m_active)
        return;
    m_active = value;
    if (value)
        m_platform->show();
    else
        m_platform->hide();
    emit activeChanged(value);
}

void TTrayIcon::setIcon(const QIcon &icon)
{
    m_iconPicture = icon;
    m_platform->setIcon(m_iconPicture);
}

void TTrayIcon::setToolTip(const QString &text)
{
    QString cut = text.left(MaxToolTip);
    // Do not leave half of a surrogate pair at the end.
    if (cut.size() == MaxToolTip && text.size() > MaxToolTip && cut.back().isHighSurrogate())
        cut.chop(1);
    m_toolTip = cut;
    m_platform->setToolTip(m_toolTip);
}

void TTrayIcon::rightClick()
{
    const QPoint pos = QCursor::pos();
    if (PopupMenu)
        PopupMenu->popup(pos);
    if (OnRightClick)
        OnRightClick(this, Qt::RightButton, Qt::NoModifier, pos);
}

QString TTrayIcon::guardName(const QString &id)
{
    const QByteArray hash = QCryptographicHash::hash(id.toUtf8(), QCryptographicHash::Sha1).toHex().left(20);
    const QString base = QStringLiteral("trayicon-") + QString::fromLatin1(hash);
#ifdef Q_OS_UNIX
    // The per-user runtime folder keeps other users from holding the name.
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!dir.isEmpty())
        return QDir(dir).filePath(base);
#endif
    return base;
}

void TTrayIcon::runGuard()
{
    if (m_guard)
        return;
    const QString name = guardName(IDMessage);
    if (askFirstCopy(name)) {
        endThisCopy();
        return;
    }

    // No socket options: with them Qt renames its socket over an existing
    // one, so two copies starting together could both think they were first.
    auto *server = new QLocalServer(this);
    if (!server->listen(name)) {
        // Either another copy began listening just now, or a copy that
        // crashed left its socket file behind.
        if (askFirstCopy(name)) {
            delete server;
            endThisCopy();
            return;
        }
        QLocalServer::removeServer(name);
        if (!server->listen(name)) {
            qWarning("TTrayIcon: no single-instance guard for \"%s\": %s", qPrintable(IDMessage),
                     qPrintable(server->errorString()));
            delete server;
            return;
        }
    }
    m_guard = server;
    connect(m_guard, &QLocalServer::newConnection, this, &TTrayIcon::acceptSecondCopies);
}

void TTrayIcon::endThisCopy()
{
    if (EndCopy)
        EndCopy();
    else
        std::exit(0);
}

bool TTrayIcon::askFirstCopy(const QString &name)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kWaitMs))
        return false;
    socket.write(kComeForward);
    socket.flush();
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(kWaitMs)) {
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kWaitMs);
    return true;
}

void TTrayIcon::acceptSecondCopies()
{
    while (QLocalSocket *peer = m_guard->nextPendingConnection()) {
        auto readMessage = [this, peer] {
            if (!peer->canReadLine())
                return;
            const QByteArray line = peer->readLine(64);
            peer->disconnectFromServer();
            if (line == kComeForward)
                emit secondInstanceStarted();
        };
        connect(peer, &QLocalSocket::readyRead, this, readMessage);
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        readMessage();
    }
}

} // namespace vestor
