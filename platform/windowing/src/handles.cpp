// The process-wide handle tables. Window handles follow their widget or
// message window: taken on first request (a message window's when it is made),
// dropped when it is destroyed. Icon handles keep their icon alive for the
// life of the process. Mouse messages reach message windows through the Qt
// event queue.

#include "windowing/handles.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHash>
#include <QWidget>

#include "windowing/timers.h"

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
    QHash<WindowHandle, QWidget *> widgets;
    QHash<WindowHandle, MessageWindow *> messageWindows;
    QHash<QWidget *, WindowHandle> windowOf;
    QHash<IconHandle, QIcon> icons;
    QHash<qint64, IconHandle> iconOf; // by QIcon::cacheKey()
};

Tables &tables() {
    static Tables *t = new Tables; // outlives every widget, even static ones
    return *t;
}

std::uint32_t take(std::uint32_t &next) {
    const std::uint32_t h = next;
    next += HandleStep;
    if (next == 0)
        next = FirstHandle; // wrapped after a billion handles
    return h;
}

// A posted mouse message on its way through the event queue.
class MouseMessageEvent : public QEvent {
  public:
    explicit MouseMessageEvent(const MouseMessage &m) : QEvent(kind()), message(m) {}
    static QEvent::Type kind() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    const MouseMessage message;
};

} // namespace

WindowHandle windowHandle(QWidget *widget) {
    if (!widget)
        return 0;
    Tables &t = tables();
    std::lock_guard guard(t.lock);
    if (auto it = t.windowOf.constFind(widget); it != t.windowOf.cend())
        return *it;
    const WindowHandle h = take(t.nextWindow);
    t.widgets.insert(h, widget);
    t.windowOf.insert(widget, h);
    QObject::connect(widget, &QObject::destroyed, [widget, h] {
        Tables &t = tables();
        std::lock_guard guard(t.lock);
        t.widgets.remove(h);
        t.windowOf.remove(widget);
    });
    return h;
}

QWidget *widgetFromHandle(WindowHandle handle) {
    Tables &t = tables();
    std::lock_guard guard(t.lock);
    return t.widgets.value(handle, nullptr);
}

IconHandle iconHandle(const QIcon &icon) {
    if (icon.isNull())
        return 0;
    Tables &t = tables();
    std::lock_guard guard(t.lock);
    if (auto it = t.iconOf.constFind(icon.cacheKey()); it != t.iconOf.cend())
        return *it;
    const IconHandle h = take(t.nextIcon);
    t.icons.insert(h, icon);
    t.iconOf.insert(icon.cacheKey(), h);
    return h;
}

QIcon iconFromHandle(IconHandle handle) {
    Tables &t = tables();
    std::lock_guard guard(t.lock);
    return t.icons.value(handle);
}

MessageWindow::MessageWindow(QObject *parent) : QObject(parent) {
    Tables &t = tables();
    std::lock_guard guard(t.lock);
    handle_ = take(t.nextWindow);
    t.messageWindows.insert(handle_, this);
}

MessageWindow::~MessageWindow() {
    // Out of the table first; QObject's destructor then drops the messages
    // still queued for this window.
    Tables &t = tables();
    std::lock_guard guard(t.lock);
    t.messageWindows.remove(handle_);
}

bool MessageWindow::event(QEvent *e) {
    if (e->type() != MouseMessageEvent::kind())
        return QObject::event(e);
    const MouseMessage &m = static_cast<MouseMessageEvent *>(e)->message;
    HandlerScope scope;
    // A copy, and nothing of this window touched after the call: the handler
    // may replace itself or destroy the window.
    const auto handler = onMouseMessage;
    if (handler)
        handler(m.button, m.shift, double(m.x) * TwipsPerPixel, double(m.y) * TwipsPerPixel);
    return true;
}

bool postMouseMessage(WindowHandle target, const MouseMessage &message) {
    Tables &t = tables();
    // Under the lock, so the window cannot go between the look-up and the post.
    std::lock_guard guard(t.lock);
    MessageWindow *w = t.messageWindows.value(target, nullptr);
    if (!w)
        return false;
    QCoreApplication::postEvent(w, new MouseMessageEvent(message));
    return true;
}

WindowHandle messageWindowOf(const QObject *owner) {
    const auto *w =
        owner ? owner->findChild<MessageWindow *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    return w ? w->handle() : 0;
}

} // namespace windowing
