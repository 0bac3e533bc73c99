// The previous-instance lock, seen from other processes, and the fatal-error
// report.

#include "windowing/instance.h"
#include "windowing/messagebox.h"

#include <automation/error.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace windowing;

namespace {

QString uniqueName(const char* what)
{
    return QStringLiteral("velmora-test-%1-%2").arg(what).arg(::getpid());
}

// A child process (this binary in its helper mode) that asks for the lock and
// then stays alive; its first line says whether it found a previous instance.
struct Holder {
    QProcess process;
    QString answer;
    int spawnedPid = 0;

    explicit Holder(const QString& name, bool spawn = false)
    {
        QStringList args{"--hold-lock", name};
        if (spawn)
            args << "--spawn";
        process.start(QCoreApplication::applicationFilePath(), args);
        while (process.canReadLine() || process.waitForReadyRead(5000)) {
            const QString line = QString::fromLocal8Bit(process.readLine()).trimmed();
            if (line.startsWith("spawned "))
                spawnedPid = line.mid(8).toInt();
            else if (!line.isEmpty()) {
                answer = line;
                break;
            }
        }
    }
    void kill()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    ~Holder() { kill(); }
};

} // namespace

TEST(PreviousInstance, IsSeenWhileAnotherProcessHoldsTheLockAndEndsWithIt)
{
    const QString name = uniqueName("holder");
    {
        Holder first(name);
        ASSERT_EQ(first.answer, "holding");
        EXPECT_TRUE(QFile::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/" + name + ".lock"));
        EXPECT_TRUE(previousInstance(name));
        EXPECT_TRUE(previousInstance(name));
        first.kill();   // the kernel releases the lock of a killed process
    }
    EXPECT_FALSE(previousInstance(name));
    EXPECT_FALSE(previousInstance(name));   // asking again is not a second instance

    Holder second(name);
    EXPECT_EQ(second.answer, "previous");
}

TEST(PreviousInstance, ProgramsStartedByTheHolderDoNotKeepTheLock)
{
    const QString name = uniqueName("spawner");
    Holder holder(name, true);
    ASSERT_EQ(holder.answer, "holding");
    ASSERT_GT(holder.spawnedPid, 0);
    holder.kill();

    EXPECT_EQ(::kill(holder.spawnedPid, 0), 0) << "the spawned program should still run";
    EXPECT_FALSE(previousInstance(name));
    ::kill(holder.spawnedPid, SIGKILL);
}

TEST(PreviousInstance, FallsBackToAPerUserFileInTmp)
{
    const QString name = uniqueName("tmp");
    const QString path = QStringLiteral("/tmp/%1-%2.lock").arg(name).arg(::geteuid());
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_FALSE(previousInstance(name));
    EXPECT_TRUE(QFile::exists(path));
    {
        Holder other(name);   // inherits the environment without XDG_RUNTIME_DIR
        EXPECT_EQ(other.answer, "previous");
    }
    qputenv("XDG_RUNTIME_DIR", saved);
    QFile::remove(path);
}

namespace {

// Writes what a box shows to stderr in one line, for the death tests to match.
void reportBoxesOnStderr()
{
    setMessageBoxHandler([](const MessageRequest& r) {
        QString text = r.text;
        text.replace('\n', '/');
        std::fprintf(stderr, "BOX[%s|%s|%s]%s\n", qPrintable(r.title),
                     r.icon == Icon::Error ? "error" : "other",
                     r.buttons == Buttons::Ok ? "ok" : "other", qPrintable(text));
        return Answer::Ok;
    });
}

} // namespace

TEST(FatalError, ShowsTheGenericReportThenEndsWithExitCode1)
{
    EXPECT_EXIT(
        {
            reportBoxesOnStderr();
            fatalError(automation::Error{53, "File not found", "Velmora"});
        },
        ::testing::ExitedWithCode(1), "BOX\\[Velmora\\|error\\|ok\\]Run-time error '53'://File not found");
}

TEST(FatalError, AHandlerReplacesTheReportButNotTheEnd)
{
    automation::Error seen;
    setFatalErrorHandler([&](const automation::Error& e) {
        seen = e;
        throw e;
    });
    const automation::Error error{13, "Type mismatch", "Velmora"};
    EXPECT_THROW(fatalError(error), automation::Error);
    EXPECT_EQ(seen, error);

    EXPECT_EXIT(
        {
            reportBoxesOnStderr();
            setFatalErrorHandler([](const automation::Error&) { std::fprintf(stderr, "handled\n"); });
            fatalError(error);
        },
        ::testing::ExitedWithCode(1), "^handled\n$");
    setFatalErrorHandler({});
}
