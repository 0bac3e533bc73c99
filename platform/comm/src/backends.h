// The line backends by scheme, and the device backend.
#pragma once

#include "comm/lines.h"

namespace comm {

// The target `value` names, read by the backend of its scheme (schemes.cpp);
// an error when no scheme takes it or its backend cannot be loaded.
TargetResult readTarget(const QString &value);

// A serial device file (an absolute path), through termios and modem-control
// requests.
TargetResult readDeviceTarget(const QString &value);

// The description of a failed open(2) of a serial device.
automation::Error openFailure(int errnum, const QString &path);

} // namespace comm
