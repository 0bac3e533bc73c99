// Process-wide 32-bit window and icon handles, twips, and the message windows
// of controls with the mouse messages posted to them.
#pragma once

#include <QIcon>
#include <QObject>
#include <cstdint>
#include <functional>

class QWidget;

namespace windowing {

constexpr int TwipsPerPixel = 15;
constexpr int pixelsToTwips(int px) {
    return px * TwipsPerPixel;
}
constexpr int twipsToPixels(int tw) {
    return tw / TwipsPerPixel;
}

using WindowHandle = std::uint32_t; // 0 is no window
using IconHandle = std::uint32_t;   // 0 is no icon

// The handle of a widget; allocated on first request, released when the widget
// is destroyed. Handles are never reused within a process.
WindowHandle windowHandle(QWidget *widget);
QWidget *widgetFromHandle(WindowHandle handle);

// Icons are registered once and keep their handle for the life of the process.
IconHandle iconHandle(const QIcon &icon);
QIcon iconFromHandle(IconHandle handle); // null QIcon for an unknown handle

// A mouse message as the windowing system posts it: its own position in
// pixels (the shell's notifications carry their message number as x) and the
// button and shift state: button 1 left, 2 right, 4 middle; shift 1 shift,
// 2 ctrl, 4 alt (0 when none).
struct MouseMessage {
    int x = 0;
    int y = 0;
    int button = 0;
    int shift = 0;
};

// A control's own message window: a window handle with no widget behind it,
// never shown nor placed on a form, that receives the mouse messages posted to
// it. A control makes it a child of its window(), where a host finds it
// (messageWindowOf). The handle is taken from the window handles and leads
// nowhere once the message window is destroyed.
class MessageWindow : public QObject {
    Q_OBJECT
  public:
    explicit MessageWindow(QObject *parent = nullptr);
    ~MessageWindow() override;
    WindowHandle handle() const { return handle_; }

    // Gets each mouse message delivered, its position in twips, inside a
    // HandlerScope.
    std::function<void(int button, int shift, double xTwips, double yTwips)> onMouseMessage;

  protected:
    bool event(QEvent *e) override;

  private:
    WindowHandle handle_;
};

// Queues the message for the message window `target` and returns at once. The
// next event loop to run (a message box's nested one included) delivers it; a
// message whose window is destroyed first is discarded. Returns false when the
// handle names no message window. Any thread may post.
bool postMouseMessage(WindowHandle target, const MouseMessage &message);

// The handle of owner's message window (a direct child), 0 when it has none.
WindowHandle messageWindowOf(const QObject *owner);

} // namespace windowing
