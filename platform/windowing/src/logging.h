// The logging category of the windowing layer: velmora.windowing.
#pragma once

#include <QLoggingCategory>

namespace windowing {
Q_DECLARE_LOGGING_CATEGORY(lcWindowing)
}
