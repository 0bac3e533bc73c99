// The previous-instance lock, seen from other processes, and the fatal-error
// report.

#include "windowing/instance.h"
#include "windowing/messagebox.h"

#include <automation/error.h>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace windowing;

namespace {

QString uniqueName(const char* what) { return QStringLiteral("velmora-test-%1-%2").arg(what).arg(::getpid()); }

// A child process that asks for the lock and answers 'h' (holding) or 'p'
// (previous); then it waits to be killed, or becomes another program (sleep),
// and the constructor returns once it is at the exec.
struct Holder {
    pid_t pid = -1;
    char answer = 0;
    Holder(const QString& name, bool becomeAnotherProgram = false)
    {
        int channel[2];
        if (::pipe2(channel, O_CLOEXEC) != 0 || (pid = ::fork()) < 0)
            return;
        if (pid == 0) {
            const char a = previousInstance(name) ? 'p' : 'h';
            (void)!::write(channel[1], &a, 1);
            if (becomeAnotherProgram)
                ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
            for (;;)
                ::pause();
        }
        ::close(channel[1]);
        for (char c; ::read(channel[0], &c, 1) > 0;) {
            answer = answer ? answer : c;
            if (!becomeAnotherProgram)
                break;
        }
        ::close(channel[0]);
    }
    ~Holder()
    {
        if (pid > 0 && ::kill(pid, SIGKILL) == 0)
            ::waitpid(pid, nullptr, 0);
    }
};

} // namespace

TEST(PreviousInstance, IsSeenWhileAnotherProcessHoldsTheLockAndEndsWithIt)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    for (bool inRuntimeDir : {true, false}) {
        SCOPED_TRACE(inRuntimeDir ? "in $XDG_RUNTIME_DIR" : "in /tmp");
        const QString name = uniqueName(inRuntimeDir ? "run" : "tmp");
        const QString file = inRuntimeDir ? QString::fromLocal8Bit(runtime) + "/" + name + ".lock"
                                          : QStringLiteral("/tmp/%1-%2.lock").arg(name).arg(::geteuid());
        if (!inRuntimeDir)
            qunsetenv("XDG_RUNTIME_DIR");
        {
            Holder other(name);
            ASSERT_EQ(other.answer, 'h');
            EXPECT_TRUE(QFile::exists(file));
            EXPECT_TRUE(previousInstance(name));
            EXPECT_TRUE(previousInstance(name));
        }   // the kernel releases the lock of a killed process
        EXPECT_FALSE(previousInstance(name));
        EXPECT_FALSE(previousInstance(name));   // asking again is not a second instance
        qputenv("XDG_RUNTIME_DIR", runtime);
        if (!inRuntimeDir)
            QFile::remove(file);
    }
}

TEST(PreviousInstance, ProgramsStartedByTheHolderDoNotKeepTheLock)
{
    const QString name = uniqueName("exec");
    Holder holder(name, true);
    ASSERT_EQ(holder.answer, 'h');
    // The exec closes the lock's descriptor; the kernel lets go of the lock
    // when the exec completes.
    QElapsedTimer waited;
    waited.start();
    bool previous = true;
    while ((previous = previousInstance(name)) && waited.elapsed() < 5000)
        QThread::msleep(1);
    EXPECT_FALSE(previous);
    EXPECT_EQ(::kill(holder.pid, 0), 0) << "the program it became should still run";
}

TEST(FatalError, ShowsTheGenericReportUnderTheProgramsTitleThenEndsWithExitCode1)
{
    const automation::Error error{53, "File not found", "Velmora"};
    EXPECT_EXIT(
        {
            setMessageBoxHandler([](const MessageRequest& r) {
                std::fprintf(stderr, "BOX[%s|%d|%d]%s\n", qPrintable(r.title), int(r.icon), int(r.buttons),
                             qPrintable(QString(r.text).replace('\n', '/')));
                return Answer::Ok;
            });
            fatalError(error);
        },
        ::testing::ExitedWithCode(1), "BOX\\[Host Program\\|2\\|0\\]Run-time error '53'://File not found");
}
