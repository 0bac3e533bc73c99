#include "logging.h"

namespace shell {
// Warnings and worse by default; QT_LOGGING_RULES="velmora.shell.debug=true" shows more.
Q_LOGGING_CATEGORY(lcShell, "velmora.shell", QtWarningMsg)
} // namespace shell
