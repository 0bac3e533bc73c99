// The tools' logging category, velmora.tools: diagnostics beside the output
// the tools document, off unless asked for (QT_LOGGING_RULES="velmora.tools.debug=true").
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(toolsLog)
