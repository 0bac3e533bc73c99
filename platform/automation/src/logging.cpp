#include "logging.h"

namespace automation {
// Warnings and worse by default; QT_LOGGING_RULES="velmora.automation.debug=true" shows more.
Q_LOGGING_CATEGORY(lcAutomation, "velmora.automation", QtWarningMsg)
} // namespace automation
