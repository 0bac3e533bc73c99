// The serial-port control's members and their errors, on the simulated
// amplifier and on device files; creation by ProgID.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>

#include "automation/server.h"
#include "comm/errors.h"
#include "comm/simulator.h"
#include "mscomm.h"
#include "comm/testing.h"
#include "windowing/timers.h"

using automation::Result;
using automation::Variant;
using comm::MSComm;
using comm::SimulatedAmplifier;

extern "C" std::int32_t DllRegisterServer();

namespace {

class Control : public ::testing::Test {
protected:
    void SetUp() override
    {
        windowing::useManualClock();
        comm::testing::restoreConfig();
        amp.reset();
        com2.reset();
    }
    void TearDown() override { comm::testing::restoreConfig(); }

    Result<> put(int id, Variant v) { return comm.put(id, std::move(v)); }
    Result<> get(int id) { return comm.get(id); }
    bool getBool(int id)
    {
        const Result<> r = get(id);
        EXPECT_TRUE(r.ok()) << qPrintable(r.ok() ? QString() : r.error().description);
        return r.ok() && r.value().boolean();
    }
    void expectError(const Result<>& r, std::int32_t number, const QString& says)
    {
        ASSERT_FALSE(r.ok()) << "expected error " << number;
        EXPECT_EQ(r.error().number, number) << qPrintable(r.error().description);
        EXPECT_EQ(r.error().source, "MSCommLib.MSComm");
        EXPECT_TRUE(r.error().description.contains(says)) << qPrintable(r.error().description);
    }

    MSComm comm;
    SimulatedAmplifier& amp = SimulatedAmplifier::get();
    SimulatedAmplifier& com2 = SimulatedAmplifier::get(QStringLiteral("com2"));
    const std::array<bool, 8> none{};
    const std::array<bool, 8> powerKey{true};
};

} // namespace

TEST_F(Control, InitialStateAndClosedPortBehaviour)
{
    EXPECT_EQ(get(MSComm::DispCommPort).value(), Variant(std::int16_t(1)));
    EXPECT_FALSE(getBool(MSComm::DispPortOpen));
    EXPECT_EQ(get(MSComm::DispSettings).value(), Variant("9600,N,8,1"));
    EXPECT_FALSE(getBool(MSComm::DispRTSEnable));
    EXPECT_FALSE(getBool(MSComm::DispDTREnable));
    // Carrier detect reads False on a closed port and never fails, even with
    // the amplifier on.
    amp.pressPowerKey();
    EXPECT_FALSE(getBool(MSComm::DispCDHolding));
    // Line requests on a closed port succeed and are kept.
    EXPECT_TRUE(put(MSComm::DispRTSEnable, Variant::fromBool(true)).ok());
    EXPECT_TRUE(put(MSComm::DispDTREnable, Variant::fromBool(false)).ok());
    EXPECT_TRUE(getBool(MSComm::DispRTSEnable));
    EXPECT_FALSE(amp.rts()) << "nothing reaches the lines while closed";
    // Output needs an open port.
    expectError(put(MSComm::DispOutput, Variant("0")), comm::err::PortNotOpen, "COM1 is not open");
    // Closing a closed port succeeds and does nothing.
    EXPECT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(false)).ok());
    // The kept levels apply at open, after the kernel raised both lines.
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    EXPECT_TRUE(amp.rts());
    EXPECT_FALSE(amp.dtr());
    EXPECT_TRUE(getBool(MSComm::DispCDHolding));
}

