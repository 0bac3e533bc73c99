// The previous-instance indicator and the fatal-error report.
#pragma once

#include <QString>
#include <functional>

namespace automation {
struct Error;
}

namespace windowing {

// Takes the per-user lock named `name` for the life of the process (an flock
// on a file in $XDG_RUNTIME_DIR, else in /tmp with the user id in its name;
// the OS releases it when the process dies). Returns true when another
// running process holds it: a previous instance exists.
bool previousInstance(const QString &name);

// The generic report of a fatal run-time error: an OK-only error box
// ("Run-time error 'N':" and the description), then the process ends with
// exit code 1. Tests replace what happens with setFatalErrorHandler.
[[noreturn]] void fatalError(const automation::Error &error);
void setFatalErrorHandler(std::function<void(const automation::Error &)> handler);

} // namespace windowing
