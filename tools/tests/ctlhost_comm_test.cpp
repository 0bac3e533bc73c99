// ctlhost driving the serial-port control on the simulated amplifier with the
// example power-on script.
#include "tools_test_support.h"

using namespace toolstest;

TEST(CtlhostComm, ThePowerOnExampleSwitchesTheSimulatedAmplifierOn)
{
    Sandbox box;
    const QString config = box.path("work") + QStringLiteral("/comm.conf");
    const QString trace = box.path("work") + QStringLiteral("/lines.vcd");
    QFile f(config);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("COM1 = sim\ntrace = %1\n").arg(trace).toUtf8());
    f.close();
    box.extra.emplace_back(QStringLiteral("VELMORA_COMM_CONFIG"), config);
    // Never the machine's own ports, whatever the script asks for.
    box.extra.emplace_back(QStringLiteral("VELMORA_COMM_FORBID"), QStringLiteral("/dev/ttyS"));

    Outcome r = box.regsvr({envPath("COMM_LIB")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = box.ctlhost({}, {envPath("CTLHOST_EXAMPLES") + QStringLiteral("/poweron.ctl")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("comm.CDHolding = Bool:False\n"
                                    "comm.CDHolding = Bool:True\n"));

    // The lines carried what the script clocked: DTR rose once at the open
    // and once per element of the two words; "0" went out three times.
    QFile vcd(trace);
    ASSERT_TRUE(vcd.open(QIODevice::ReadOnly));
    const QList<QByteArray> changes = vcd.readAll().split('\n');
    EXPECT_EQ(changes.count(QByteArray("1\"")), 17);
}
