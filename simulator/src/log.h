// The simulator room's logging category, "velmora.simulator" (QT_LOGGING_RULES
// turns its debug messages on: "velmora.simulator.debug=true").
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSimulator)
