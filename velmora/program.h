// The program's run: the main window is loaded (its load step first, then it
// is shown), and the program ends when none of its windows is loaded any more.
#pragma once

class QApplication;

namespace velmora {

// Runs the program in `app` and returns its exit code: 0 at once, without a
// window, when another instance is running.
int runProgram(QApplication &app);

} // namespace velmora
