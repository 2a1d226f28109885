#include "components/Trayicon.h"

#include <QCursor>
#include <QImage>
#include <QMenu>
#include <QMetaProperty>
#include <QPixmap>
#include <QPointer>
#include <QSignalSpy>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

namespace {

QIcon solidIcon(QColor colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

QRgb centre(const QIcon &icon) { return icon.pixmap(16, 16).toImage().pixel(8, 8); }

void press(vestor::TTrayIcon &tray, QSystemTrayIcon::ActivationReason reason)
{
    emit tray.platformIcon()->activated(reason);
}

} // namespace

TEST(TrayIconProperties, PublishedInDeclarationOrder)
{
    const QMetaObject &meta = vestor::TTrayIcon::staticMetaObject;
    QStringList names;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i)
        names << QString::fromLatin1(meta.property(i).name());
    EXPECT_EQ(names, QStringList({"Active", "ShowDesigning", "Icon", "IDMessage", "ShowApp", "ToolTip"}));

    // The properties reach the same setters as the C++ calls.
    vestor::TTrayIcon tray;
    tray.setProperty("ToolTip", QString(70, QLatin1Char('x')));
    EXPECT_EQ(tray.ToolTip().size(), 62);
    tray.setProperty("IDMessage", QStringLiteral("id"));
    EXPECT_EQ(tray.IDMessage, "id");
    tray.setProperty("Active", true);
    EXPECT_TRUE(tray.platformIcon()->isVisible());
}

TEST(TrayIconToolTip, KeepsAtMost62Characters)
{
    vestor::TTrayIcon tray;
    const QString exact(62, QLatin1Char('a'));
    tray.setToolTip(exact);
    EXPECT_EQ(tray.ToolTip(), exact);

    for (int length : {63, 64, 300}) {
        QString text;
        for (int i = 0; i < length; ++i)
            text += QChar(u'А' + i % 32);
        tray.setToolTip(text);
        EXPECT_EQ(tray.ToolTip(), text.left(62)) << length;
        EXPECT_EQ(tray.platformIcon()->toolTip(), text.left(62)) << length;
    }
}

