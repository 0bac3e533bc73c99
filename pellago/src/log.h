// The balloon control's logging category, "velmora.pellago".
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPellago)
