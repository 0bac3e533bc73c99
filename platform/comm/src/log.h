// The comm room's logging category, "velmora.comm" (QT_LOGGING_RULES turns
// its debug messages on: "velmora.comm.debug=true").
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcComm)