TEST(TrayIconToolTip, EmptyShowsNoneAndPairsAreNotSplit)
{
    vestor::TTrayIcon tray;
    tray.setToolTip(QStringLiteral("something"));
    tray.setToolTip(QString());
    EXPECT_TRUE(tray.ToolTip().isEmpty());
    EXPECT_TRUE(tray.platformIcon()->toolTip().isEmpty());

    // A character outside the BMP straddling the limit is dropped whole.
    const QString text = QString(61, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x9B\xA1") + "b";
    tray.setToolTip(text);
    EXPECT_EQ(tray.ToolTip(), QString(61, QLatin1Char('a')));
}

TEST(TrayIconActive, ShowsAndHidesOnlyOnChange)
{
    vestor::TTrayIcon tray;
    tray.setIcon(solidIcon(Qt::red));
    QSignalSpy changes(&tray, &vestor::TTrayIcon::activeChanged);
    EXPECT_FALSE(tray.Active());
    EXPECT_FALSE(tray.platformIcon()->isVisible());

    tray.setActive(false);
    EXPECT_EQ(changes.count(), 0);

    for (int cycle = 1; cycle <= 3; ++cycle) {
        tray.setActive(true);
        tray.setActive(true);
        EXPECT_TRUE(tray.Active());
        EXPECT_TRUE(tray.platformIcon()->isVisible());
        tray.setActive(false);
        tray.setActive(false);
        EXPECT_FALSE(tray.platformIcon()->isVisible());
        EXPECT_EQ(changes.count(), 2 * cycle);
    }
    EXPECT_EQ(changes.at(0).at(0).toBool(), true);
    EXPECT_EQ(changes.at(1).at(0).toBool(), false);
}

TEST(TrayIconIcon, KeepsItsOwnCopyAndPassesItOn)
{
    vestor::TTrayIcon tray;
    tray.setActive(true);
    QIcon source = solidIcon(Qt::red);
    tray.setIcon(source);
    source.addPixmap(QPixmap(16, 16)); // the caller changes its own icon afterwards
    QPixmap blue(16, 16);
    blue.fill(Qt::blue);
    source = QIcon(blue);

    EXPECT_EQ(centre(tray.Icon()), QColor(Qt::red).rgb());
    EXPECT_EQ(centre(tray.platformIcon()->icon()), QColor(Qt::red).rgb());

    tray.setIcon(tray.Icon()); // its own picture again
    EXPECT_EQ(centre(tray.Icon()), QColor(Qt::red).rgb());
    tray.setIcon(source);
    EXPECT_EQ(centre(tray.platformIcon()->icon()), QColor(Qt::blue).rgb());
}

TEST(TrayIconMouse, EachEventReachesItsHandler)
{
    vestor::TTrayIcon tray;
    // Unset handlers and no menu: nothing is called, nothing throws.
    press(tray, QSystemTrayIcon::Trigger);
    press(tray, QSystemTrayIcon::DoubleClick);
    press(tray, QSystemTrayIcon::Context);

    QStringList calls;
    QObject *clickSender = nullptr;
    QObject *dblSender = nullptr;
    tray.OnClick = [&](QObject *sender) {
        calls << "click";
        clickSender = sender;
    };
    tray.OnDblClick = [&](QObject *sender) {
        calls << "dbl";
        dblSender = sender;
    };
    QPoint where;
    Qt::MouseButton button = Qt::NoButton;
    Qt::KeyboardModifiers keys = Qt::ShiftModifier;
    tray.OnRightClick = [&](QObject *sender, Qt::MouseButton b, Qt::KeyboardModifiers k, QPoint p) {
        calls << "right";
        EXPECT_EQ(sender, &tray);
        button = b;
        keys = k;
        where = p;
    };
    QCursor::setPos(123, 45);

    press(tray, QSystemTrayIcon::Trigger);
    press(tray, QSystemTrayIcon::DoubleClick);
    press(tray, QSystemTrayIcon::Context);
    press(tray, QSystemTrayIcon::MiddleClick);
    press(tray, QSystemTrayIcon::Unknown);

    EXPECT_EQ(calls, QStringList({"click", "dbl", "right"}));
    EXPECT_EQ(clickSender, &tray);
    EXPECT_EQ(dblSender, &tray);
    EXPECT_EQ(button, Qt::RightButton);
    EXPECT_EQ(keys, Qt::NoModifier);
    EXPECT_EQ(where, QPoint(123, 45));
}

TEST(TrayIconMouse, PopupMenuComesUpBeforeOnRightClick)
{
    vestor::TTrayIcon tray;
    QMenu menu;
    menu.addAction(QStringLiteral("Item"));
    tray.PopupMenu = &menu;
    bool menuUp = false;
    bool called = false;
    tray.OnRightClick = [&](QObject *, Qt::MouseButton, Qt::KeyboardModifiers, QPoint) {
        called = true;
        menuUp = menu.isVisible();
    };
    QCursor::setPos(200, 150);

    press(tray, QSystemTrayIcon::Context);
    EXPECT_TRUE(called);
    EXPECT_TRUE(menuUp);
    EXPECT_EQ(menu.pos(), QPoint(200, 150));
    menu.hide();

    // A left click leaves the menu alone.
    press(tray, QSystemTrayIcon::Trigger);
    EXPECT_FALSE(menu.isVisible());
}

TEST(TrayIconLifetime, IconGoesWithTheComponent)
{
    auto owner = std::make_unique<QWidget>();
    auto *tray = new vestor::TTrayIcon(owner.get());
    tray->setIcon(solidIcon(Qt::red));
    tray->setActive(true);
    QPointer<QSystemTrayIcon> platform = tray->platformIcon();
    ASSERT_TRUE(platform->isVisible());

    owner.reset();
    EXPECT_TRUE(platform.isNull());
}
