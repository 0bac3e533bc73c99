// Dispatch ids of the three hosted controls' members the program calls, and
// the values it passes.
#pragma once

#include "automation/typeinfo.h"

namespace velmora {

// The serial-port control, MSCommLib.MSComm.
namespace comm {
constexpr automation::DispId CDHolding = 1;
constexpr automation::DispId CommPort = 4;
constexpr automation::DispId DTREnable = 9;
constexpr automation::DispId PortOpen = 20;
constexpr automation::DispId RTSEnable = 22;
constexpr automation::DispId Settings = 23;
constexpr automation::DispId Output = 25;
} // namespace comm

// The notification-area icon control, lumora.Lumorel.
namespace tray {
constexpr automation::DispId AddToTray = 0x60030005; // (TrayIcon, TrayToolTipText, [HideWindow])
constexpr automation::DispId DeleteFromTray = 0x60030008;
constexpr automation::DispId Handle = 0x68030000;  // get, I4
constexpr automation::DispId DoubleClickEvent = 6; // (Button As TrayMouseButtons)
constexpr automation::DispId ErrorEvent = 14;      // (ErrNumber, ErrDescription, ErrSource)
constexpr std::int32_t LeftButton = 1;
constexpr std::int32_t MiddleButton = 2;
constexpr std::int32_t RightButton = 3;
} // namespace tray

// The balloon message control, pellago.Pellagon.
namespace balloon {
constexpr automation::DispId MessageType = 0x68030000;        // put, I4
constexpr automation::DispId ShowBalloonMessage = 0x60030005; // (Prompt, Title, Handle)
constexpr std::int32_t bmInformation = 1;
constexpr std::int32_t bmError = 3;
} // namespace balloon

} // namespace velmora
