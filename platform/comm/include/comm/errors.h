// Error numbers the serial-port control reports (source "MSCommLib.MSComm").
// Callers trap the failures of PortOpen, Output, Settings and CommPort; the
// description says what went wrong, naming the port and its device.
#pragma once

#include <cstdint>

namespace comm::err {

// Settings is not "<speed>,N,8,1" with a supported speed; Output holds a
// character above 255.
constexpr std::int32_t InvalidPropertyValue = 380;
// CommPort written while the port is open.
constexpr std::int32_t PortOpen = 8000;
// CommPort outside 1-16; the port has no device (nothing mapped, no such
// device file, a simulated device unplugged).
constexpr std::int32_t InvalidPort = 8002;
// The device is held by another program (or another control in this one).
constexpr std::int32_t PortAlreadyOpen = 8005;
// The device cannot be used: permission denied, not a serial device, gone
// while open, the port mapping or the line trace cannot be read or written.
constexpr std::int32_t HardwareNotAvailable = 8010;
// The line settings were refused by the device.
constexpr std::int32_t SetCommStateFailed = 8015;
// Output while the port is closed.
constexpr std::int32_t PortNotOpen = 8018;

} // namespace comm::err
