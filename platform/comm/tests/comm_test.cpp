// The serial-port control at its surface (created by ProgID, called by
// dispatch id) on simulated amplifiers, the simulated amplifier itself, the
// port mapping, the line trace, and the shim that keeps tests off the ports.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "comm/errors.h"
#include "comm/simulator.h"
#include "comm/testing.h"
#include "windowing/timers.h"

using automation::Result;
using automation::Variant;
using comm::SimulatedAmplifier;
namespace ct = comm::testing;

enum { CDHolding = 1, CommPort = 4, DTREnable = 9, PortOpen = 20, RTSEnable = 22, Settings = 23, Output = 25 };
using Word = std::array<bool, 8>;
constexpr Word key(int element)
{
    Word w{};
    if (element)
        w[element - 1] = true;
    return w;
}
constexpr Word Off = key(0), Power = key(1), StandbyOff = key(3), StandbyOn = key(4), NextInput = key(5),
               FirstInput = key(6);

class Comm : public ::testing::Test {
protected:
    void SetUp() override
    {
        windowing::useManualClock();
        ct::restoreConfig();
        for (auto* a : {&amp, &com2})
            a->reset();
    }
    void TearDown() override { ct::restoreConfig(); }
    Result<> open(bool on = true) { return port->put(PortOpen, Variant::fromBool(on)); }
    bool cd() { return port->get(CDHolding).value().boolean(); }
    void send(std::initializer_list<Word> words)
    {
        for (const Word& w : words)
            ASSERT_TRUE(ct::sendWord(*port, w).ok());
    }

    automation::ControlPtr port = ct::createPort();
    SimulatedAmplifier& amp = SimulatedAmplifier::get();
    SimulatedAmplifier& com2 = SimulatedAmplifier::get(QStringLiteral("com2"));
};

TEST_F(Comm, FirstOpensStrayBitIsShiftedOutAndTheFirstCommandObeyed)
{
    ASSERT_TRUE(open().ok());
    EXPECT_EQ(amp.pendingBits(), std::vector<bool>{true}) << "the kernel raised DTR with RTS high";
    send({Power, Off});
    ASSERT_EQ(amp.words().size(), 2u);
    EXPECT_EQ(amp.words()[0].text(), "10000000");
    EXPECT_EQ(amp.words()[0].shiftedOut, std::vector<bool>{true});
    EXPECT_TRUE(amp.powered());
    EXPECT_TRUE(cd());
    // A close keeps the lines (DTR high): the reopen clocks nothing.
    ASSERT_TRUE(open(false).ok());
    ASSERT_TRUE(open().ok());
    EXPECT_TRUE(amp.pendingBits().empty());
    // Fewer than eight bits stay malformed and are ignored; more shift out.
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(port->put(DTREnable, Variant::fromBool(i % 2)).ok());
    ASSERT_TRUE(port->put(Output, Variant("0")).ok());
    EXPECT_FALSE(amp.words().back().wellFormed());
    EXPECT_EQ(amp.words().back().text(), "0000");
    send({Power, Off, Off, Off});
    EXPECT_FALSE(amp.powered());
}

TEST_F(Comm, KeysActOnReleaseAndCarrierFollowsPower)
{
    struct Step { std::vector<Word> words; bool powered, standby; int input; };
    const Step steps[] = {
        {{StandbyOn, Off}, false, false, 1},                 // off: only the power key works
        {{Power}, false, false, 1},                          // pressed, not yet released
        {{Off}, true, false, 1},
        {{StandbyOn, StandbyOn, Off}, true, true, 1},        // two clicks, one release
        {{StandbyOff, Off}, true, false, 1},
        {{NextInput, Off, NextInput, Off}, true, false, 3},
        {{FirstInput, Off}, true, false, 3},                 // one press selects nothing
        {{FirstInput, Off, FirstInput, Off}, true, false, 1},
        {{Power, Off, Off, Off}, false, false, 1},
    };
    ASSERT_TRUE(open().ok());
    for (const Step& s : steps) {
        for (const Word& w : s.words)
            ASSERT_TRUE(ct::sendWord(*port, w).ok());
        EXPECT_EQ(amp.powered(), s.powered) << &s - steps;
        EXPECT_EQ(amp.standby(), s.standby) << &s - steps;
        EXPECT_EQ(amp.input(), s.input) << &s - steps;
        EXPECT_EQ(cd(), s.powered) << &s - steps;
    }
    // With a delay in the mapping, carrier detect rises that much later.
    ct::writeConfig(QStringLiteral("COM1 = sim?delay=300\n"));
    ASSERT_TRUE(open(false).ok());
    ASSERT_TRUE(open().ok());
    send({Power, Off});
    windowing::advanceClock(299);
    EXPECT_FALSE(cd());
    windowing::advanceClock(1);
    EXPECT_TRUE(cd());
    amp.pressPowerKey();
    EXPECT_FALSE(cd()) << "switched off, carrier drops at once";
}

