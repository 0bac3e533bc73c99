// ctlhost driving the serial-port control on the simulated amplifier with the
// example power-on script.
#include "tools_test_support.h"

using namespace toolstest;

namespace {

// A sandbox with the serial-port control registered and COM1 mapped to the
// simulated amplifier, with `options` (e.g. "?delay=1000") and a line trace.
class CommSandbox : public Sandbox {
public:
    explicit CommSandbox(const QString& options = {})
    {
        QFile f(config());
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("COM1 = sim%1\ntrace = %2\n").arg(options, trace()).toUtf8());
        f.close();
        extra.emplace_back(QStringLiteral("VELMORA_COMM_CONFIG"), config());
        const Outcome r = regsvr({envPath("COMM_LIB")});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
    }
    QString config() const { return path("work") + QStringLiteral("/comm.conf"); }
    QString trace() const { return path("work") + QStringLiteral("/lines.vcd"); }
};

QByteArray example()
{
    QFile f(envPath("CTLHOST_EXAMPLES") + QStringLiteral("/poweron.ctl"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(CtlhostComm, ThePowerOnExampleSwitchesTheSimulatedAmplifierOn)
{
    CommSandbox box;
    const Outcome r = box.ctlhost({}, {envPath("CTLHOST_EXAMPLES") + QStringLiteral("/poweron.ctl")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("COM1 is open; carrier detect before the power key:\n"
                                    "comm.CDHolding = Bool:False\n"
                                    "Pressing and releasing the power key.\n"
                                    "Carrier detect now:\n"
                                    "comm.CDHolding = Bool:True\n"));

    // The lines carried what the script clocked: DTR rose once at the open
    // and once per element of the two words.
    QFile vcd(box.trace());
    ASSERT_TRUE(vcd.open(QIODevice::ReadOnly));
    const QList<QByteArray> changes = vcd.readAll().split('\n');
    EXPECT_EQ(changes.count(QByteArray("1\"")), 17);
}

TEST(CtlhostComm, TheManualClockTimesTheCarrierDelay)
{
    CommSandbox box(QStringLiteral("?delay=1000"));
    QByteArray script = example();
    const QByteArray tail = "get comm CDHolding\nput comm PortOpen false\n";   // after "Carrier detect now:"
    ASSERT_TRUE(script.endsWith(tail));
    script.chop(tail.size());
    script += "get comm CDHolding\nadvance 999\nget comm CDHolding\nadvance 1\nget comm CDHolding\n";
    const Outcome r = box.ctlhost(script, {QStringLiteral("--manual-clock")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("COM1 is open; carrier detect before the power key:\n"
                                    "comm.CDHolding = Bool:False\n"
                                    "Pressing and releasing the power key.\n"
                                    "Carrier detect now:\n"
                                    "comm.CDHolding = Bool:False\n"
                                    "comm.CDHolding = Bool:False\n"
                                    "comm.CDHolding = Bool:True\n"));
}
