// ctlhost's example scripts: the serial-port control on the simulated amplifier
// (the carrier rising 1000 ms after power-on on the manual clock), and the icon
// control's session (its records and saved bag are the icon control's tests').
#include "tools_test_support.h"

#include <sys/stat.h>

using namespace toolstest;

// The example `name`, as `edit` leaves it, run on the manual clock with the library $`lib`
// registered: its output.
static QString runExample(Sandbox &box, const char *name, const char *lib,
                          const std::function<QByteArray(QByteArray)> &edit) {
    QFile example(envPath("CTLHOST_EXAMPLES") + QLatin1Char('/') + QLatin1String(name));
    EXPECT_TRUE(example.open(QIODevice::ReadOnly)) << name;
    EXPECT_EQ(box.run("REGSVR", {envPath(lib)}).code, 0) << lib << " registered";
    const Outcome r =
        box.run("CTLHOST", {QStringLiteral("--manual-clock")}, edit(example.readAll()));
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    return r.out;
}

TEST(CtlhostComm, ThePowerOnExampleSwitchesTheSimulatedAmplifierOn) {
    Sandbox box;
    box.write("comm.conf", "COM1 = sim?delay=1000\n");
    box.env.insert(QStringLiteral("VELMORA_COMM_CONFIG"),
                   box.path("work") + QStringLiteral("/comm.conf"));
    const QByteArray tail = "get comm CDHolding\nput comm PortOpen false\n";
    EXPECT_EQ(
        runExample(box,
                   "poweron.ctl",
                   "COMM_LIB",
                   [&](const QByteArray &script) {
                       EXPECT_TRUE(script.endsWith(tail)) << "the example ends as it did";
                       return script.chopped(tail.size()) +
                              "get comm CDHolding\nadvance 999\nget comm CDHolding\nadvance 1\n" +
                              tail;
                   }),
        QStringLiteral(
            "COM1 is open; carrier detect before the power key:\ncomm.CDHolding = Bool:False\n"
            "Pressing and releasing the power key.\nCarrier detect now:\ncomm.CDHolding = "
            "Bool:False\n"
            "comm.CDHolding = Bool:False\ncomm.CDHolding = Bool:True\n"));
}

TEST(CtlhostTray, TheIconExamplePrintsItsSession) {
    Sandbox box;
    const QByteArray bmp = "icon:" + envPath("LUMORA_SOURCE").toUtf8() + "/src/toolbox.bmp";
    EXPECT_EQ(runExample(box,
                         "tray.ctl",
                         "LUMORA_LIB",
                         [&](QByteArray script) {
                             return script.replace("icon:lumora/src/toolbox.bmp", bmp);
                         }),
              QStringLiteral("event tray.AddIcon (#7)\nchanged tray.AnimationInterval "
                             "(#1745027073)\nevent tray.AnimationStarted (#11)\n"
                             "event tray.Animation (#1) args: I4:2\nevent tray.Animation (#1) "
                             "args: I4:3\nevent tray.Animation (#1) args: I4:1\n"
                             "event tray.ReturnIcon (#9)\nevent tray.AnimationStopped (#13)\nevent "
                             "tray.MouseDown (#2) args: I4:1\n"
                             "event tray.MouseUp (#3) args: I4:1\nevent tray.Click (#5)\nevent "
                             "tray.DoubleClick (#6) args: I4:1\n"
                             "event tray.MouseUp (#3) args: I4:1\nevent tray.Click (#5)\nevent "
                             "tray.DeleteIcon (#10)\n"
                             "face size = 465 x 465\nface snapshot = 31 x 31 lumorel-face.png\n"));
}

// A FIFO in place of the line trace: ctlhost opens the port at once and works
// without a trace, saying why in one line on standard error.
TEST(CtlhostComm, ATraceThatIsAFifoNeitherHangsNorStopsThePort) {
    Sandbox box;
    const QString fifo = box.path("work") + QStringLiteral("/lines.vcd");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    box.write("comm.conf", "COM1 = sim:fifo\ntrace = " + QFile::encodeName(fifo) + "\n");
    box.env.insert(QStringLiteral("VELMORA_COMM_CONFIG"),
                   box.path("work") + QStringLiteral("/comm.conf"));
    ASSERT_EQ(box.run("REGSVR", {envPath("COMM_LIB")}).code, 0);
    const QByteArray script = "create comm MSCommLib.MSComm\nput comm PortOpen true\n"
                              "put comm Output \"0\"\nget comm PortOpen\n";
    const Outcome r = box.run("CTLHOST", {}, script, 20000);
    EXPECT_EQ(r.out, QStringLiteral("comm.PortOpen = Bool:True\n")) << "the port open and written";
    EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1) << "one line on stderr: " << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(fifo + QStringLiteral(" is not written: a FIFO, not a file")))
        << "the FIFO named: " << r.err.toStdString();
}
