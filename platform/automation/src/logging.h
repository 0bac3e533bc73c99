// The logging category of the automation runtime: velmora.automation.
#pragma once

#include <QLoggingCategory>

namespace automation {
Q_DECLARE_LOGGING_CATEGORY(lcAutomation)
}
