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
    EXPECT_EQ(
        std::tuple(hb != 0, windowHandle(b.get()), widgetFromHandle(hb), windowHandle(nullptr)),
        std::tuple(true, hb, b.get(), 0u));
    b.reset();
    EXPECT_EQ(widgetFromHandle(hb), nullptr);
    for (int i = 0; i < 8; ++i) // new widgets, maybe at the same address, get fresh handles
        EXPECT_NE(windowHandle(std::make_unique<QWidget>().get()), hb);
}

TEST(Handles, OneIconHandlePerIconThatKeepsTheIconAlive) {
    IconHandle red;
    {
        QPixmap p(16, 16);
        p.fill(Qt::red);
        const QIcon icon(p);
        EXPECT_TRUE((red = iconHandle(icon)) != 0 && iconHandle(QIcon(icon)) == red &&
                    iconHandle(QIcon(QPixmap(8, 8))) != red);
    }
    EXPECT_EQ(iconFromHandle(red).pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red));
    EXPECT_TRUE(iconHandle(QIcon()) == 0 && iconFromHandle(0xdeadbeef).isNull());
}

// Posted messages wait for the next event loop (a message box's nested one
// included) and arrive in twips, each as a handler: the tick falling due
// meanwhile comes after it. A destroyed window's messages are dropped.
TEST(MessageWindows, PostedMessagesArriveInTwipsFromTheNextLoopAsHandlers) {
    const struct {
        MouseMessage posted;
        const char *got;
    } cases[] = {{{513}, "0 0 7695 0"},
                 {{10, 20, 1, 6}, "1 6 150 300"},
                 {{-3, 7, 4, 1}, "4 1 -45 105"},
                 {{513}, "0 0 7695 0 in the box"}};
    QStringList seen, expected;
    Timer timer;
    timer.setInterval(100), timer.setEnabled(true), timer.onTimer = [&] {
        seen << QStringLiteral("tick");
    };
    QWidget owner;
    auto *window = new MessageWindow(&owner);
    auto gone = std::make_unique<MessageWindow>();
    window->onMouseMessage = gone->onMouseMessage = [&](int b, int s, double x, double y) {
        advanceClock(100);
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        seen << QStringLiteral("%1 %2 %3 %4%5")
                    .arg(b)
                    .arg(s)
                    .arg(x)
                    .arg(y)
                    .arg(box ? " in the box" : ""),
            box ? box->accept() : void();
    };
    const WindowHandle goneHandle = gone->handle();
    ASSERT_TRUE(postMouseMessage(goneHandle, {1}));
    gone.reset();
    QTimer guard; // closes the box only if the message never comes
    QObject::connect(&guard, &QTimer::timeout, [] { QApplication::activeModalWidget()->close(); });
    guard.start(5000);
    for (const auto &c : cases) {
        ASSERT_TRUE(postMouseMessage(window->handle(), c.posted));
        EXPECT_TRUE(seen.size() == expected.size()); // posting returns at once
        c.got == cases[3].got ? showError(QStringLiteral("Busy"))
                              : QCoreApplication::processEvents();
        EXPECT_EQ(seen, expected << c.got << QStringLiteral("tick"));
    }
    EXPECT_EQ(std::tuple(messageWindowOf(&owner) == window->handle() &&
                             window->handle() != windowHandle(&owner),
                         postMouseMessage(goneHandle, {2}),
                         postMouseMessage(windowHandle(&owner), {3}),
                         messageWindowOf(&guard)),
              std::tuple(true, false, false, 0u));
}