TEST_F(Control, SettingsAcceptsSpeedsWithN81Only)
{
    for (const char* s : {"300,N,8,1", "1200,N,8,1", "2400,N,8,1", "9600,n,8,1", " 115200 , N , 8 , 1 "}) {
        const Result<> r = put(MSComm::DispSettings, Variant(s));
        EXPECT_TRUE(r.ok()) << s;
    }
    EXPECT_EQ(get(MSComm::DispSettings).value(), Variant("115200,N,8,1"));
    for (const char* s : {"", "300", "300,N,8", "300,E,8,1", "300,N,7,1", "300,N,8,2", "301,N,8,1", "fast",
                          "300,N,8,1,1", "-300,N,8,1"})
        expectError(put(MSComm::DispSettings, Variant(s)), comm::err::InvalidPropertyValue, "Settings");
    EXPECT_EQ(get(MSComm::DispSettings).value(), Variant("115200,N,8,1"));

    // Applied to an open port at once, and by the next open.
    ASSERT_TRUE(put(MSComm::DispSettings, Variant("1200,N,8,1")).ok());
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    EXPECT_EQ(amp.speed(), 1200);
    ASSERT_TRUE(put(MSComm::DispSettings, Variant("2400,N,8,1")).ok());
    EXPECT_EQ(amp.speed(), 2400);
}

TEST_F(Control, CommPortIsChangedOnlyWhileClosed)
{
    expectError(put(MSComm::DispCommPort, Variant(std::int16_t(0))), comm::err::InvalidPort, "Invalid port number");
    expectError(put(MSComm::DispCommPort, Variant(std::int32_t(17))), comm::err::InvalidPort, "Invalid port number");
    const Result<> wrongType = put(MSComm::DispCommPort, Variant("two"));
    ASSERT_FALSE(wrongType.ok());
    EXPECT_EQ(wrongType.error().number, 13);
    EXPECT_EQ(wrongType.error().source, "MSCommLib.MSComm");

    ASSERT_TRUE(put(MSComm::DispCommPort, Variant(std::int32_t(2))).ok());
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    EXPECT_TRUE(com2.portOpen());
    EXPECT_FALSE(amp.portOpen());
    expectError(put(MSComm::DispCommPort, Variant(std::int16_t(1))), comm::err::PortOpen, "COM2 is open");
    EXPECT_EQ(get(MSComm::DispCommPort).value(), Variant(std::int16_t(2)));
}

TEST_F(Control, OpeningAnOpenPortChangesNothing)
{
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    ASSERT_TRUE(comm::testing::sendWord(comm, none).ok());
    const auto words = amp.words().size();
    const auto bits = amp.pendingBits();
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    EXPECT_TRUE(amp.portOpen());
    EXPECT_TRUE(amp.dtr());
    EXPECT_FALSE(amp.rts());
    EXPECT_EQ(amp.words().size(), words);
    EXPECT_EQ(amp.pendingBits(), bits);
    // The watchdog's close and reopen: no DTR edge, so no bit is clocked.
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(false)).ok());
    EXPECT_FALSE(amp.portOpen());
    EXPECT_TRUE(amp.dtr());
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    EXPECT_TRUE(amp.pendingBits().empty());
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(false)).ok());
    EXPECT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(false)).ok());
}

TEST_F(Control, PowerOnAndOffThroughWords)
{
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    // The first open clocked a stray bit: the first word shifts it out and stands.
    ASSERT_TRUE(comm::testing::sendWord(comm, powerKey).ok());
    ASSERT_TRUE(comm::testing::sendWord(comm, none).ok());
    EXPECT_TRUE(getBool(MSComm::DispCDHolding));
    EXPECT_EQ(amp.words()[0].text(), "10000000");
    EXPECT_EQ(amp.words()[0].shiftedOut, std::vector<bool>{true});
    ASSERT_TRUE(comm::testing::sendWord(comm, powerKey).ok());
    ASSERT_TRUE(comm::testing::sendWord(comm, none).ok());
    EXPECT_FALSE(getBool(MSComm::DispCDHolding));

    // With a carrier delay from the mapping, the carrier follows later.
    comm::testing::writeConfig(QStringLiteral("COM1 = sim?delay=300\n"));
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(false)).ok());
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    ASSERT_TRUE(comm::testing::sendWord(comm, powerKey).ok());
    ASSERT_TRUE(comm::testing::sendWord(comm, none).ok());
    EXPECT_FALSE(getBool(MSComm::DispCDHolding));
    windowing::advanceClock(300);
    EXPECT_TRUE(getBool(MSComm::DispCDHolding));

    // A mapping without a delay leaves the amplifier's own setting alone.
    comm::testing::restoreConfig();
    amp.setCarrierDelay(40);
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(false)).ok());
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    EXPECT_EQ(amp.carrierDelay(), 40);
}

