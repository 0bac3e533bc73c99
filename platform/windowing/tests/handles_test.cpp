// Window and icon handles, and mouse moves handed to a control's window.

#include "windowing/handles.h"

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QPixmap>
#include <QWidget>

#include <memory>

using namespace windowing;

namespace {

using Move = std::tuple<int, int, double, double>;
struct TwipsTarget : QWidget, MouseMoveTarget {
    void mouseMoveTwips(int button, int shift, double x, double y) override { moves.push_back({button, shift, x, y}); }
    std::vector<Move> moves;
};
struct PlainWidget : QWidget {
    void mouseMoveEvent(QMouseEvent* e) override { moves << e->position().toPoint(); }
    QList<QPoint> moves;
};

} // namespace

TEST(Handles, WindowHandlesFollowTheirWidgetAndAreNeverReused)
{
    auto b = std::make_unique<QWidget>();
    const WindowHandle hb = windowHandle(b.get());
    EXPECT_NE(hb, 0u);
    EXPECT_EQ(std::tuple(windowHandle(b.get()), widgetFromHandle(hb), windowHandle(nullptr)), std::tuple(hb, b.get(), 0u));
    b.reset();   // a dead widget's handle leads nowhere: see the mouse moves below
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

TEST(Handles, MouseMovesReachAControlWindowInTwipsAndOthersAsMoveEvents)
{
    TwipsTarget target;   // a notification-area message rides on the x position: 0x203 pixels
    ASSERT_TRUE(deliverMouseMove(windowHandle(&target), 0x203, 7));
    EXPECT_EQ(target.moves, std::vector<Move>({{0, 0, 0x203 * 15, 105}}));

    auto w = std::make_unique<PlainWidget>();
    w->setMouseTracking(true);   // how a Qt widget asks for moves without a button
    const WindowHandle h = windowHandle(w.get());
    ASSERT_TRUE(deliverMouseMove(h, 10, 20));
    EXPECT_EQ(w->moves, QList<QPoint>({QPoint(10, 20)}));
    w.reset();
    EXPECT_FALSE(deliverMouseMove(h, 1, 1));
}
