// The panel's session-bus interface, called by a client on a connection of its own.
#include "panel.h"

#include <QAbstractButton>
#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QTest>

#include "panelbus.h"

using namespace paneltest;
using velmora::PanelBus;

static QDBusConnection client() {
    return QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"),
                                         "velmora-test-client");
}

// The call's error as "<last part of its name>: <message>", "" when it succeeded.
static QString callPanel(const QString &method, const QVariantList &args = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(
        PanelBus::Service, PanelBus::Path, PanelBus::Service, method);
    m.setArguments(args);
    const QDBusPendingCall pending = client().asyncCall(m);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }));
    QCoreApplication::processEvents(); // the signals sent before the reply
    return pending.isError()
               ? pending.error().name().section('.', -1) + ": " + pending.error().message()
               : QString();
}

// After the actions (see PanelTest::step), the panel on the bus; then each call's reply and what is
// seen then.
TEST_F(PanelTest, BusMethodsDoWhatTheirControlsDoAndNeverAsk) {
    const struct {
        QString before;
        const char *method;
        QVariantList args;
        const char *shown;
        const char *seen;
    } cases[] = {
        // The words of the clicks (see the scenarios), and no balloon for the program's own
        // switching; velmoractl's test has more.
        {"load +150", "PowerOn", {}, "", " | OFF - 1 0*2 / ON warming / ON ready"},
        {"key load +150", "PowerOff", {}, "", " | ON warming 1 0*3 / OFF - / OFF -"},
        {"load +150", "SetStandby", {true}, "JdVikl", " | OFF - 4 / OFF - 0 / OFF -"},
        {"load +150", "SetStandby", {false}, "JdVkl", " | OFF - 3 / OFF - 0 / OFF -"},
        {"load +150", "SelectInput", {2}, "Kom2", " | OFF - 6 0 6 0 5 0 / OFF - / OFF -"},
        // Refused: nothing sent, nothing asked.
        {"key load +150",
         "PowerOn",
         {},
         "",
         "AlreadyOn: the amplifier on COM1 is on already | ON warming / ON warming / ON ready"},
        {"load +150",
         "SelectInput",
         {4},
         "",
         "InvalidArgument: there is no input 4: the inputs are 1, 2 and 3 | OFF - / OFF - / OFF -"},
        {"unplug load +150",
         "SetStandby",
         {true},
         "",
         "PortClosed: COM1 is not open (COM1: no such device: the simulated amplifier \"default\" "
         "is unplugged) | OFF - / OFF - / OFF - tip-failed"},
        // Unplugged under the open port: the first word fails, and the series ends there.
        {"load +150 unplug",
         "SelectInput",
         {2},
         "",
         "SendFailed: not every word was sent: COM1: the simulated amplifier \"default\" "
         "is no longer available (unplugged) | OFF - / OFF - / OFF -"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.before.toStdString() + " " + c.method);
        SetUp();
        for (const QString &a : c.before.split(' '))
            step(a);
        const auto bus = PanelBus::offer(&panel->panel());
        ASSERT_TRUE(bus);
        QString seen = callPanel(c.method, c.args);
        seen += " | " + step("+0");
        seen += " / " + step("+150");
        EXPECT_EQ((seen + " / " + step("+49000")).toStdString(), c.seen);
        if (*c.shown) {
            EXPECT_TRUE(panel->findChild<QAbstractButton *>(c.shown)->isChecked())
                << "shown as if clicked";
        }
        TearDown();
    }
}

// Only a message box's loop lets a call in while a handler runs; the name stays with the first
// panel until its main window goes.
TEST_F(PanelTest, BusCallsDuringAQuestionAreRefusedAndASecondPanelDoesNotTakeTheName) {
    run({{"key", "gone"}, {"load", "- ready icon"}, {"+150", "ON warming tip-on 0"}});
    const auto bus = PanelBus::offer(&panel->panel());
    ASSERT_TRUE(bus);
    QString reply;
    windowing::setMessageBoxHandler(
        [&](const windowing::MessageRequest &r) { // No to the first question, Yes to the next
            return boxes.push_back(r),
                   reply = callPanel("PowerOff"),
                   boxes.size() > 1 ? windowing::Answer::Yes : windowing::Answer::No;
        });
    EXPECT_EQ(step("Vikl").toStdString(), "ON warming ask-off");
    EXPECT_EQ(reply.toStdString(),
              "Busy: the panel is busy: it waits for an answer to a question of its own");

    auto *second = new velmora::Velmora;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(PanelBus::offer(&second->panel()), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "velmora: org.velmora.Panel is taken on the session bus; running without it\n");
    delete second;
    EXPECT_EQ(callPanel("SelectInput", {1}).toStdString(), "");
    EXPECT_EQ(step("+0").toStdString(), "ON warming 6 0 6 0");
    step("Nastr1");
    EXPECT_EQ(step("Exit:yes").toStdString(), "gone Nastr noicon ask-exit");
    EXPECT_EQ(callPanel("SelectInput", {1}).toStdString(), "Closing: the panel is closing")
        << "the name kept, the settings window open";
}

