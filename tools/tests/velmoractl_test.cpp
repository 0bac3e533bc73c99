// velmoractl against the panel on the simulated amplifier, on the test's private session bus.
#include "panel.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include "panelbus.h"

using namespace paneltest;

static QProcess *velmoractl(const QString &args) {
    auto *p = new QProcess;
    p->start(qEnvironmentVariable("VELMORACTL"), args.split(' '));
    return p;
}

// Once it ended (the panel answering meanwhile): its exit status and output, without the times.
static QString ended(QProcess *p) {
    EXPECT_TRUE(QTest::qWaitFor([p] { return p->state() == QProcess::NotRunning; }));
    QString out = QString::number(p->exitCode()) + " " + p->readAllStandardOutput() +
                  p->readAllStandardError();
    delete p;
    return out.remove(QRegularExpression("[0-9-]{10} [0-9:]{8} "));
}

// Each step: a command of velmoractl (watch tells each change once) (its status, first line and
// then what the panel shows) or an action (see PanelTest::step).
TEST_F(PanelTest, VelmoractlCommandsAndTheirExitStatus) {
    EXPECT_EQ(ended(velmoractl("status")).toStdString(), "3 velmora is not running\n")
        << "before the panel runs";
    run({{"load", "- - icon"}});
    auto bus = velmora::PanelBus::offer(&panel->panel());
    ASSERT_TRUE(bus);
    QProcess *watch = velmoractl("watch");
    ASSERT_TRUE(QTest::qWaitFor([watch] { return watch->canReadLine(); }));
    const std::pair<QString, QString> steps[] = {
        {"+150", "OFF - tip-off 0"},
        {"status", "0 Powered: no  State: off  Port: COM1 (open) | OFF -"},
        {"off", "1 velmoractl: the amplifier on COM1 is off already | OFF -"},
        {"on", "0  | OFF - 1 0*2"},
        {"+1150", "ON warming"},
        {"status", "0 Powered: yes  State: warming up (48 s left)  Port: COM1 (open) | ON warming"},
        {"standby on", "0  | ON warming 4"},
        {"standby off", "0  | ON warming 3"},
        {"input 3", "0  | ON warming 6 0 6 0 5 0 5 0"},
        {"input 4", "2 Usage: velmoractl COMMAND | ON warming"},
        {"standby", "2 Usage: velmoractl COMMAND | ON warming"},
        {"--help", "0 Usage: velmoractl COMMAND | ON warming"},
        {"off", "0  | ON warming 1 0*3"},
        {"+150", "OFF - 0"},
        {"file: 1 \r\n 0 \r\n 0 \r\n-1 \r\n", "OFF -"},
        {"+5000", "OFF -"},
        {"Scrit:no", "OFF - hidden icon"},
        {"show", "0  | OFF -"},
        {"quit", "0  | gone noicon"},
        {"on", "3 velmora is closing | gone"}};
    for (const auto &[action, expected] : steps) {
        const bool command = !action.startsWith('+') && !action.contains(':');
        const QString said =
            command ? ended(velmoractl(action)).section('\n', 0, 0) + " | " : QString();
        EXPECT_EQ((said + step(action.startsWith('+') || !command ? action : "+0")).toStdString(),
                  expected.toStdString())
            << qPrintable(action);
    }
    bus.reset(); // the program ends
    EXPECT_TRUE(QTest::qWaitFor([watch] {
        return watch->peek(1000).endsWith("velmora is not running\n");
    })) << "watch tells the panel's end";
    watch->terminate();
    EXPECT_EQ(ended(watch).toStdString(),
              "15 Powered: no  State: off  Port: COM1 (open)\nPowered: yes\nState: warming up\n"
              "Warm-up: 49 s left\nWarm-up: 48 s left\nPowered: no\nState: off\n"
              "Warm-up: 0 s left\nPort: COM2\nvelmora is not running\n")
        << "each change once";
}

namespace {

// A session bus velmoractl cannot reach: its address in the environment, or
// none at all (and no display to start one for).
struct NoBus {
    const char *name;
    const char *address; // nullptr: unset
};

class VelmoractlWithoutBus : public ::testing::TestWithParam<NoBus> {};

} // namespace

TEST_P(VelmoractlWithoutBus, SaysThereIsNoSessionBusAndWhy) {
    QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    if (GetParam().address)
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QLatin1String(GetParam().address).arg(runtime.path()));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("VELMORACTL"), {QStringLiteral("status")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 3);
    const QString said = QString::fromLocal8Bit(p.readAllStandardError());
    const QString prefix = QStringLiteral("velmoractl: no session bus: ");
    EXPECT_TRUE(said.startsWith(prefix)) << said.toStdString();
    EXPECT_GT(said.trimmed().size(), prefix.size()) << "the reason is given";
}

INSTANTIATE_TEST_SUITE_P(Buses, VelmoractlWithoutBus,
                         ::testing::Values(NoBus{"noAddress", nullptr},
                                           NoBus{"deadSocket", "unix:path=%1/gone"}),
                         [](const auto &info) { return std::string(info.param.name); });
