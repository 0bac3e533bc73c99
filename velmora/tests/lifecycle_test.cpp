// Start, second instance, hiding and restoring, exit, when the program ends,
// and running without the icon and balloon controls.
#include "panel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QWindow>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryFile>
#include <QTimer>

#include <unistd.h>

#include "about.h"
#include "dispids.h"
#include "forms.h"
#include "nastr.h"
#include "program.h"

using namespace paneltest;

namespace {

constexpr automation::DispId RaiseDoubleClick = 0x7003;
const QString AskExit = QStringLiteral("Вы действительно хотите выйти из программы?");

velmora::Velmora* mainWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* v = qobject_cast<velmora::Velmora*>(w))
            return v;
    return nullptr;
}

void trigger(QWidget* w, const char* action) { w->findChild<QAction*>(action)->trigger(); }

void doubleClick(velmora::Velmora& p, std::int32_t button)
{
    ASSERT_TRUE(p.Tray.control()->call(RaiseDoubleClick, {automation::Variant(button)}).ok());
}

// Closes a window as the window system does when its close button is pressed.
void closeByTitleBar(QWidget* w)
{
    ASSERT_NE(w, nullptr);
    ASSERT_NE(w->windowHandle(), nullptr);
    QCloseEvent ev;
    QCoreApplication::sendEvent(w->windowHandle(), &ev);
}

// Runs the program as main() does, with `script` started from its event loop.
// Returns the exit code, or -1 when the program did not end within 10 s.
int runProgram(std::function<void()> script)
{
    bool hung = false;
    QTimer::singleShot(0, qApp, std::move(script));
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        hung = true;
        qApp->quit();
    });
    guard.start(10000);
    const int code = velmora::runProgram(*qApp);
    return hung ? -1 : code;
}

// Runs `step` after the event loop had `ms` to do whatever it would do.
void later(int ms, std::function<void()> step) { QTimer::singleShot(ms, qApp, std::move(step)); }

using LifecycleTest = PanelTest;

} // namespace

