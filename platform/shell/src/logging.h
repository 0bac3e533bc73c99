// The logging category of the shell room: velmora.shell.
#pragma once

#include <QLoggingCategory>

namespace shell {
Q_DECLARE_LOGGING_CATEGORY(lcShell)
}
