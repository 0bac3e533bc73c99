// Lumorel: the shell's notifications for the icon, turned into mouse events.
//
// The shell posts each notification to the control's message window as a
// mouse move whose horizontal position, in pixels, is the number of the mouse
// message that happened over the icon.
#include <cmath>

#include "log.h"
#include "lumorel.h"
#include "shell/mousemessages.h"

using namespace automation;
namespace mouse = shell::mouse;

namespace lumora {

void Lumorel::mouseMessage(double xTwips) {
    lastMessage_ = std::int32_t(std::nearbyint(xTwips / windowing::TwipsPerPixel));
    // Notifications that arrive while a host handler runs a nested loop (a
    // menu, a modal window) are dropped, not queued.
    if (inEvent_)
        return;
    inEvent_ = true;
    std::vector<Variant> none;
    switch (lastMessage_) {
    case mouse::Move:
        (void)raiseLogged(dispid::MouseMoveEvent, none);
        break;
    case mouse::LeftDown:
        raiseButtonEvent(dispid::MouseDownEvent, dispid::LeftButton);
        break;
    case mouse::LeftUp:
        raiseButtonEvent(dispid::MouseUpEvent, dispid::LeftButton);
        (void)raiseLogged(dispid::ClickEvent, none);
        break;
    case mouse::LeftDouble:
        raiseButtonEvent(dispid::DoubleClickEvent, dispid::LeftButton);
        break;
    case mouse::RightDown:
        raiseButtonEvent(dispid::MouseDownEvent, dispid::RightButton);
        break;
    case mouse::RightUp:
        raiseButtonEvent(dispid::MouseUpEvent, dispid::RightButton);
        break;
    case mouse::RightDouble:
        raiseButtonEvent(dispid::DoubleClickEvent, dispid::RightButton);
        break;
    case mouse::MiddleDown:
        raiseButtonEvent(dispid::MouseDownEvent, dispid::MiddleButton);
        break;
    case mouse::MiddleUp:
        raiseButtonEvent(dispid::MouseUpEvent, dispid::MiddleButton);
        break;
    case mouse::MiddleDouble:
        raiseButtonEvent(dispid::DoubleClickEvent, dispid::MiddleButton);
        break;
    default:
        break; // real moves over the design face land here
    }
    inEvent_ = false;
}

// Button is passed as a temporary: what the host writes into it goes nowhere.
void Lumorel::raiseButtonEvent(DispId event, std::int32_t button) {
    std::vector<Variant> args{Variant(button)};
    (void)raiseLogged(event, args);
}

} // namespace lumora
