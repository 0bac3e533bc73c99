// Window and icon handles, and mouse messages posted to a control's message window.

#include "windowing/handles.h"
#include "windowing/messagebox.h"
#include "windowing/timers.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <memory>

using namespace windowing;

TEST(Handles, WindowHandlesFollowTheirWidgetAndAreNeverReused) {
    auto b = std::make_unique<QWidget>();
    const WindowHandle hb = windowHandle(b.get());
    EXPECT_NE(hb, 0u) << "a widget has a handle";
    EXPECT_EQ(windowHandle(b.get()), hb) << "the same one each time";
    EXPECT_EQ(widgetFromHandle(hb), b.get()) << "that leads to it";
    EXPECT_EQ(windowHandle(nullptr), 0u) << "no widget, no handle";
    b.reset();
    EXPECT_EQ(widgetFromHandle(hb), nullptr) << "a destroyed widget's handle leads nowhere";
    for (int i = 0; i < 8; ++i) // new widgets, maybe at the same address, get fresh handles
        EXPECT_NE(windowHandle(std::make_unique<QWidget>().get()), hb) << "new widget " << i;
}

TEST(Handles, OneIconHandlePerIconThatKeepsTheIconAlive) {
    IconHandle red;
    {
        QPixmap p(16, 16);
        p.fill(Qt::red);
        const QIcon icon(p);
        red = iconHandle(icon);
        EXPECT_NE(red, 0u) << "an icon has a handle";
        EXPECT_EQ(iconHandle(QIcon(icon)), red) << "a copy of it the same one";
        EXPECT_NE(iconHandle(QIcon(QPixmap(8, 8))), red) << "another icon another";
    }
    const QColor kept = iconFromHandle(red).pixmap(16, 16).toImage().pixelColor(8, 8);
    EXPECT_EQ(kept, QColor(Qt::red)) << "the handle keeps the icon";
    EXPECT_EQ(iconHandle(QIcon()), 0u) << "a null icon has none";
    EXPECT_TRUE(iconFromHandle(0xdeadbeef).isNull()) << "an unknown handle leads to no icon";
}

namespace {

// What a handler got: "button shift x y", and whether a message box was open.
QString describe(int b, int s, double x, double y) {
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (box)
        box->accept();
    return QStringLiteral("%1 %2 %3 %4%5").arg(b).arg(s).arg(x).arg(y).arg(box ? " in a box" : "");
}

} // namespace

// Posted messages wait for the next event loop and arrive in twips, each as a
// handler: the tick falling due meanwhile comes after it.
TEST(MessageWindows, ArriveInTwipsFromTheNextLoopAsAHandler) {
    QStringList seen;
    Timer timer;
    timer.setInterval(100);
    timer.setEnabled(true);
    timer.onTimer = [&] {
        seen << QStringLiteral("tick");
    };
    MessageWindow window;
    window.onMouseMessage = [&](int b, int s, double x, double y) {
        advanceClock(100);
        seen << describe(b, s, x, y);
    };
    ASSERT_TRUE(postMouseMessage(window.handle(), {-3, 20, 1, 6}));
    EXPECT_TRUE(seen.isEmpty()) << "posting returns at once";
    QCoreApplication::processEvents();
    EXPECT_EQ(seen.join(", "), "1 6 -45 300, tick") << "the handler, then the tick due meanwhile";
}

TEST(MessageWindows, AMessageBoxsLoopDeliversThem) {
    MessageWindow window;
    QString seen;
    window.onMouseMessage = [&](int b, int s, double x, double y) {
        seen = describe(b, s, x, y);
    };
    ASSERT_TRUE(postMouseMessage(window.handle(), {513}));
    QTimer guard; // closes the box only if the message never comes
    QObject::connect(&guard, &QTimer::timeout, [] { QApplication::activeModalWidget()->close(); });
    guard.start(5000);
    showError(QStringLiteral("Busy"));
    EXPECT_EQ(seen, "0 0 7695 0 in a box");
}

TEST(MessageWindows, OnlyALiveMessageWindowTakesMessages) {
    QWidget owner;
    auto *window = new MessageWindow(&owner);
    bool got = false;
    auto gone = std::make_unique<MessageWindow>();
    gone->onMouseMessage = [&](int, int, double, double) {
        got = true;
    };
    const WindowHandle goneHandle = gone->handle();
    ASSERT_TRUE(postMouseMessage(goneHandle, {1}));
    gone.reset();
    QCoreApplication::processEvents();
    EXPECT_FALSE(got) << "a destroyed window's waiting messages are dropped";
    EXPECT_FALSE(postMouseMessage(goneHandle, {2})) << "nor does it take new ones";
    EXPECT_FALSE(postMouseMessage(windowHandle(&owner), {3})) << "a widget takes none";
    EXPECT_EQ(messageWindowOf(&owner), window->handle()) << "the owner's message window";
    EXPECT_NE(window->handle(), windowHandle(&owner)) << "a handle of its own";
    const QObject other;
    EXPECT_EQ(messageWindowOf(&other), 0u) << "none for an owner without one";
}
