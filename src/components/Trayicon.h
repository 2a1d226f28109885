#pragma once

// TTrayIcon: an icon in the desktop's notification area, over QSystemTrayIcon.
// Reusable; it knows nothing of the program that owns it.

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>

class QLocalServer;
class QMenu;
class QSystemTrayIcon;

namespace vestor {

class TTrayIcon : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE setActive NOTIFY activeChanged)
    Q_PROPERTY(bool ShowDesigning READ ShowDesigning WRITE setShowDesigning)
    Q_PROPERTY(QIcon Icon READ Icon WRITE setIcon)
    Q_PROPERTY(QString IDMessage MEMBER IDMessage)
    Q_PROPERTY(bool ShowApp READ ShowApp WRITE setShowApp)
    Q_PROPERTY(QString ToolTip READ ToolTip WRITE setToolTip)

public:
    static constexpr int MaxToolTip = 62;

    explicit TTrayIcon(QObject *owner = nullptr);
    ~TTrayIcon() override;

    // Call once the properties are set: runs the single-instance guard when
    // IDMessage is not empty.
    void Loaded();

    // Shown in the notification area or not. Setting the current value does nothing.
    bool Active() const { return m_active; }
    void setActive(bool value);

    // Kept for the designer; no effect while the program runs.
    bool ShowDesigning() const { return m_showDesigning; }
    void setShowDesigning(bool value) { m_showDesigning = value; }

    // The component keeps its own copy of the picture.
    QIcon Icon() const { return m_iconPicture; }
    void setIcon(const QIcon &icon);

    // Name of the single-instance guard; empty means no guard.
    QString IDMessage;

    // Stored only. Under Qt a program has no taskbar window of its own: the
    // taskbar entry follows the program's visible windows, whatever this says.
    bool ShowApp() const { return m_showApp; }
    void setShowApp(bool value) { m_showApp = value; }

    // At most MaxToolTip characters; empty shows no tooltip.
    QString ToolTip() const { return m_toolTip; }
    void setToolTip(const QString &text);

    std::function<void(QObject *sender)> OnClick;
    std::function<void(QObject *sender)> OnDblClick;
    std::function<void(QObject *sender, Qt::MouseButton, Qt::KeyboardModifiers, QPoint)> OnRightClick;
    // Popped up at the pointer on a right click, before OnRightClick runs.
    QMenu *PopupMenu = nullptr;

    // How a second copy ends once it has asked the first to come forward.
    // Empty: std::exit(0).
    std::function<void()> EndCopy;

    // The local-socket name the guard uses for an IDMessage.
    static QString guardName(const QString &id);

    // The platform icon underneath, for tests that play the desktop's part.
    QSystemTrayIcon *platformIcon() const { return m_platform; }

signals:
    void activeChanged(bool active);
    // A second copy with the same IDMessage started and has ended; the owner
    // usually shows and raises its window.
    void secondInstanceStarted();

private:
    void rightClick();
    void runGuard();
    bool askFirstCopy(const QString &name);
    void endThisCopy();
    void acceptSecondCopies();

    bool m_active = false;
    bool m_showDesigning = false;
    bool m_showApp = false;
    QIcon m_iconPicture;
    QString m_toolTip;
    QSystemTrayIcon *m_platform = nullptr;
    QLocalServer *m_guard = nullptr;
};

} // namespace vestor