TEST_F(Comm, PowerOnInTheMappingStartsOnlyANewAmplifier)
{
    ct::writeConfig(QStringLiteral("COM1 = sim:starts-on?power=on\nCOM2 = sim:com2?power=on\n"));
    ASSERT_TRUE(open().ok());
    EXPECT_TRUE(cd());
    SimulatedAmplifier::get(QStringLiteral("starts-on")).pressPowerKey();
    ASSERT_TRUE(open(false).ok());
    ASSERT_TRUE(open().ok());
    EXPECT_FALSE(cd()) << "a reopen (the watchdog's) never switches it on again";
    ASSERT_TRUE(open(false).ok());
    ASSERT_TRUE(port->put(CommPort, Variant(std::int16_t(2))).ok());
    ASSERT_TRUE(open().ok());
    EXPECT_FALSE(cd()) << "an amplifier that already exists keeps its state";
}

TEST_F(Comm, MembersAndTheirErrors)
{
    const QString dir = ct::tempDir(), plain = dir + "/plain", fifo = dir + "/fifo", big = dir + "/big";
    QFile(plain).open(QIODevice::WriteOnly);
    mkfifo(QFile::encodeName(fifo).constData(), 0600);
    QFile sparse(big);
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && ftruncate(sparse.handle(), 3LL << 30) == 0);   // 3 GiB, no disk
    const QString config = qEnvironmentVariable("VELMORA_COMM_CONFIG");
    struct Case {
        const char* mapping; std::function<void()> before; int id; Variant value; int number; QString says;
    };
    const auto opened = [&] { ASSERT_TRUE(open().ok()); };
    automation::ControlPtr other;
    const Case cases[] = {
        {nullptr, opened, CommPort, Variant(std::int16_t(2)), comm::err::PortOpen, "COM1 is open: close it"},
        {nullptr, {}, CommPort, Variant(std::int16_t(0)), comm::err::InvalidPort, "Invalid port number 0 (1 to 16)"},
        {nullptr, {}, CommPort, Variant(17), comm::err::InvalidPort, "Invalid port number 17"},
        {nullptr, {}, CommPort, Variant("two"), automation::err::TypeMismatch, ""},
        {nullptr, {}, Settings, Variant("300,E,8,1"), comm::err::InvalidPropertyValue, "Settings \"300,E,8,1\""},
        {nullptr, {}, Settings, Variant("301,N,8,1"), comm::err::InvalidPropertyValue, "speed 110 to 115200"},
        {nullptr, {}, Output, Variant("0"), comm::err::PortNotOpen, "COM1 is not open"},
        {nullptr, opened, Output, Variant(QStringLiteral("\u0416")), comm::err::InvalidPropertyValue, "U+0416"},
        {nullptr, opened, Output, Variant(automation::DispatchPtr(port)), automation::err::TypeMismatch, ""},
        {nullptr, [&] { amp.unplug(); }, PortOpen, Variant::fromBool(true), comm::err::InvalidPort,
         "COM1: no such device: the simulated amplifier \"default\" is unplugged"},
        {nullptr, [&] { opened(); amp.unplug(); }, Output, Variant("0"), comm::err::HardwareNotAvailable,
         "no longer available (unplugged)"},
        {nullptr, [&] { ct::createPort().swap(other); ASSERT_TRUE(other->put(PortOpen, Variant::fromBool(true)).ok()); },
         PortOpen, Variant::fromBool(true), comm::err::PortAlreadyOpen, "is already in use"},
        {"COM2 = sim\n", [&] { ASSERT_TRUE(port->put(CommPort, Variant(std::int16_t(5))).ok()); }, PortOpen, Variant::fromBool(true),
         comm::err::InvalidPort, "COM5 is not mapped to a device (set COM5 in " + config},
        {"COM1 = sim:a?power=1\n", {}, PortOpen, Variant::fromBool(true), comm::err::HardwareNotAvailable,
         config + ":1: COM1: bad power \"1\""},
        {"\nCOM1 = ttyUSB0\n", {}, PortOpen, Variant::fromBool(true), comm::err::HardwareNotAvailable,
         config + ":2: COM1: \"ttyUSB0\" is neither a device path"},
        {"COM1 = sim\ntrace = /proc/none/t.vcd\n", {}, PortOpen, Variant::fromBool(true),
         comm::err::HardwareNotAvailable, "cannot write the line trace /proc/none/t.vcd"},
        {"COM1 = /nowhere/tty\n", {}, PortOpen, Variant::fromBool(true), comm::err::InvalidPort,
         "COM1: no such device: /nowhere/tty"},
        {"COM1 = PLAIN\n", {}, PortOpen, Variant::fromBool(true), comm::err::HardwareNotAvailable,
         plain + " is not a serial device"},
        {"FIFO", {}, PortOpen, Variant::fromBool(true), comm::err::HardwareNotAvailable,
         fifo + ": cannot read the port mapping: not a regular file"},
        {"/dev/zero", {}, PortOpen, Variant::fromBool(true), comm::err::HardwareNotAvailable,
         "/dev/zero: cannot read the port mapping: not a regular file"},
        {"BIG", {}, PortOpen, Variant::fromBool(true), comm::err::HardwareNotAvailable,
         big + ": cannot read the port mapping: larger than 65536 bytes"},
    };
    for (const Case& c : cases) {
        port = ct::createPort();
        SetUp();
        const QString m = QString::fromLatin1(c.mapping);
        if (m == "FIFO" || m == "BIG" || m.startsWith('/'))
            qputenv("VELMORA_COMM_CONFIG", QFile::encodeName(m == "FIFO" ? fifo : m == "BIG" ? big : m));
        else if (c.mapping)
            ct::writeConfig(QString(m).replace("PLAIN", plain));
        if (c.before)
            c.before();
        const Result<> r = port->put(c.id, c.value);
        qputenv("VELMORA_COMM_CONFIG", QFile::encodeName(config));
        amp.replug();
        other.reset();
        ASSERT_FALSE(r.ok()) << qPrintable(c.says);
        EXPECT_EQ(r.error().number, c.number) << qPrintable(r.error().description);
        EXPECT_EQ(r.error().source, "MSCommLib.MSComm");
        EXPECT_TRUE(r.error().description.contains(c.says)) << qPrintable(r.error().description);
    }
    QFile::remove(fifo);
    QFile::remove(big);
}

