// Process-wide 32-bit window and icon handles, twips, and mouse moves handed
// to a control's window.
#pragma once

#include <QIcon>
#include <cstdint>

class QWidget;

namespace windowing {

constexpr int TwipsPerPixel = 15;
constexpr int pixelsToTwips(int px) { return px * TwipsPerPixel; }
constexpr int twipsToPixels(int tw) { return tw / TwipsPerPixel; }

using WindowHandle = std::uint32_t;  // 0 is no window
using IconHandle = std::uint32_t;    // 0 is no icon

// The handle of a widget; allocated on first request, released when the widget
// is destroyed. Handles are never reused within a process.
WindowHandle windowHandle(QWidget* widget);
QWidget* widgetFromHandle(WindowHandle handle);

// Icons are registered once and keep their handle for the life of the process.
IconHandle iconHandle(const QIcon& icon);
QIcon iconFromHandle(IconHandle handle);   // null QIcon for an unknown handle

// A control window that wants mouse moves in twips implements this.
class MouseMoveTarget {
public:
    virtual ~MouseMoveTarget();
    // button and shift as the windowing system reports them (0 when none).
    virtual void mouseMoveTwips(int button, int shift, double xTwips, double yTwips) = 0;
};

// Delivers a mouse move at the given pixel position to the window `handle`, as
// if the pointer had moved there: a MouseMoveTarget gets it in twips. Returns
// false when the handle names no window.
bool deliverMouseMove(WindowHandle handle, int xPixels, int yPixels);

} // namespace windowing
