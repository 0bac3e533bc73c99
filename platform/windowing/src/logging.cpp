#include "logging.h"

namespace windowing {
// Warnings and worse by default; QT_LOGGING_RULES="velmora.windowing.debug=true" shows more.
Q_LOGGING_CATEGORY(lcWindowing, "velmora.windowing", QtWarningMsg)
} // namespace windowing
