// Test entry point: a widget application (on the offscreen platform ctest
// names) and the manual clock, with a private runtime directory and a program title of its own.

#include "windowing/messagebox.h"
#include "windowing/timers.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char **argv) {
    QTemporaryDir runtimeDir;
    qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    windowing::useManualClock();
    QApplication app(argc, argv);
    windowing::setProgramTitle(QStringLiteral("Host Program"));
    testing::InitGoogleTest(&argc, argv);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}
