// The two line backends.
#pragma once

#include <memory>

#include "lines.h"
#include "portmap.h"

namespace comm {

// A serial device file, through termios and modem-control requests.
std::unique_ptr<LineBackend> makeDeviceBackend(const QString &path);
// The simulated amplifier the target names.
std::unique_ptr<LineBackend> makeSimulatorBackend(const PortTarget &target);

// The description of a failed open(2) of a serial device.
automation::Error openFailure(int errnum, const QString &path);

} // namespace comm