// The property's value as the client reads it.
static QString property(const char *name) {
    QDBusMessage m = QDBusMessage::createMethodCall(
        PanelBus::Service, PanelBus::Path, "org.freedesktop.DBus.Properties", "Get");
    m << PanelBus::Service << QString::fromLatin1(name);
    const QDBusPendingReply<QDBusVariant> reply = client().asyncCall(m);
    EXPECT_TRUE(QTest::qWaitFor([&] { return reply.isFinished(); }));
    return reply.isError() ? reply.error().message() : reply.value().variant().toString();
}

// Automatic power-off on the way out.
static const QString AutoOff = QStringLiteral("file: 0 \r\n 0 \r\n 1 \r\n-1 \r\n");

// Runs the steps; the panel is offered on the bus right after "load".
static std::unique_ptr<PanelBus> offeredAfter(PanelTest &test, const QStringList &steps) {
    std::unique_ptr<PanelBus> bus;
    for (const QString &a : steps) {
        test.step(a);
        if (a == "load")
            bus = PanelBus::offer(&test.panel->panel());
    }
    return bus;
}

struct EndCase {
    const char *name;
    QStringList before;
    const char *method;
    QString seen; // the reply's error ("" when it succeeded) | what is seen after it
};

static void PrintTo(const EndCase &c, std::ostream *os) {
    *os << c.name;
}

class BusEndTest : public PanelTest, public ::testing::WithParamInterface<EndCase> {};

// Show, Quit and the calls after "Выход".
TEST_P(BusEndTest, Call) {
    const auto bus = offeredAfter(*this, GetParam().before);
    ASSERT_TRUE(bus) << "offered after the load step";
    const QString reply = callPanel(GetParam().method);
    EXPECT_EQ((reply + " | " + step("+0")).toStdString(), GetParam().seen.toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    ShowAndQuit, BusEndTest,
    ::testing::Values(
        EndCase{"ShowBringsTheHiddenWindowBack", {"load", "Scrit"}, "Show", " | - -"},
        EndCase{"QuitWithoutTheAutomaticPowerOff", {"load", "+150"}, "Quit", " | gone noicon"},
        EndCase{"QuitPowersOffAsTheSettingsSay",
                {AutoOff, "key", "load", "+150", "stubborn"},
                "Quit",
                " | gone noicon 1 0*3 1 0*3 1 0*3 1 0*3 1 0*3"},
        EndCase{"QuitRefusedWhenThePowerOffCannotBeSent",
                {AutoOff, "unplug", "load", "+150"},
                "Quit",
                "PortClosed: COM1 is not open (COM1: no such device: the simulated amplifier "
                "\"default\" is unplugged) | OFF -"},
        EndCase{"EveryCallAfterExitIsClosing",
                {"load", "Nastr1", "Exit:yes"},
                "Show",
                "Closing: the panel is closing | gone Nastr"}),
    [](const auto &info) { return std::string(info.param.name); });

struct ProblemCase {
    const char *name;
    QStringList before;
    QString problem;
};

static void PrintTo(const ProblemCase &c, std::ostream *os) {
    *os << c.name;
}

class PortProblemTest : public PanelTest, public ::testing::WithParamInterface<ProblemCase> {};

TEST_P(PortProblemTest, NamesTheLastFailure) {
    const auto bus = offeredAfter(*this, GetParam().before);
    ASSERT_TRUE(bus) << "offered after the load step";
    EXPECT_EQ(property("PortProblem").toStdString(), GetParam().problem.toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    PortProblem, PortProblemTest,
    ::testing::Values(
        ProblemCase{"NoneWhenAllIsWell", {"load", "+150", "Kom1"}, ""},
        ProblemCase{"DeviceMissingAtTheStart",
                    {"unplug", "load", "+150"},
                    "COM1: no such device: the simulated amplifier \"default\" is unplugged"},
        ProblemCase{"DeviceRemovedUnderTheOpenPort",
                    {"load", "+150", "unplug", "Kom1"},
                    "COM1: the simulated amplifier \"default\" is no longer available (unplugged)"},
        ProblemCase{
            "GoneOnceTheWatchdogReopensThePort", {"unplug", "load", "+150", "replug", "+5000"}, ""},
        ProblemCase{"PortNumberOutOfRangeInTheSettings",
                    {"file: 20 \r\n 0 \r\n 0 \r\n-1 \r\n", "load", "+5000"},
                    "Invalid port number 21 (1 to 16)"}),
    [](const auto &info) { return std::string(info.param.name); });
