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

namespace {

// TrayMouseButtons.
constexpr std::int32_t LeftButton = 1, MiddleButton = 2, RightButton = 3;

} // namespace

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
        (void)raiseLogged(EvMouseMove, none);
        break;
    case 513:
        raiseButtonEvent(EvMouseDown, LeftButton);
        break;
    case 514:
        raiseButtonEvent(EvMouseUp, LeftButton), (void)raiseLogged(EvClick, none);
        break;
    case 515:
        raiseButtonEvent(EvDoubleClick, LeftButton);
        break;
    case 516:
        raiseButtonEvent(EvMouseDown, RightButton);
        break;
    case 517:
        raiseButtonEvent(EvMouseUp, RightButton);
        break;
    case 518:
        raiseButtonEvent(EvDoubleClick, RightButton);
        break;
    case 519:
        raiseButtonEvent(EvMouseDown, MiddleButton);
        break;
    case 520:
        raiseButtonEvent(EvMouseUp, MiddleButton);
        break;
    case 521:
        raiseButtonEvent(EvDoubleClick, MiddleButton);
        break;
    default:
        break; // real moves over the design face land here
    }
    inEvent_ = false;
}

// Button is passed as a temporary: what the host writes into it goes nowhere.
void Lumorel::raiseButtonEvent(Event event, std::int32_t button) {
    std::vector<Variant> args{Variant(button)};
    (void)raiseLogged(event, args);
}

} // namespace lumora
