// The panel against the simulated amplifier (or the doubles), on the test
// clock, told as steps and what is seen after each (see panel.h).
#include "panel.h"

#include <QAction>
#include <QRegularExpression>
#include <QTimer>

#include "dispids.h"
#include "nastr.h"
#include "program.h"
#include "shell/testing.h"
#include "windowing/handles.h"

using namespace paneltest;
using Steps = std::vector<std::pair<QString, QString>>;

const QString Off = QStringLiteral(" 0 \r\n 0 \r\n 0 \r\n-1 \r\n"),
              AutoOn = QStringLiteral(" 0 \r\n 1 \r\n 0 \r\n 0 \r\n");
const QString AutoOff = QStringLiteral(" 0 \r\n 0 \r\n 1 \r\n-1 \r\n"),
              Com2 = QStringLiteral(" 1 \r\n 0 \r\n 0 \r\n-1 \r\n");

static QString times(const QString &s, int n) {
    return QStringList(n, s).join(QLatin1Char(' '));
}

TEST_F(PanelTest, Scenarios) {
    const std::pair<const char *, Steps> scenarios[] = {
        {"started off, the first poll shows it and announces it once; an amplifier that is off is "
         "not pressed on the way out",
         {{"load", "- - icon"},
          {"+150", "OFF - tip-off 0"},
          {"+60000", "OFF -"},
          {"file:" + AutoOff, "OFF -"},
          {"Exit:yes", "gone noicon ask-exit"}}},
        {"started on, it warms up until 49 s after the load",
         {{"key", "gone"},
          {"load", "- ready icon"},
          {"+150", "ON warming tip-on 0"},
          {"+48849", "ON warming"},
          {"+1", "ON ready"},
          {"+60000", "ON ready"},
          {"key", "ON ready"},
          {"+150", "OFF - tip-off"},
          {"key", "OFF -"},
          // On again by its own key: no second warm-up, no tip; without automatic power-off it
          // stays on.
          {"+150", "ON -"},
          {"+60000", "ON -"},
          {"Exit:yes", "gone noicon ask-exit"}}},
        {"switching by the buttons is not announced",
         {{"load", "- - icon"},
          {"+1000", "OFF - tip-off 0"},
          {"Vkl", "OFF - 1 0*2"},
          {"+150", "ON warming"},
          {"+48849", "ON warming"},
          {"+1", "ON ready"},
          {"Vikl:yes", "ON ready 1 0*3 ask-off"},
          {"+150", "OFF -"}}},
        {"a switch off asked about is not announced unless a switch on came between",
         {{"key", "gone"},
          {"load", "- ready icon"},
          {"+150", "ON warming tip-on 0"},
          {"Vikl:no", "ON warming ask-off"},
          {"key", "ON warming"},
          {"+150", "OFF -"},
          {"key", "OFF -"},
          {"+150", "ON warming tip-on"},
          {"key", "ON warming"},
          {"+150", "OFF - tip-off"}}},
        {"the inputs, standby (two clicks within 150 ms share one delayed word) and at most five "
         "power-off attempts on the way out",
         {{"file:" + AutoOff, "gone"},
          {"key", "gone"},
          {"load", "- ready icon"},
          {"+150", "ON warming tip-on 0"},
          {"Kom1", "ON warming 6 0 6 0"},
          {"Kom2", "ON warming 6 0 6 0 5 0"},
          {"Kom3", "ON warming 6 0 6 0 5 0 5 0"},
          {"JdVikl", "ON warming 4"},
          {"+149", "ON warming"},
          {"+1", "ON warming 0"},
          {"JdVkl", "ON warming 3"},
          {"+100", "ON warming"},
          {"JdVkl", "ON warming 3"},
          {"+50", "ON warming 0"},
          {"+1000", "ON warming"},
          {"Exit:no", "ON warming ask-exit"},
          {"stubborn", "ON warming"},
          {"Exit:yes", "gone noicon " + times("1 0*3", 5) + " ask-exit"}}},
        {"automatic power-on",
         {{"file:" + AutoOn, "gone"}, {"load", "- ready icon 1 0*2"}, {"+10000", "ON warming 0"}}},
        {"automatic power-on leaves an amplifier that is on alone",
         {{"file:" + AutoOn, "gone"},
          {"key", "gone"},
          {"load", "- ready icon"},
          {"+150", "ON warming 0"},
          {"+48849", "ON warming"},
          {"+1", "ON ready"}}},
        {"a carrier that rises after the automatic power-on gave up: no failure notice",
         {{"file:" + AutoOn, "gone"},
          {"map:COM1 = sim?delay=500", "gone"},
          {"load", "- - icon " + times("1 0*2", 11)},
          {"+500", "OFF - tip-off 0"},
          {"+1500", "ON warming tip-on"}}},
        {"a failed automatic power-on is noticed 2 s after the start",
         {{"file:" + AutoOn, "gone"},
          {"map:COM1 = sim?delay=100000", "gone"},
          {"load", "- - icon " + times("1 0*2", 11)},
          {"+1999", "OFF - tip-off 0"},
          {"+1", "OFF - tip-failed"},
          {"+60000", "OFF -"}}},
        // The load error path: no icon, the notice all the same, every word asks about the port, no
        // power-off on the way out.
        {"with the port closed",
         {{"file: 0 \r\n 1 \r\n 1 \r\n 0 \r\n", "gone"},
          {"unplug", "gone"},
          {"load", "- -"},
          {"+150", "OFF - tip-off ask-port"},
          {"+1849", "OFF -"},
          {"+1", "OFF - tip-failed"},
          {"Kom1", "OFF - ask-port*4"},
          {"Vkl", "OFF - ask-port*33"},
          {"JdVikl", "OFF - ask-port"},
          {"+150", "OFF - ask-port"},
          {"Kom2:yes", "OFF - Nastr ask-port*6"},
          {"+60000", "OFF - Nastr"},
          {"Exit:yes", "gone Nastr noicon ask-exit"}}},
        {"the watchdog moves the port to the chosen number",
         {{"file:" + Com2, "gone"},
          {"load", "- - icon"},
          {"+4999", "OFF - tip-off 0"},
          {"Kom1", "OFF - 6 0 6 0"},
          {"+1", "OFF -"},
          {"Kom1", "OFF - com2:6 com2:0 com2:6 com2:0"}}},
        // The port still counts as open after a failed move: the tick neither asks nor opens it
        // again.
        {"a move to a port that does not open is retried only with a speed chosen",
         {{"file:" + Com2, "gone"},
          {"unplug:com2", "gone"},
          {"load", "- - icon"},
          {"+5000", "OFF - tip-off 0"},
          {"Kom1", "OFF - ask-port*4"},
          {"replug:com2", "OFF -"},
          {"+5000", "OFF -"},
          {"Kom1", "OFF - ask-port*4"},
          {"file: 1 \r\n 0 \r\n 0 \r\n 1 \r\n", "OFF -"},
          {"+5000", "OFF -"},
          {"Kom1", "OFF - com2:6 com2:0 com2:6 com2:0"}}},
        {"a port that comes back is opened again, also when unplugged under the open port",
         {{"unplug", "gone"},
          {"load", "- -"},
          {"+1999", "OFF - tip-off ask-port"},
          {"+1", "OFF - tip-failed"},
          {"replug", "OFF -"},
          {"+3000", "OFF -"},
          {"Kom1", "OFF - 6 0 6 0"},
          {"unplug", "OFF -"},
          {"Kom1", "OFF - ask-port*4"},
          {"+5000", "OFF -"},
          {"replug", "OFF -"},
          {"+5000", "OFF -"},
          {"Kom1", "OFF - 6 0 6 0"}}},
        {"a port held by another program is asked about, and opened at the first tick after it is "
         "let go, whatever the speed",
         {{"file:" + Off, "gone"},
          {"hold", "gone"},
          {"load", "- -"},
          {"+2000", "OFF - tip-off tip-failed ask-port"},
          {"Kom1", "OFF - ask-port*4"},
          {"release", "OFF -"},
          {"+2999", "OFF -"},
          {"Kom1", "OFF - ask-port*4"},
          {"+1", "OFF -"},
          {"Kom1", "OFF -"}}},
        // A word's line requests in order; a refused open request before the move: the port counts
        // as closed and stays on its number.
        {"the watchdog on a serial port that refuses an open while open",
         {{"registry:double", "gone"},
          {"file: 0 \r\n 0 \r\n 0 \r\n 2 \r\n", "gone"},
          {"load", "- - 300 open icon"},
          {"+5000", "OFF - 00000000out tip-off close 2400 open"},
          {"JdVikl", "OFF - 00010000out"},
          {"+5000", "OFF - 00000000out close 2400 open"},
          {"file:" + Off, "OFF -"},
          {"+10000", "OFF -"},
          {"file:" + Com2, "OFF -"},
          {"+5000", "OFF - open!"},
          {"+10000", "OFF - open!*2"}}},
        {"hidden behind the icon (only while a tray shows it) and brought back by a left double "
         "click",
         {{"host:off", "gone"},
          {"load", "- - icon"},
          {"Scrit", "- -"},
          {"host:on", "- -"},
          {"Scrit", "- - hidden icon"},
          {"host:off", "- -"},
          {"dblclick:1", "- -"},
          {"Scrit", "- -"},
          {"host:on", "- -"},
          {"Scrit", "- - hidden icon"},
          {"dblclick:3", "- - hidden"},
          {"dblclick:2", "- - hidden"},
          {"dblclick:1", "- -"},
          {"Scrit", "- - hidden icon"},
          {"About1", "- - hidden About"},
          {"About1", "- - hidden About"}}},
    };
    for (const auto &[name, steps] : scenarios) {
        SCOPED_TRACE(name);
        SetUp();
        run(steps);
        TearDown();
    }
}

