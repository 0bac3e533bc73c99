// Window and icon handles, and mouse moves handed to a control's window.

#include "windowing/handles.h"

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QPixmap>
#include <QWidget>

#include <memory>

using namespace windowing;

namespace {

class TwipsTarget : public QWidget, public MouseMoveTarget {
public:
    void mouseMoveTwips(int button, int shift, double x, double y) override
    {
        ++calls;
        this->button = button;
        this->shift = shift;
        this->x = x;
        this->y = y;
    }
    int calls = 0;
    int button = -1, shift = -1;
    double x = 0, y = 0;
};

class PlainWidget : public QWidget {
public:
    QList<QPoint> moves;

protected:
    void mouseMoveEvent(QMouseEvent* e) override { moves << e->position().toPoint(); }
};

QIcon solidIcon(Qt::GlobalColor color)
{
    QPixmap p(16, 16);
    p.fill(color);
    return QIcon(p);
}

} // namespace

TEST(WindowHandles, FollowTheirWidgetAndAreNeverReused)
{
    QWidget a;
    auto b = std::make_unique<QWidget>();
    const WindowHandle ha = windowHandle(&a);
    const WindowHandle hb = windowHandle(b.get());
    EXPECT_NE(ha, 0u);
    EXPECT_NE(ha, hb);
    EXPECT_EQ(windowHandle(&a), ha);
    EXPECT_EQ(widgetFromHandle(ha), &a);
    EXPECT_EQ(widgetFromHandle(hb), b.get());
    EXPECT_EQ(windowHandle(nullptr), 0u);
    EXPECT_EQ(widgetFromHandle(0), nullptr);

    b.reset();
    EXPECT_EQ(widgetFromHandle(hb), nullptr);
    // New widgets, possibly at the same address, get fresh handles.
    for (int i = 0; i < 8; ++i) {
        QWidget fresh;
        EXPECT_NE(windowHandle(&fresh), hb);
    }
}

TEST(IconHandles, OneHandlePerIconThatKeepsTheIconAlive)
{
    IconHandle red;
    {
        const QIcon icon = solidIcon(Qt::red);
        red = iconHandle(icon);
        EXPECT_NE(red, 0u);
        const QIcon copy = icon;
        EXPECT_EQ(iconHandle(copy), red);
    }
    const IconHandle blue = iconHandle(solidIcon(Qt::blue));
    EXPECT_NE(blue, red);

    const QIcon back = iconFromHandle(red);
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red));

    EXPECT_EQ(iconHandle(QIcon()), 0u);
    EXPECT_TRUE(iconFromHandle(0).isNull());
    EXPECT_TRUE(iconFromHandle(0xdeadbeef).isNull());
}

TEST(MouseMoves, ReachAControlWindowInTwips)
{
    TwipsTarget target;
    // A notification-area message rides on the x position: 0x203 pixels.
    ASSERT_TRUE(deliverMouseMove(windowHandle(&target), 0x203, 7));
    EXPECT_EQ(target.calls, 1);
    EXPECT_DOUBLE_EQ(target.x, 0x203 * 15);
    EXPECT_DOUBLE_EQ(target.y, 105);
    EXPECT_EQ(target.button, 0);
    EXPECT_EQ(target.shift, 0);
    EXPECT_EQ(twipsToPixels(static_cast<int>(target.x)), 0x203);
}

TEST(MouseMoves, ReachAPlainWidgetAsAMoveEventAndMissGoneWindows)
{
    auto w = std::make_unique<PlainWidget>();
    w->setMouseTracking(true);   // how a Qt widget asks for moves without a button
    const WindowHandle h = windowHandle(w.get());
    ASSERT_TRUE(deliverMouseMove(h, 10, 20));
    EXPECT_EQ(w->moves, QList<QPoint>({QPoint(10, 20)}));

    w.reset();
    EXPECT_FALSE(deliverMouseMove(h, 1, 1));
    EXPECT_FALSE(deliverMouseMove(0, 1, 1));
}
