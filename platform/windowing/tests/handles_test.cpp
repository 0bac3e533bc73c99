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

TEST(Handles, WindowHandlesFollowTheirWidgetAndAreNeverReused)
{
    auto b = std::make_unique<QWidget>();
    const WindowHandle hb = windowHandle(b.get());
    EXPECT_NE(hb, 0u);
    EXPECT_EQ(std::tuple(windowHandle(b.get()), widgetFromHandle(hb), windowHandle(nullptr)), std::tuple(hb, b.get(), 0u));
    b.reset();
    EXPECT_EQ(widgetFromHandle(hb), nullptr);
    for (int i = 0; i < 8; ++i)   // new widgets, maybe at the same address, get fresh handles
        EXPECT_NE(windowHandle(std::make_unique<QWidget>().get()), hb);
}

TEST(Handles, OneIconHandlePerIconThatKeepsTheIconAlive)
{
    IconHandle red;
    {
        QPixmap p(16, 16);
        p.fill(Qt::red);
        const QIcon icon(p);
        red = iconHandle(icon);
        EXPECT_TRUE(red != 0 && iconHandle(QIcon(icon)) == red && iconHandle(QIcon(QPixmap(8, 8))) != red);
    }
    EXPECT_EQ(iconFromHandle(red).pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red));
    EXPECT_TRUE(iconHandle(QIcon()) == 0 && iconFromHandle(0xdeadbeef).isNull());
}

using Got = std::tuple<int, int, double, double>;

TEST(MessageWindows, PostedMessagesArriveInTwipsFromTheNextEventLoop)
{
    const struct { MouseMessage posted; Got got; } cases[] = {
        {{513, 0}, {0, 0, 7695, 0}}, {{10, 20, 1, 6}, {1, 6, 150, 300}}, {{-3, 7, 4, 1}, {4, 1, -45, 105}}};
    MessageWindow window;
    std::vector<Got> got, expected;
    window.onMouseMessage = [&](int b, int s, double x, double y) { got.push_back({b, s, x, y}); };
    for (const auto& c : cases) {
        ASSERT_TRUE(postMouseMessage(window.handle(), c.posted));
        expected.push_back(c.got);
    }
    EXPECT_TRUE(got.empty());   // posting returns at once
    QCoreApplication::processEvents();
    EXPECT_EQ(got, expected);
}

TEST(MessageWindows, AGoneWindowsMessagesAreDiscardedAndItsHandleLeadsNowhere)
{
    QWidget owner;
    auto window = std::make_unique<MessageWindow>(&owner);
    const WindowHandle h = window->handle();
    EXPECT_TRUE(h != 0 && h != windowHandle(&owner) && messageWindowOf(&owner) == h);
    int got = 0;
    window->onMouseMessage = [&](int, int, double, double) { ++got; };
    ASSERT_TRUE(postMouseMessage(h, {513}));
    window.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(std::tuple(got, postMouseMessage(h, {514}), postMouseMessage(windowHandle(&owner), {515}), messageWindowOf(&owner)),
              std::tuple(0, false, false, 0u));
}

// Delivered from a message box's nested loop, as a handler: the tick falling
// due meanwhile waits until the handler is done.
TEST(MessageWindows, AMessageBoxLoopDeliversAndTicksWaitForTheHandlers)
{
    QStringList seen;
    Timer timer;
    timer.setInterval(100);
    timer.setEnabled(true);
    timer.onTimer = [&] { seen << QStringLiteral("tick"); };
    MessageWindow window;
    window.onMouseMessage = [&](int, int, double x, double) {
        advanceClock(150);
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        seen << QStringLiteral("%1%2").arg(x).arg(box ? " in the box" : "");
        if (box)
            box->accept();
    };
    QTimer guard;   // closes the box only if the message never comes
    QObject::connect(&guard, &QTimer::timeout, [] { QApplication::activeModalWidget()->close(); });
    guard.start(5000);
    ASSERT_TRUE(postMouseMessage(window.handle(), {513}));
    showError(QStringLiteral("Busy"));
    EXPECT_EQ(seen, QStringList({"7695 in the box", "tick"}));
}
