// ctlhost driving the serial-port control on the simulated amplifier with the
// example power-on script, the carrier rising 1000 ms after power-on on the
// manual clock.
#include "tools_test_support.h"

TEST(CtlhostComm, ThePowerOnExampleSwitchesTheSimulatedAmplifierOn)
{
    using namespace toolstest;
    QFile example(envPath("CTLHOST_EXAMPLES") + QStringLiteral("/poweron.ctl"));
    ASSERT_TRUE(example.open(QIODevice::ReadOnly));
    QByteArray script = example.readAll();
    const QByteArray tail = "get comm CDHolding\nput comm PortOpen false\n";
    ASSERT_TRUE(script.endsWith(tail));
    Sandbox box;
    box.write("comm.conf", "COM1 = sim?delay=1000\n");
    box.env.insert(QStringLiteral("VELMORA_COMM_CONFIG"), box.path("work") + QStringLiteral("/comm.conf"));
    ASSERT_EQ(box.run("REGSVR", {envPath("COMM_LIB")}).code, 0);
    const Outcome r = box.run("CTLHOST", {QStringLiteral("--manual-clock")},
                              script.chopped(tail.size()) + "get comm CDHolding\nadvance 999\nget comm CDHolding\nadvance 1\n" + tail);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("COM1 is open; carrier detect before the power key:\ncomm.CDHolding = Bool:False\n"
                                    "Pressing and releasing the power key.\nCarrier detect now:\ncomm.CDHolding = Bool:False\n"
                                    "comm.CDHolding = Bool:False\ncomm.CDHolding = Bool:True\n"));
}