TEST_F(Control, PowerOnInTheMappingAppliesOnlyToANewAmplifier)
{
    comm::testing::writeConfig(QStringLiteral("COM1 = sim:starts-on?power=on\nCOM2 = sim:com2?power=on\n"));
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    EXPECT_TRUE(getBool(MSComm::DispCDHolding));
    SimulatedAmplifier::get(QStringLiteral("starts-on")).pressPowerKey();
    // Reopening (the watchdog does every 5 s) never switches it on again.
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(false)).ok());
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    EXPECT_FALSE(getBool(MSComm::DispCDHolding));
    // An amplifier that already exists keeps its state.
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(false)).ok());
    ASSERT_TRUE(put(MSComm::DispCommPort, Variant(std::int16_t(2))).ok());
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    EXPECT_FALSE(getBool(MSComm::DispCDHolding));
}

TEST_F(Control, FailedOpensSayWhy)
{
    auto open = [&] { return put(MSComm::DispPortOpen, Variant::fromBool(true)); };

    comm::testing::writeConfig(QStringLiteral("COM1 = sim\n"));
    put(MSComm::DispCommPort, Variant(std::int16_t(5)));
    expectError(open(), comm::err::InvalidPort, "COM5 is not mapped to a device");
    EXPECT_TRUE(open().error().description.contains(qEnvironmentVariable("VELMORA_COMM_CONFIG")));
    put(MSComm::DispCommPort, Variant(std::int16_t(1)));

    comm::testing::writeConfig(QStringLiteral("COM1 = sim\nCOM2 = serial\n"));
    expectError(open(), comm::err::HardwareNotAvailable, qEnvironmentVariable("VELMORA_COMM_CONFIG") + QStringLiteral(":2:"));

    const QString missing = comm::testing::tempDir() + QStringLiteral("/no-such-tty");
    comm::testing::writeConfig(QStringLiteral("COM1 = %1\n").arg(missing));
    expectError(open(), comm::err::InvalidPort, QStringLiteral("COM1: no such device: %1").arg(missing));

    const QString plain = comm::testing::tempDir() + QStringLiteral("/plain-file");
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    comm::testing::writeConfig(QStringLiteral("COM1 = %1\n").arg(plain));
    expectError(open(), comm::err::HardwareNotAvailable, QStringLiteral("%1 is not a serial device").arg(plain));

    comm::testing::writeConfig(QStringLiteral("COM1 = sim\ntrace = /proc/no/such/dir/t.vcd\n"));
    expectError(open(), comm::err::HardwareNotAvailable, QStringLiteral("cannot write the line trace /proc/no/such/dir/t.vcd"));

    comm::testing::restoreConfig();
    amp.unplug();
    expectError(open(), comm::err::InvalidPort, QStringLiteral("no such device: the simulated amplifier \"default\" is unplugged"));
    amp.replug();

    MSComm other;
    ASSERT_TRUE(other.put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    expectError(open(), comm::err::PortAlreadyOpen, QStringLiteral("already in use"));
    EXPECT_FALSE(getBool(MSComm::DispPortOpen));
}

TEST_F(Control, UnpluggedUnderAnOpenPort)
{
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    amp.pressPowerKey();
    EXPECT_TRUE(getBool(MSComm::DispCDHolding));
    amp.unplug();
    // The carrier reads False and line writes are ignored, never an error.
    EXPECT_FALSE(getBool(MSComm::DispCDHolding));
    EXPECT_TRUE(put(MSComm::DispRTSEnable, Variant::fromBool(true)).ok());
    EXPECT_TRUE(put(MSComm::DispDTREnable, Variant::fromBool(true)).ok());
    EXPECT_FALSE(amp.rts());
    // The closing character fails, so the program asks about the port.
    expectError(put(MSComm::DispOutput, Variant("0")), comm::err::HardwareNotAvailable, "no longer available");
    EXPECT_TRUE(getBool(MSComm::DispPortOpen));
    // The watchdog's close and reopen: fails while unplugged, works once back.
    EXPECT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(false)).ok());
    expectError(put(MSComm::DispPortOpen, Variant::fromBool(true)), comm::err::InvalidPort, "unplugged");
    amp.replug();
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    EXPECT_TRUE(getBool(MSComm::DispCDHolding));
    EXPECT_TRUE(put(MSComm::DispOutput, Variant("0")).ok());
}