TEST_F(LifecycleTest, TheProgramOutlivesItsMainWindowWhileTheSettingsDialogIsOpen)
{
    QPointer<velmora::Nastr> dialog;
    bool stillRunning = false;
    const int code = runProgram([&] {
        velmora::Velmora* v = mainWindow();
        trigger(v, "Nastr1");
        dialog = v->settingsWindow();
        answers = {windowing::Answer::Yes};
        trigger(v, "Exit");
        later(200, [&] {
            EXPECT_EQ(mainWindow(), nullptr) << "the main window is unloaded";
            ASSERT_FALSE(dialog.isNull());
            stillRunning = true;
            dialog->close();
        });
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(stillRunning) << "the program ended while the dialog was open";
    EXPECT_TRUE(dialog.isNull());
}

TEST_F(LifecycleTest, ShownAfterLoadAndHidingOrClosingWindowsNeverEndsTheProgram)
{
    bool stillRunning = false;
    const int code = runProgram([&] {
        velmora::Velmora* v = mainWindow();
        ASSERT_NE(v, nullptr);
        const QStringList tray = calls(v->Tray);
        ASSERT_EQ(tray.size(), 1);
        EXPECT_TRUE(tray[0].startsWith(QLatin1String("AddToTray(picture:I4:"))) << tray[0].toStdString();
        EXPECT_FALSE(tray[0].startsWith(QLatin1String("AddToTray(picture:I4:0,")));
        EXPECT_TRUE(tray[0].endsWith(QStringLiteral(", \"Усилитель \"Вельмора\"  - Version 1.1\", True)")));
        EXPECT_TRUE(v->isVisible()) << "shown although the load step asked the icon to hide it";

        trigger(v, "Scrit");
        EXPECT_FALSE(v->isVisible());
        trigger(v, "Scrit");
        EXPECT_FALSE(v->isVisible());

        trigger(v, "About1");
        velmora::About* about = v->aboutWindow();
        trigger(v, "About1");
        EXPECT_EQ(v->aboutWindow(), about) << "one About window";
        EXPECT_EQ(about->windowTitle(), QStringLiteral("О программе"));
        about->findChild<QPushButton*>("Command1")->click();
        trigger(v, "About1");
        closeByTitleBar(v->aboutWindow());
        trigger(v, "Nastr1");
        v->settingsWindow()->findChild<QComboBox*>("COM")->setCurrentIndex(2);
        closeByTitleBar(v->settingsWindow());   // no save
        answers = {windowing::Answer::No};
        trigger(v, "Exit");
        EXPECT_EQ(boxes.back().text, AskExit);
        EXPECT_EQ(boxes.back().defaultButton, windowing::Answer::No);

        later(200, [&, v] {
            EXPECT_EQ(v->aboutWindow(), nullptr);
            EXPECT_EQ(v->settingsWindow(), nullptr);
            EXPECT_EQ(settingsFileBytes(), QByteArray(" 0 \r\n 0 \r\n 0 \r\n 0 \r\n"));
            doubleClick(*v, velmora::tray::RightButton);
            doubleClick(*v, velmora::tray::MiddleButton);
            EXPECT_FALSE(v->isVisible());
            doubleClick(*v, velmora::tray::LeftButton);
            EXPECT_TRUE(v->isVisible());
            EXPECT_EQ(calls(v->Tray).filter(QLatin1String("AddToTray")).size(), 3);
            stillRunning = true;
            answers = {windowing::Answer::Yes};
            trigger(v, "Exit");
        });
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(stillRunning);
}

TEST_F(LifecycleTest, ExitWithAutomaticPowerOff)
{
    writeSettingsFile(" 0 \r\n 0 \r\n 1 \r\n-1 \r\n");
    amp().pressPowerKey();
    auto& p = start();
    clearCalls(p.Tray);

    answers = {windowing::Answer::No};
    trigger(&p, "Exit");
    processDeletes();
    ASSERT_FALSE(panel.isNull());
    EXPECT_TRUE(words().isEmpty());
    EXPECT_TRUE(amp().powered());
    EXPECT_TRUE(calls(p.Tray).isEmpty());

    answers = {windowing::Answer::Yes};
    trigger(&p, "Exit");
    EXPECT_EQ(words(), (QStringList{"10000000", "00000000", "00000000", "00000000"}));
    EXPECT_FALSE(amp().powered());
    EXPECT_EQ(calls(p.Tray), QStringList{QStringLiteral("DeleteFromTray()")});
    EXPECT_TRUE(p.OffShown);
    processDeletes();
    EXPECT_TRUE(panel.isNull());
    EXPECT_FALSE(amp().portOpen()) << "the port goes with the serial-port control";

    // An amplifier that will not switch off gets five attempts of four words.
    amp().clearWords();
    load();
    amp().pressPowerKey();
    QObject::connect(&amp(), &comm::SimulatedAmplifier::changed, panel, [] {
        if (!amp().powered())
            amp().pressPowerKey();
    });
    clearCalls(panel->Tray);
    answers = {windowing::Answer::Yes};
    trigger(panel, "Exit");
    EXPECT_EQ(words().size(), 20);
    EXPECT_EQ(panel->Tries, 5);
    EXPECT_EQ(calls(panel->Tray), QStringList{QStringLiteral("DeleteFromTray()")});
    processDeletes();
    EXPECT_TRUE(panel.isNull());
}

TEST_F(LifecycleTest, ASecondInstanceEndsAtOnceWithoutTouchingTheSettings)
{
    auto& p = start();
    ASSERT_EQ(p.PortOk, -1);
    const QString exe = QString::fromLocal8Bit(qgetenv("VELMORA_EXE"));
    ASSERT_FALSE(exe.isEmpty());

    // Started where the icon and balloon controls are missing, it would
    // complain about them if it got as far as its first one did.
    QTemporaryDir second;
    QProcess child;
    QProcessEnvironment childEnv = QProcessEnvironment::systemEnvironment();
    childEnv.insert(QStringLiteral("VELMORA_REGISTRY"), commOnlyRegistry());
    child.setProcessEnvironment(childEnv);
    child.setWorkingDirectory(second.path());
    child.start(exe, {});
    ASSERT_TRUE(child.waitForFinished(20000)) << "the second instance kept running";
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
    const QByteArray said = child.readAllStandardError();
    EXPECT_FALSE(said.contains("velmora:")) << "it ends silently: " << said.toStdString();
    EXPECT_FALSE(QFileInfo::exists(second.filePath(QStringLiteral("nastr.dat"))));

    // The first one carries on as before.
    EXPECT_EQ(p.PortOk, -1);
    p.findChild<QAbstractButton*>("Kom1")->click();
    EXPECT_EQ(words().size(), 4);
    EXPECT_TRUE(boxes.empty());

    // The same program where no instance runs (a runtime folder of its own)
    // starts, writes its first settings file and keeps running.
    QTemporaryDir runtime;   // made 0700, as a runtime folder is
    QProcessEnvironment env = childEnv;
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    QProcess first;
    first.setProcessEnvironment(env);
    first.setWorkingDirectory(second.path());
    first.start(exe, {});
    EXPECT_FALSE(first.waitForFinished(1500));
    EXPECT_TRUE(QFileInfo::exists(second.filePath(QStringLiteral("nastr.dat"))));
    EXPECT_TRUE(first.readAllStandardError().contains("Tray (lumora.Lumorel)"));
    first.kill();
    first.waitForFinished(5000);
}

TEST_F(LifecycleTest, WithoutTheIconAndBalloonControlsThePanelWorks)
{
    qputenv("VELMORA_REGISTRY", QFile::encodeName(commOnlyRegistry()));
    amp().pressPowerKey();

    // Catch what goes to stderr while the panel runs.
    QTemporaryFile err;
    ASSERT_TRUE(err.open());
    const int saved = ::dup(2);
    ::dup2(err.handle(), 2);

    auto& p = load();
    advance(150);
    const bool loadOk = p.PortOk == -1;
    const QString label4 = p.findChild<QLabel*>("Label4")->text();
    const bool canHide = p.findChild<QAction*>("Scrit")->isEnabled();
    answers = {windowing::Answer::Yes};
    p.findChild<QAbstractButton*>("Vikl")->click();
    advance(60000);
    const bool off = !amp().powered();
    answers = {windowing::Answer::Yes};
    trigger(&p, "Exit");
    processDeletes();

    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    QFile written(err.fileName());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(written.readAll());

    EXPECT_TRUE(loadOk) << "AddToTray on a missing control is no error";
    EXPECT_EQ(label4, QStringLiteral("ВКЛЮЧЕН"));
    EXPECT_FALSE(canHide) << "nothing to restore a hidden window from";
    EXPECT_TRUE(off);
    EXPECT_TRUE(panel.isNull());
    EXPECT_EQ(log.count(QStringLiteral("Tray (lumora.Lumorel)")), 1) << log.toStdString();
    EXPECT_EQ(log.count(QStringLiteral("Balloon (pellago.Pellagon)")), 1) << log.toStdString();
    EXPECT_EQ(log.count(QStringLiteral("velmora: ")), 2) << "nothing more: " << log.toStdString();
}
