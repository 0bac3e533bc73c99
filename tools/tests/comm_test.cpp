// ctlhost driving the serial-port control on the simulated amplifier with the
// example power-on script.
#include "tools_test_support.h"

using namespace toolstest;

TEST(CtlhostComm, ThePowerOnExampleSwitchesTheSimulatedAmplifierOn)
{
    const QString file = envPath("CTLHOST_EXAMPLES") + QStringLiteral("/poweron.ctl");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray example = f.readAll(), tail = "get comm CDHolding\nput comm PortOpen false\n";
    ASSERT_TRUE(example.endsWith(tail));
    const QString before = QStringLiteral("COM1 is open; carrier detect before the power key:\ncomm.CDHolding = Bool:False\n"
                                          "Pressing and releasing the power key.\nCarrier detect now:\n");
    const struct {
        QString device;
        QStringList options;
        QByteArray script;
        QString after;
    } cases[] = {
        {"sim", {file}, {}, "comm.CDHolding = Bool:True\n"},
        // The carrier rises 1000 ms after power-on, on the manual clock.
        {"sim?delay=1000", {"--manual-clock"},
         example.chopped(tail.size()) + "get comm CDHolding\nadvance 999\nget comm CDHolding\nadvance 1\nget comm CDHolding\n",
         "comm.CDHolding = Bool:False\ncomm.CDHolding = Bool:False\ncomm.CDHolding = Bool:True\n"},
    };
    for (const auto& c : cases) {
        Sandbox box;
        const QString trace = box.path("work") + QStringLiteral("/lines.vcd");
        box.write("comm.conf", QStringLiteral("COM1 = %1\ntrace = %2\n").arg(c.device, trace).toUtf8());
        box.env.insert(QStringLiteral("VELMORA_COMM_CONFIG"), box.path("work") + QStringLiteral("/comm.conf"));
        box.env.insert(QStringLiteral("VELMORA_COMM_FORBID"), QStringLiteral("/dev/ttyS"));   // never the machine's own ports
        ASSERT_EQ(box.regsvr({envPath("COMM_LIB")}).code, 0);
        const Outcome r = box.ctlhost(c.script, c.options);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, before + c.after);
        QFile vcd(trace);
        ASSERT_TRUE(vcd.open(QIODevice::ReadOnly));
        // DTR rose once at the open and once per element of the two words.
        EXPECT_EQ(vcd.readAll().split('\n').count(QByteArray("1\"")), 17);
    }
}
