// The previous-instance lock, seen from other processes, and the fatal-error
// report.

#include "windowing/instance.h"
#include "windowing/messagebox.h"

#include <automation/error.h>

#include <gtest/gtest.h>

#include <QFile>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace windowing;

namespace {

QString uniqueName(const char *what) {
    return QStringLiteral("velmora-test-%1-%2").arg(what).arg(::getpid());
}

// A child process that asks for the lock and says 'h' (holding) or 'p'
// (previous); then it waits to be killed, or becomes another program that
// says "\n" once it runs, the exec behind it.
struct Holder {
    pid_t pid = -1;
    QByteArray said;
    explicit Holder(const QString &name, bool becomeAnotherProgram = false) {
        int channel[2];
        if (::pipe2(channel, O_CLOEXEC) != 0 || (pid = ::fork()) < 0)
            return;
        if (pid == 0) {
            (void)!::write(channel[1], previousInstance(name) ? "p" : "h", 1);
            if (becomeAnotherProgram && ::dup2(channel[1], STDOUT_FILENO) == STDOUT_FILENO)
                ::execl("/bin/sh", "sh", "-c", "echo; exec sleep 30", static_cast<char *>(nullptr));
            for (;;)
                ::pause();
        }
        ::close(channel[1]);
        for (char c;
             said.size() < (becomeAnotherProgram ? 2 : 1) && ::read(channel[0], &c, 1) == 1;)
            said += c;
        ::close(channel[0]);
    }
    ~Holder() {
        if (pid > 0 && ::kill(pid, SIGKILL) == 0)
            ::waitpid(pid, nullptr, 0);
    }
};

} // namespace

TEST(PreviousInstance, IsSeenWhileAnotherProcessHoldsTheLockAndEndsWithIt) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR"); // without a runtime folder the lock lies in /tmp
    const QString name = uniqueName("tmp"),
                  file = QStringLiteral("/tmp/%1-%2.lock").arg(name).arg(::geteuid());
    {
        Holder other(name);
        ASSERT_EQ(other.said, "h");
        EXPECT_TRUE(QFile::exists(file)) << "the lock lies in /tmp";
        EXPECT_TRUE(previousInstance(name)) << "another process holds it";
    } // the kernel releases the lock of a killed process
    EXPECT_FALSE(previousInstance(name)) << "the holder is gone";
    EXPECT_FALSE(previousInstance(name)) << "asking again is not a second instance";
    QFile::remove(file);
    qputenv("XDG_RUNTIME_DIR", runtime);
}

TEST(PreviousInstance, ProgramsStartedByTheHolderDoNotKeepTheLock) {
    const QString name = uniqueName("exec");
    Holder holder(name, true);
    ASSERT_EQ(holder.said, "h\n"); // it took the lock, then the program it became ran
    EXPECT_FALSE(previousInstance(name));
}

TEST(FatalError, ShowsTheGenericReportUnderTheProgramsTitleThenEndsWithExitCode1) {
    const auto fail = [] {
        setMessageBoxHandler([](const MessageRequest &r) {
            std::fprintf(stderr,
                         "BOX[%s|%d|%d]%s\n",
                         qPrintable(r.title),
                         int(r.icon),
                         int(r.buttons),
                         qPrintable(QString(r.text).replace('\n', '/')));
            return Answer::Ok;
        });
        fatalError({53, "File not found", "Velmora"});
    };
    EXPECT_EXIT(fail(),
                ::testing::ExitedWithCode(1),
                "BOX\\[Host Program\\|2\\|0\\]Run-time error '53'://File not found");
}