TEST_F(PanelTest, TheProgramLivesUntilItsLastWindowIsUnloaded) {
    bool endedWithTheDialogOpen = true;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, scope_.get(), [&] {
        endedWithTheDialogOpen = window<velmora::Nastr>() != nullptr;
    });
    QTimer::singleShot(0, qApp, [&] {
        panel = window<velmora::Velmora>();
        ASSERT_TRUE(panel && panel->isVisible())
            << "shown although the load step asked the icon to hide it";
        EXPECT_EQ(step("Nastr1").toStdString(), "- - Nastr icon");
        EXPECT_EQ(step("Exit:yes").toStdString(), "gone Nastr noicon ask-exit");
        QTimer::singleShot(0, qApp, [] { window<velmora::Nastr>()->close(); });
    });
    EXPECT_EQ(velmora::runProgram(*qApp), 0);
    EXPECT_FALSE(endedWithTheDialogOpen);
}

TEST_F(PanelTest, WithoutTheIconAndBalloonControlsThePanelWorksAndSaysSoOnce) {
    ::testing::internal::CaptureStderr();
    run({{"registry:comm", "gone"},
         {"key", "gone"},
         {"load", "- ready"},
         {"+150", "ON warming 0"},
         {"Vikl:yes", "ON warming 1 0*3 ask-off"},
         {"+150", "OFF -"},
         {"Scrit", "OFF -"}});
    EXPECT_FALSE(panel->findChild<QAction *>("Scrit")->isEnabled())
        << "nothing would bring a hidden window back";
    EXPECT_EQ(step("Exit:yes").toStdString(), "gone ask-exit");
    const QString said = QString::fromStdString(::testing::internal::GetCapturedStderr());
    EXPECT_EQ(said.count(QStringLiteral("velmora: ")), 2) << said.toStdString();
    EXPECT_TRUE(said.contains(
        QRegularExpression("velmora: Tray \\(lumora.Lumorel\\) is not available.*\nvelmora: "
                           "Balloon \\(pellago.Pellagon\\) is not")))
        << said.toStdString();
}