TEST_F(Comm, ClosedPortKeepsLevelsForTheOpenAndSettingsApply)
{
    EXPECT_EQ(port->get(Settings).value(), Variant("9600,N,8,1"));
    EXPECT_EQ(port->get(CommPort).value(), Variant(std::int16_t(1)));
    amp.pressPowerKey();
    EXPECT_FALSE(cd()) << "a closed port reads no carrier";
    ASSERT_TRUE(port->put(RTSEnable, Variant::fromBool(true)).ok());
    EXPECT_FALSE(amp.rts()) << "nothing reaches the lines while closed";
    ASSERT_TRUE(port->put(Settings, Variant(" 1200 , n , 8 , 1 ")).ok());
    EXPECT_TRUE(open(false).ok()) << "closing a closed port";
    ASSERT_TRUE(open().ok());
    EXPECT_TRUE(open().ok()) << "opening an open port";
    EXPECT_TRUE(amp.rts());
    EXPECT_FALSE(amp.dtr()) << "the kept levels apply after the kernel's raise";
    EXPECT_EQ(amp.speed(), 1200);
    ASSERT_TRUE(port->put(Settings, Variant("2400,N,8,1")).ok());
    EXPECT_EQ(amp.speed(), 2400);
    EXPECT_EQ(port->idOfName(QStringLiteral("cdholding")), CDHolding) << "names from the type library";
}

