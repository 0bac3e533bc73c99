// The process-wide handle tables. Window handles follow their widget: taken on
// first request, dropped when the widget is destroyed. Icon handles keep their
// icon alive for the life of the process.

#include "windowing/handles.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QMouseEvent>
#include <QWidget>

#include <mutex>

namespace windowing {
namespace {

// Handles look like the windowing system's: small, even, never 0, and each
// value used once per process.
constexpr std::uint32_t FirstHandle = 0x00010010;
constexpr std::uint32_t HandleStep = 4;

struct Tables {
    std::mutex lock;
    std::uint32_t nextWindow = FirstHandle;
    std::uint32_t nextIcon = FirstHandle;
    QHash<WindowHandle, QWidget*> widgets;
    QHash<QWidget*, WindowHandle> windowOf;
    QHash<IconHandle, QIcon> icons;
    QHash<qint64, IconHandle> iconOf;   // by QIcon::cacheKey()
};

Tables& tables()
{
    static Tables* t = new Tables;   // outlives every widget, even static ones
    return *t;
}

std::uint32_t take(std::uint32_t& next)
{
    const std::uint32_t h = next;
    next += HandleStep;
    if (next == 0)
        next = FirstHandle;   // wrapped after a billion handles
    return h;
}

// Button and shift codes of a mouse message: 1 left, 2 right, 4 middle;
// 1 shift, 2 ctrl, 4 alt.
int buttonCode(Qt::MouseButtons b)
{
    return (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0)
           | (b & Qt::MiddleButton ? 4 : 0);
}

int shiftCode(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0)
           | (m & Qt::AltModifier ? 4 : 0);
}

} // namespace

WindowHandle windowHandle(QWidget* widget)
{
    if (!widget)
        return 0;
    Tables& t = tables();
    std::lock_guard guard(t.lock);
    if (auto it = t.windowOf.constFind(widget); it != t.windowOf.cend())
        return *it;
    const WindowHandle h = take(t.nextWindow);
    t.widgets.insert(h, widget);
    t.windowOf.insert(widget, h);
    QObject::connect(widget, &QObject::destroyed, [widget, h] {
        Tables& t = tables();
        std::lock_guard guard(t.lock);
        t.widgets.remove(h);
        t.windowOf.remove(widget);
    });
    return h;
}

QWidget* widgetFromHandle(WindowHandle handle)
{
    Tables& t = tables();
    std::lock_guard guard(t.lock);
    return t.widgets.value(handle, nullptr);
}

IconHandle iconHandle(const QIcon& icon)
{
    if (icon.isNull())
        return 0;
    Tables& t = tables();
    std::lock_guard guard(t.lock);
    if (auto it = t.iconOf.constFind(icon.cacheKey()); it != t.iconOf.cend())
        return *it;
    const IconHandle h = take(t.nextIcon);
    t.icons.insert(h, icon);
    t.iconOf.insert(icon.cacheKey(), h);
    return h;
}

QIcon iconFromHandle(IconHandle handle)
{
    Tables& t = tables();
    std::lock_guard guard(t.lock);
    return t.icons.value(handle);
}

// The interface's key function: its vtable and type information live in this
// library only, whichever control library implements it.
MouseMoveTarget::~MouseMoveTarget() = default;

bool deliverMouseMove(WindowHandle handle, int xPixels, int yPixels)
{
    QWidget* w = widgetFromHandle(handle);
    if (!w)
        return false;
    const Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
    const Qt::KeyboardModifiers modifiers = QGuiApplication::keyboardModifiers();
    if (auto* target = dynamic_cast<MouseMoveTarget*>(w)) {
        target->mouseMoveTwips(buttonCode(buttons), shiftCode(modifiers),
                               double(xPixels) * TwipsPerPixel,
                               double(yPixels) * TwipsPerPixel);
        return true;
    }
    // Any other widget gets the move the way a pointer move reaches it, through
    // event filters and the application (which passes button-less moves only to
    // widgets that track the mouse).
    const QPointF local(xPixels, yPixels);
    QMouseEvent move(QEvent::MouseMove, local, w->mapToGlobal(local), Qt::NoButton,
                     buttons, modifiers);
    QCoreApplication::sendEvent(w, &move);
    return true;
}

} // namespace windowing