TEST_F(PanelTest, TheIconsErrorsAreOnlyNoted) {
    using automation::Variant;
    step("load");
    ::testing::internal::CaptureStderr();
    raiseTrayEvent(velmora::tray::ErrorEvent,
                   {Variant(std::int32_t(481)),
                    Variant(QStringLiteral("Недопустимый рисунок")),
                    Variant(QStringLiteral("lumora.AddToTray"))});
    EXPECT_EQ(step("+150").toStdString(), "OFF - tip-off 0");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "velmora: Tray: error 481: Недопустимый рисунок [lumora.AddToTray]\n");
}

// The real icon control: double clicks on its icon while "Выход" asks, one
// taken by the box's own loop, one still queued when Yes unloads the window.
TEST_F(PanelTest, DoubleClicksOnTheIconDuringTheExitQuestionAnsweredYesEndNothingBadly) {
    qputenv("VELMORA_SHELL_TRACE", "shell.trace"); // in the test's working folder
    run({{"registry:lumora", "gone"}, {"load", "- -"}, {"Scrit", "- - hidden"}});
    const windowing::WindowHandle icon =
        windowing::messageWindowOf(panel->findChild<QWidget *>(QStringLiteral("Lumorel")));
    const auto doubleClick = [icon] {
        for (const int message : {513, 514, 515, 514})
            EXPECT_TRUE(windowing::postMouseMessage(icon, {message}));
    };
    bool shownInTheBox = false;
    windowing::setMessageBoxHandler([&](const windowing::MessageRequest &r) {
        boxes.push_back(r);
        doubleClick();
        QCoreApplication::processEvents();
        shownInTheBox = panel->isVisible();
        doubleClick();
        return windowing::Answer::Yes;
    });
    EXPECT_EQ(step("Exit").toStdString(), "gone ask-exit");
    QCoreApplication::processEvents();
    EXPECT_TRUE(shownInTheBox);
    EXPECT_EQ(QString(shell::testing::takeTrace()).remove(QRegularExpression(" [^\n]*")),
              "add\nadd\ndelete");
    qunsetenv("VELMORA_SHELL_TRACE");
}
