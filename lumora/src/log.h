// The icon control's logging category, "velmora.lumora".
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLumora)