TEST(Shim, RefusesToOpenTheMachinesSerialPorts)
{
    // No device has this name: without the shim the opens would fail with ENOENT.
    const char* tty = "/dev/ttyS-velmora-none";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(::open(tty, O_RDWR), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(::openat(AT_FDCWD, tty, O_RDWR | O_NOCTTY), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(std::fopen(tty, "r+"), nullptr);
    EXPECT_EQ(errno, EACCES);
    ct::writeConfig(QStringLiteral("COM1 = %1\n").arg(QLatin1String(tty)));
    const Result<> r = ct::createPort()->put(PortOpen, Variant::fromBool(true));
    ct::restoreConfig();
    EXPECT_TRUE(!r.ok() && r.error().description.contains("permission denied opening /dev/ttyS-velmora-none: "
                                                             "the user must be in the dialout group"));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("refused to open /dev/ttyS-velmora-none"), std::string::npos);
    // A test started without the shim ends before it runs.
    QProcess self;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LD_PRELOAD"));
    self.setProcessEnvironment(env);
    self.start(QStringLiteral("/proc/self/exe"), {QStringLiteral("--gtest_list_tests")});
    ASSERT_TRUE(self.waitForFinished(20000));
    EXPECT_NE(self.exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(self.readAllStandardError().contains("velmora_modemshim.so is not preloaded"));
}

// Each VCD value change: time, signal, level; the times must never decrease.
std::vector<std::tuple<std::int64_t, QString, char>> parseVcd(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("$timescale 1ns $end") && text.endsWith('\n'));
    const QStringList names{"RTS", "DTR", "TxD", "DCD"};
    std::vector<std::tuple<std::int64_t, QString, char>> out;
    std::int64_t t = 0;
    for (const QByteArray& l : text.mid(text.indexOf("$dumpvars")).split('\n').mid(6)) {
        if (l.startsWith('#')) {
            EXPECT_GE(l.mid(1).toLongLong(), t);
            t = l.mid(1).toLongLong();
        } else if (!l.isEmpty()) {
            out.emplace_back(t, names.value(l[1] - '!', "?"), l[0]);
        }
    }
    return out;
}

QString levels(const std::vector<std::tuple<std::int64_t, QString, char>>& changes, const char* signal)
{
    QString s;
    for (const auto& [t, name, level] : changes)
        s += name == signal ? QString(QLatin1Char(level)) : QString();
    return s;
}

TEST_F(Comm, LineTraceRecordsLinesFramesAndCarrierAndSurvivesAKill)
{
    const QString path = ct::tempDir() + "/lines.vcd";
    ct::writeConfig(QStringLiteral("COM1 = sim\ntrace = %1\n").arg(path));
    ASSERT_TRUE(port->put(Settings, Variant("2400,N,8,1")).ok());
    ASSERT_TRUE(open().ok());
    send({Power, Off});
    EXPECT_TRUE(cd());
    ASSERT_TRUE(open(false).ok());
    auto changes = parseVcd(path);
    EXPECT_EQ(levels(changes, "DTR"), "10" + QString("1") + QString("01").repeated(15));
    EXPECT_EQ(levels(changes, "RTS"), "1010");   // open, kept level, element 1 of the first word
    EXPECT_EQ(levels(changes, "DCD"), "1");
    // Two frames of "0" at 2400 bit/s, edges at 0, 5, 7 and 9 bit times, back to back.
    std::vector<std::int64_t> txd;
    for (const auto& [t, name, level] : changes)
        if (name == "TxD")
            txd.push_back(t);
    ASSERT_EQ(levels(changes, "TxD"), "01010101");
    const double bit = 1e9 / 2400;
    for (int i = 0; i < 8; ++i)
        EXPECT_NEAR(double(txd[i] - txd[i / 4 * 4]), (QList<int>{0, 5, 7, 9}[i % 4]) * bit, 3) << i;
    EXPECT_GE(double(txd[4] - txd[0]), 10 * bit - 3) << "frames never overlap";

    // A process killed with a frame still on the wire (33 ms at 300 bit/s).
    const QString killed = ct::tempDir() + "/killed.vcd";
    EXPECT_EXIT(
        {
            ct::writeConfig(QStringLiteral("COM1 = sim\ntrace = %1\n").arg(killed));
            (void)port->put(Settings, Variant("300,N,8,1"));
            (void)open();
            send({Power});
            cd();
            raise(SIGKILL);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    changes = parseVcd(killed);
    EXPECT_EQ(levels(changes, "DTR"), "1" + QString("01").repeated(8)) << "the open, then the word's cells";
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(std::get<1>(changes.back()), "DCD") << "up to the last line request";
}

TEST_F(Comm, FrontPanelFollowsTheAmplifierAndNeverKeepsTheProgramAlive)
{
    int argc = 1;
    char name[] = "comm_tests", *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    auto& shown = SimulatedAmplifier::get(QStringLiteral("panel"));
    ct::writeConfig(QStringLiteral("COM1 = sim:panel\nCOM2 = sim:panel?panel=1\n"));
    ASSERT_TRUE(open().ok());
    EXPECT_EQ(shown.panel(), nullptr) << "only a mapping with panel=1 shows it";
    ASSERT_TRUE(open(false).ok());
    ASSERT_TRUE(port->put(CommPort, Variant(std::int16_t(2))).ok());
    ASSERT_TRUE(open().ok());
    QPointer<comm::FrontPanel> panel = shown.panel();
    ASSERT_TRUE(panel && panel->isVisible());
    EXPECT_EQ(panel->stateText(), "Power off | Standby off | Input 1 | Carrier off");
    panel->powerButton()->click();
    EXPECT_TRUE(cd());
    EXPECT_TRUE(panel->stateText().startsWith("Power on"));
    QWidget main;
    main.show();
    QTimer::singleShot(0, &main, &QWidget::close);
    QTimer::singleShot(5000, &app, [&] { app.exit(1); });   // only if the panel kept it alive
    EXPECT_EQ(app.exec(), 0);
    EXPECT_FALSE(panel) << "it goes with the application";
}
