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

namespace {

QDBusConnection client() {
    return QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"),
                                         "velmora-test-client");
}

// The call's error as "<last part of its name>: <message>", "" when it succeeded.
QString callPanel(const QString &method, const QVariantList &args = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(
        PanelBus::Service, PanelBus::Path, PanelBus::Service, method);
    m.setArguments(args);
    const QDBusPendingCall pending = client().asyncCall(m);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }))
        << "a reply to " << method.toStdString();
    QCoreApplication::processEvents(); // the signals sent before the reply
    return pending.isError()
               ? pending.error().name().section('.', -1) + ": " + pending.error().message()
               : QString();
}

class BusCall : public PanelTest, public ::testing::WithParamInterface<QStringList> {};

} // namespace

// A row of bus.txt: the panel goes on the bus and is called.
TEST_P(BusCall, DoesWhatItsControlDoesAndNeverAsks) {
    const QStringList &c = GetParam();
    const std::string name = c[0].toStdString();
    for (const QString &action : c[1].split(' '))
        step(action);
    const auto bus = PanelBus::offer(&panel->panel());
    ASSERT_TRUE(bus) << name << ": the name taken";
    const QString arg = c.value(2).section(' ', 1);
    const bool truth = arg == "true" || arg == "false";
    const QVariant value = truth ? QVariant(arg == "true") : QVariant(arg.toInt());
    const QVariantList args = arg.isEmpty() ? QVariantList() : QVariantList{value};
    EXPECT_EQ(callPanel(c.value(2).section(' ', 0, 0), args), c.value(3)) << name << ": the reply";
    QString seen = step("+0");
    seen += " / " + step("+150");
    seen += " / " + step("+49000");
    EXPECT_EQ(seen, c.value(4)) << name << ": seen then";
    if (!c.value(5).isEmpty()) {
        EXPECT_TRUE(panel->findChild<QAbstractButton *>(c.value(5))->isChecked())
            << name << ": " << c.value(5).toStdString() << " shown as if clicked";
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, BusCall, ::testing::ValuesIn(table("bus")), rowName);

// Only a message box's loop lets a call in while a handler runs; the name stays with the first
// panel, which refuses every call once "Выход" is confirmed.
TEST_F(PanelTest, BusCallsDuringAQuestionAreRefusedAndASecondPanelDoesNotTakeTheName) {
    run({{"key", "gone"}, {"load", "- ready icon"}, {"+150", "ON warming tip-on 0"}});
    const auto bus = PanelBus::offer(&panel->panel());
    ASSERT_TRUE(bus) << "the name taken";
    QString reply;
    windowing::setMessageBoxHandler([&](const windowing::MessageRequest &r) {
        boxes.push_back(r);
        reply = callPanel("PowerOff");
        return windowing::Answer::No;
    });
    EXPECT_EQ(step("Vikl").toStdString(), "ON warming ask-off") << "asked, answered No";
    EXPECT_EQ(reply.toStdString(),
              "Busy: the panel is busy: it waits for an answer to a question of its own");

    auto *second = new velmora::Velmora;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(PanelBus::offer(&second->panel()), nullptr) << "the second panel is refused";
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "velmora: org.velmora.Panel is taken on the session bus; running without it\n");
    delete second;
    EXPECT_EQ(callPanel("SelectInput", {1}).toStdString(), "") << "the first panel answers";
    EXPECT_EQ(step("+0").toStdString(), "ON warming 6 0 6 0") << "input 1's words";
    step("Nastr1");
    windowing::setMessageBoxHandler(
        [](const windowing::MessageRequest &) { return windowing::Answer::Yes; });
    EXPECT_EQ(step("Exit").toStdString(), "gone Nastr noicon") << "unloaded, settings open";
    EXPECT_EQ(callPanel("SelectInput", {1}).toStdString(), "Closing: the panel is closing")
        << "the name kept while the settings window is open, every call refused";
}

// A name another connection owns stays with it; the panel offers itself again once it is free.
TEST_F(PanelTest, ANameOwnedElsewhereIsLeftToItsOwner) {
    QDBusConnection other = client();
    ASSERT_TRUE(other.registerService(PanelBus::Service)) << "owned by the client";
    step("load");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(PanelBus::offer(&panel->panel()), nullptr) << "the panel is refused";
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "velmora: org.velmora.Panel is taken on the session bus; running without it\n");
    EXPECT_EQ(other.interface()->serviceOwner(PanelBus::Service).value(), other.baseService())
        << "the client keeps the name";
    other.unregisterService(PanelBus::Service);
    EXPECT_TRUE(PanelBus::offer(&panel->panel())) << "offered once the name is free";
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
                "\"default\" is unplugged) | OFF -"}),
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
