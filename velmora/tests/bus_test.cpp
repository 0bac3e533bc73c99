// The panel's session-bus interface, called by a client on a connection of its own.
#include "panel.h"

#include <QAbstractButton>
#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
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
    ASSERT_TRUE(PanelBus::offer(&panel->panel())) << name << ": the name taken";
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
// panel until its main window goes.
TEST_F(PanelTest, BusCallsDuringAQuestionAreRefusedAndASecondPanelDoesNotTakeTheName) {
    run({{"key", "gone"}, {"load", "- ready icon"}, {"+150", "ON warming tip-on 0"}});
    ASSERT_TRUE(PanelBus::offer(&panel->panel()));
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
    EXPECT_FALSE(client().interface()->isServiceRegistered(PanelBus::Service))
        << "given up with the main window, the settings window open";
}
