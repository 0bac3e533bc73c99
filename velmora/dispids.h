// The hosted controls' dispatch ids and the values the program passes, by the
// names the panel calls them: each control's own, generated from its type
// library (see velmora_dispid_header).
#pragma once

#include "comm_dispids.h"
#include "lumora_dispids.h"
#include "pellago_dispids.h"

namespace velmora {

// The serial-port control, MSCommLib.MSComm.
namespace comm = ::comm::dispid;
// The notification-area icon control, lumora.Lumorel: its members, its events
// (<Event>Event) and TrayMouseButtons.
namespace tray = ::lumora::dispid;
// The balloon message control, pellago.Pellagon: its members and BalloonMessageType.
namespace balloon = ::pellago::dispid;

} // namespace velmora
