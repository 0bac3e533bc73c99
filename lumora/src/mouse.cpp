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
    case mouse::Move:
        (void)raiseLogged(EvMouseMove, none);
        break;
    case mouse::LeftDown:
        raiseButtonEvent(EvMouseDown, LeftButton);
        break;
    case mouse::LeftUp:
        raiseButtonEvent(EvMouseUp, LeftButton), (void)raiseLogged(EvClick, none);
        break;
    case mouse::LeftDouble:
        raiseButtonEvent(EvDoubleClick, LeftButton);
        break;
    case mouse::RightDown:
        raiseButtonEvent(EvMouseDown, RightButton);
        break;
    case mouse::RightUp:
        raiseButtonEvent(EvMouseUp, RightButton);
        break;
    case mouse::RightDouble:
        raiseButtonEvent(EvDoubleClick, RightButton);
        break;
    case mouse::MiddleDown:
        raiseButtonEvent(EvMouseDown, MiddleButton);
        break;
    case mouse::MiddleUp:
        raiseButtonEvent(EvMouseUp, MiddleButton);
        break;
    case mouse::MiddleDouble:
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
