// Lumorel: the shell's notifications for the icon, turned into mouse events.
//
// The shell posts each notification to the control's message window as a
// mouse move whose horizontal position, in pixels, is the number of the mouse
// message that happened over the icon.
#include <cmath>

#include "log.h"
#include "lumorel.h"

using namespace automation;

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
    case 512:
        (void)raiseLogged(dispid::MouseMoveEvent, none);
        break;
    case 513:
        raiseButtonEvent(dispid::MouseDownEvent, dispid::LeftButton);
        break;
    case 514:
        raiseButtonEvent(dispid::MouseUpEvent, dispid::LeftButton),
            (void)raiseLogged(dispid::ClickEvent, none);
        break;
    case 515:
        raiseButtonEvent(dispid::DoubleClickEvent, dispid::LeftButton);
        break;
    case 516:
        raiseButtonEvent(dispid::MouseDownEvent, dispid::RightButton);
        break;
    case 517:
        raiseButtonEvent(dispid::MouseUpEvent, dispid::RightButton);
        break;
    case 518:
        raiseButtonEvent(dispid::DoubleClickEvent, dispid::RightButton);
        break;
    case 519:
        raiseButtonEvent(dispid::MouseDownEvent, dispid::MiddleButton);
        break;
    case 520:
        raiseButtonEvent(dispid::MouseUpEvent, dispid::MiddleButton);
        break;
    case 521:
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
