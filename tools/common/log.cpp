#include "log.h"

Q_LOGGING_CATEGORY(toolsLog, "velmora.tools", QtWarningMsg)
