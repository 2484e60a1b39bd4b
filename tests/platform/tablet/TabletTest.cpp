// The tablet over Qt's tablet events: counts from the mapped area, one
// packet per press, moves while held, and the service message without one.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPointingDevice>
#include <QTabletEvent>

#include "platform/tablet/Tablet.h"

namespace {

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "platform-tablet-test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    return *app;
}

QTabletEvent Event(QEvent::Type type, const QPointingDevice* device, QPointF global, Qt::MouseButton button) {
    const Qt::MouseButtons held = type == QEvent::TabletRelease ? Qt::NoButton : Qt::MouseButtons(button);
    return QTabletEvent(type, device, global, global, 0.5, 0, 0, 0, 0, 0, Qt::NoModifier,
                        type == QEvent::TabletMove ? Qt::NoButton : button, held);
}

TEST(TabletTest, WithoutADeviceTheMessageComesOnceAndNothingOpens) {
    App();
    TTablet t;
    QStringList messages;
    t.OnServiceError = [&](const QString& m) { messages << m; };
    t.Open(nullptr);
    EXPECT_TRUE(t.IOError());
    EXPECT_FALSE(t.IsOpen());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], QStringLiteral("WINTAB services are not available!"));
    t.SetEnabled(true);
    EXPECT_FALSE(t.Enabled());
    EXPECT_EQ(t.Width(), 50000);
    EXPECT_EQ(t.Height(), 50000);
}

TEST(TabletTest, EventsBecomePacketsInWorldCoordinates) {
    App();
    QPointingDevice pen(QStringLiteral("pen"), 1, QInputDevice::DeviceType::Stylus, QPointingDevice::PointerType::Pen,
                        QInputDevice::Capability::Position, 1, 3);
    TTablet t;
    t.OpenDevice(nullptr, &pen);
    ASSERT_FALSE(t.IOError());
    ASSERT_TRUE(t.IsOpen());
    EXPECT_FALSE(t.Enabled());
    const QRectF ext = t.Extent();
    ASSERT_GT(ext.width(), 0);
    t.SetArea(1000, 2000, 3000, 5000);
    EXPECT_DOUBLE_EQ(t.TabletToWorldX(ext.width()), 3000);
    EXPECT_DOUBLE_EQ(t.TabletToWorldY(ext.height()), 5000);
    EXPECT_DOUBLE_EQ(t.TabletToWorldX(0), 1000);

    std::vector<int> packets;
    t.OnPacket = [&](TTablet& s) { packets.push_back(s.GetButtons()); };
    auto press = Event(QEvent::TabletPress, &pen, {0, 0}, Qt::LeftButton);
    EXPECT_FALSE(t.HandleTabletEvent(press));  // disabled: left to the mouse
    t.SetEnabled(true);
    ASSERT_TRUE(t.Enabled());
    EXPECT_TRUE(t.HandleTabletEvent(press));
    for (int i = 0; i < 3; ++i) {
        auto move = Event(QEvent::TabletMove, &pen, {10.0 * i, 5}, Qt::LeftButton);
        t.HandleTabletEvent(move);
    }
    auto release = Event(QEvent::TabletRelease, &pen, {20, 5}, Qt::LeftButton);
    t.HandleTabletEvent(release);
    auto barrel = Event(QEvent::TabletPress, &pen, {20, 5}, Qt::RightButton);
    t.HandleTabletEvent(barrel);
    EXPECT_EQ(packets, (std::vector<int>{1, 0, 0, 0, 0, 2}));
    EXPECT_EQ(t.GetX(), 200);  // 10 counts a pixel
    EXPECT_DOUBLE_EQ(t.GetWorldX(), 1000 + 200 * t.XScale());

    t.Close();
    EXPECT_FALSE(t.Enabled());
    EXPECT_FALSE(t.HandleTabletEvent(press));
}

}  // namespace
