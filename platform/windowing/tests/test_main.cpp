// Test entry point: a widget application on the offscreen platform, with a
// private runtime directory, plus the helper modes that instance tests start
// as child processes.

#include "windowing/instance.h"
#include "windowing/timers.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// --hold-lock NAME [--spawn]: asks for the previous-instance lock, prints
// "holding" or "previous" and then waits until killed. With --spawn it first
// starts another program image (--linger) that outlives it, printing its pid.
int holdLock(int argc, char** argv)
{
    const bool previous = windowing::previousInstance(QString::fromLocal8Bit(argv[2]));
    if (argc > 3 && std::strcmp(argv[3], "--spawn") == 0) {
        // Until it execs, the child shares our descriptors; a close-on-exec
        // pipe reports end of file once the new image runs.
        int execDone[2];
        if (::pipe2(execDone, O_CLOEXEC) != 0)
            return 2;
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl(argv[0], argv[0], "--linger", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(execDone[1]);
        char c;
        while (::read(execDone[0], &c, 1) < 0 && errno == EINTR) {
        }
        ::close(execDone[0]);
        std::printf("spawned %d\n", static_cast<int>(child));
    }
    std::printf("%s\n", previous ? "previous" : "holding");
    std::fflush(stdout);
    for (;;)
        ::pause();
}

// --linger: does nothing until killed; gives up by itself after half a minute.
int linger()
{
    ::alarm(30);
    for (;;)
        ::pause();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--hold-lock") == 0)
        return holdLock(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "--linger") == 0)
        return linger();

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtimeDir;
    qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());

#ifdef WINDOWING_TEST_MANUAL_CLOCK
    windowing::useManualClock();
#endif
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}