TEST_F(Control, OutputTakesCharactersUpTo255)
{
    ASSERT_TRUE(put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    amp.clearWords();
    EXPECT_TRUE(put(MSComm::DispOutput, Variant(std::int32_t(0))).ok()) << "a number is sent as its text";
    EXPECT_TRUE(put(MSComm::DispOutput, Variant(QStringLiteral("\u00ff"))).ok());
    EXPECT_EQ(amp.words().size(), 2u);
    expectError(put(MSComm::DispOutput, Variant(QStringLiteral("\u0416"))), comm::err::InvalidPropertyValue, "U+0416");
    const Result<> obj = put(MSComm::DispOutput, Variant(automation::DispatchPtr(std::make_shared<MSComm>())));
    ASSERT_FALSE(obj.ok());
    EXPECT_EQ(obj.error().number, 13);
    EXPECT_EQ(amp.words().size(), 2u);
    // Members the control does not have.
    EXPECT_EQ(comm.get(MSComm::DispOutput).error().number, 438);
    EXPECT_EQ(comm.get(3).error().number, 438);
}

TEST(ControlServer, CreatedByProgIdFromAPrivateRegistry)
{
    QTemporaryDir registry;
    ASSERT_TRUE(registry.isValid());
    qputenv("VELMORA_REGISTRY", QFile::encodeName(registry.path()));
    ASSERT_EQ(DllRegisterServer(), automation::hr::Ok);
    automation::Error error;
    auto control = automation::createObject(QStringLiteral("MSCommLib.MSComm"), &error);
    ASSERT_TRUE(control) << qPrintable(error.description);
    EXPECT_EQ(control->idOfName(QStringLiteral("cdholding")), MSComm::DispCDHolding);
    EXPECT_EQ(control->idOfName(QStringLiteral("Output")), MSComm::DispOutput);
    EXPECT_TRUE(control->put(MSComm::DispPortOpen, Variant::fromBool(true)).ok());
    EXPECT_TRUE(control->put(MSComm::DispOutput, Variant("0")).ok());
    auto byClsid = automation::createObject(QStringLiteral("{c1fb3f52-c4dd-45dc-885a-e5863a9a239d}"), &error);
    ASSERT_TRUE(byClsid) << qPrintable(error.description);
    qunsetenv("VELMORA_REGISTRY");
}

TEST(Shim, RefusesToOpenTheMachinesSerialPorts)
{
    // A name no device has: without the shim the open would fail with ENOENT.
    const char* port = "/dev/ttyS-velmora-none";
    ::testing::internal::CaptureStderr();
    errno = 0;
    EXPECT_EQ(::open(port, O_RDWR), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(::openat(AT_FDCWD, port, O_RDWR | O_NOCTTY), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(std::fopen(port, "r+"), nullptr);
    EXPECT_EQ(errno, EACCES);
    comm::testing::writeConfig(QStringLiteral("COM1 = %1\n").arg(QLatin1String(port)));
    MSComm c;
    const Result<> r = c.put(MSComm::DispPortOpen, Variant::fromBool(true));
    EXPECT_FALSE(r.ok());
    comm::testing::restoreConfig();
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("refused to open /dev/ttyS-velmora-none"), std::string::npos) << said;

    // A test started without the shim ends before it runs.
    QProcess self;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LD_PRELOAD"));
    self.setProcessEnvironment(env);
    self.start(QStringLiteral("/proc/self/exe"), {QStringLiteral("--gtest_list_tests")});
    ASSERT_TRUE(self.waitForFinished(20000));
    EXPECT_NE(self.exitStatus() == QProcess::NormalExit && self.exitCode() == 0, true);
    EXPECT_TRUE(self.readAllStandardError().contains("velmora_modemshim.so is not preloaded"));
}
