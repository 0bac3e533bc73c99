// The simulated amplifier behind the serial-port control (created by ProgID,
// called by dispatch id) through ports mapped to "sim" targets: the shift
// register, keys and carrier, power=on, the "sim" targets' errors, the word
// log's bound and the front panel. (The bit the kernel clocks in at the first
// open is shifted out of every first word: each test here and the panel's
// scenarios fail without it.)
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "comm/errors.h"
#include "comm/testing.h"
#include "comm_dispids.h"
#include "simulator/amplifier.h"
#include "simulator/frontpanel.h"
#include "windowing/timers.h"

using automation::Result;
using automation::Variant;
using simulator::SimulatedAmplifier;
namespace ct = comm::testing;
namespace e = comm::err;

using namespace comm::dispid; // CDHolding, CommPort, DTREnable, PortOpen, ...
using comm::testing::Word;
const Word Off{}, Power{1}, StandbyOff{0, 0, 1}, StandbyOn{0, 0, 0, 1}, NextInput{0, 0, 0, 0, 1},
    FirstInput{0, 0, 0, 0, 0, 1};
const Variant on = Variant::fromBool(true), off = Variant::fromBool(false);

class Simulator : public ::testing::Test {
  protected:
    void SetUp() override {
        windowing::useManualClock();
        ct::restoreConfig();
        amp.reset();
    }
    void TearDown() override { ct::restoreConfig(); }
    Result<> put(int id, const Variant &v) { return port->put(id, v); }
    Result<> open(bool open = true) { return put(PortOpen, open ? on : off); }
    bool cd() { return port->get(CDHolding).value().boolean(); }
    void send(const std::vector<Word> &words) { ASSERT_TRUE(ct::sendWords(*port, words).ok()); }

    automation::ControlPtr port = ct::createPort();
    SimulatedAmplifier &amp = SimulatedAmplifier::get();
};

// A close keeps the lines (DTR high): the reopen clocks nothing. Fewer than
// eight bits make a malformed word, which releases no key.
TEST_F(Simulator, AReopenClocksNothingAndAShortWordIsIgnored) {
    ASSERT_TRUE(open().ok());
    send({Power, Off, Power});
    ASSERT_TRUE(open(false).ok());
    ASSERT_TRUE(open(false).ok()) << "closing a closed port";
    ASSERT_TRUE(open().ok());
    ASSERT_TRUE(open().ok()) << "opening an open port";
    EXPECT_TRUE(amp.pendingBits().empty()) << "a reopen clocks nothing";
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(put(DTREnable, Variant::fromBool(i % 2)).ok());
    ASSERT_TRUE(put(Output, Variant("0")).ok());
    EXPECT_EQ(amp.words().back().text(), "0000") << "four clocks";
    EXPECT_TRUE(amp.powered()) << "a malformed word releases no key (the power key held)";
}

// Keys pressed on an amplifier that starts switched off: each character of
// `keys` one word ('.' none, 'P' power, 'S' standby on, 's' standby off, 'N'
// next input, 'F' first input), and the state they leave.
struct Keys {
    const char *name;
    const char *keys;
    bool powered, standby;
    int input;
};

class SimulatorKeys : public Simulator, public ::testing::WithParamInterface<Keys> {};

TEST_P(SimulatorKeys, ActOnReleaseAndCarrierFollowsPower) {
    const Keys &c = GetParam();
    const Word words[] = {Off, Power, StandbyOff, StandbyOn, NextInput, FirstInput};
    ASSERT_TRUE(open().ok());
    for (const char *k = c.keys; *k; ++k)
        send({words[QByteArrayView(".PsSNF").indexOf(*k)]});
    EXPECT_EQ(amp.powered(), c.powered) << c.name << ": power";
    EXPECT_EQ(cd(), c.powered) << c.name << ": carrier detect follows power";
    EXPECT_EQ(amp.standby(), c.standby) << c.name << ": standby";
    EXPECT_EQ(amp.input(), c.input) << c.name << ": input";
}

INSTANTIATE_TEST_SUITE_P(
    Amplifier, SimulatorKeys,
    ::testing::Values(Keys{"OffOnlyPowerWorksOnRelease", "S.P", false, false, 1},
                      Keys{"TwoClicksOneRelease", "P.SS.", true, true, 1},
                      Keys{"StandbyOff", "P.S.s.", true, false, 1},
                      Keys{"OnePressOfFirstSelectsNothing", "P.N.N.F.", true, false, 3},
                      Keys{"TwoPressesOfFirstSelectIt", "P.N.F.F.", true, false, 1},
                      Keys{"PowerOff", "P.P...", false, false, 1}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Simulator, PowerOnInTheMappingStartsOnlyANewAmplifier) {
    SimulatedAmplifier::get(QStringLiteral("exists"));
    ct::writeConfig(QStringLiteral("COM1 = sim:starts-on?power=on\nCOM2 = sim:exists?power=on\n"));
    ASSERT_TRUE(open().ok());
    EXPECT_TRUE(cd()) << "power=on: a new amplifier starts on";
    SimulatedAmplifier::get(QStringLiteral("starts-on")).pressPowerKey();
    ASSERT_TRUE(open(false).ok());
    ASSERT_TRUE(open().ok());
    EXPECT_FALSE(cd()) << "a reopen (the watchdog's) never switches it on again";
    ASSERT_TRUE(open(false).ok());
    ASSERT_TRUE(put(CommPort, Variant(std::int16_t(2))).ok());
    ASSERT_TRUE(open().ok());
    EXPECT_FALSE(cd()) << "an amplifier that already exists keeps its state";
}

// A "sim" target's failures, each from a new port on COM1: the mapping (none:
// the tests' own, COM1 to "default"), what happens before, the member put
// that fails, its error number and what its description holds.
enum class Before { Nothing, Unplug, OpenAndUnplug, OtherPortOnCOM2 };
struct SimFailure {
    const char *name;
    const char *mapping;
    Before before;
    int id;
    int number;
    const char *says;
};

class SimulatorFailure : public Simulator, public ::testing::WithParamInterface<SimFailure> {};

TEST_P(SimulatorFailure, IsTheControlsErrorNamingThePort) {
    const SimFailure &c = GetParam();
    if (c.mapping)
        ct::writeConfig(QString::fromLatin1(c.mapping));
    automation::ControlPtr other = ct::createPort();
    if (c.before == Before::OtherPortOnCOM2) {
        ASSERT_TRUE(other->put(CommPort, Variant(std::int16_t(2))).ok());
        ASSERT_TRUE(other->put(PortOpen, on).ok());
    }
    if (c.before == Before::OpenAndUnplug) {
        ASSERT_TRUE(open().ok());
    }
    if (c.before == Before::Unplug || c.before == Before::OpenAndUnplug)
        amp.unplug();
    const Result<> r = put(c.id, c.id == PortOpen ? on : Variant("0"));
    amp.replug();
    ASSERT_FALSE(r.ok()) << c.name << ": expected to fail";
    EXPECT_EQ(r.error().number, c.number) << c.name << ": " << qPrintable(r.error().description);
    EXPECT_TRUE(r.error().description.contains(QString::fromUtf8(c.says)))
        << c.name << ": " << qPrintable(r.error().description);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, SimulatorFailure,
    ::testing::Values(
        SimFailure{"OpenUnplugged",
                   nullptr,
                   Before::Unplug,
                   PortOpen,
                   e::InvalidPort,
                   "COM1: no such device: the simulated amplifier \"default\" is unplugged"},
        SimFailure{"OutputUnplugged",
                   nullptr,
                   Before::OpenAndUnplug,
                   Output,
                   e::HardwareNotAvailable,
                   "COM1: the simulated amplifier \"default\" is no longer available (unplugged)"},
        SimFailure{"TakenByAnotherPort",
                   "COM1 = sim:taken\nCOM2 = sim:taken\n",
                   Before::OtherPortOnCOM2,
                   PortOpen,
                   e::PortAlreadyOpen,
                   "the simulated amplifier \"taken\" is already in use"},
        SimFailure{"BadPower",
                   "COM1 = sim:a?power=1\n",
                   Before::Nothing,
                   PortOpen,
                   e::HardwareNotAvailable,
                   "comm.conf:1: COM1: bad power \"1\""},
        SimFailure{"UnknownOption",
                   "COM1 = sim?volume=3\n",
                   Before::Nothing,
                   PortOpen,
                   e::HardwareNotAvailable,
                   "comm.conf:1: COM1: unknown simulator option \"volume\""},
        SimFailure{"BadName",
                   "COM16 = sim\nCOM1 = sim:a#b\n",
                   Before::Nothing,
                   PortOpen,
                   e::HardwareNotAvailable,
                   "comm.conf:2: COM1: simulator name \"a#b\" may hold only"}),
    [](const ::testing::TestParamInfo<SimFailure> &info) { return std::string(info.param.name); });

// The word log keeps the latest words only: one word more than it holds
// drops the oldest, word i carrying the elements of the byte i.
TEST_F(Simulator, WordLogKeepsTheLatestWords) {
    ASSERT_TRUE(open().ok());
    for (std::size_t i = 0; i <= SimulatedAmplifier::MaxWords; ++i) {
        Word w{};
        for (int bit = 0; bit < 8; ++bit)
            w[bit] = (i >> bit) & 1;
        send({w});
    }
    ASSERT_EQ(amp.words().size(), SimulatedAmplifier::MaxWords);
    EXPECT_EQ(amp.words().front().byte(), 1) << "word 0 dropped";
    EXPECT_EQ(amp.words().back().byte(), SimulatedAmplifier::MaxWords % 256) << "the latest kept";
}

TEST_F(Simulator, FrontPanelFollowsTheAmplifierAndNeverKeepsTheProgramAlive) {
    int argc = 1;
    char name[] = "comm_tests", *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    ct::writeConfig(QStringLiteral("COM1 = sim:panel\nCOM2 = sim:panel?panel=1\n"));
    ASSERT_TRUE(open().ok());
    EXPECT_EQ(SimulatedAmplifier::get(QStringLiteral("panel")).panel(), nullptr)
        << "only a mapping with panel=1 shows it";
    ASSERT_TRUE(open(false).ok());
    ASSERT_TRUE(put(CommPort, Variant(std::int16_t(2))).ok());
    ASSERT_TRUE(open().ok());
    QPointer<simulator::FrontPanel> panel =
        SimulatedAmplifier::get(QStringLiteral("panel")).panel();
    ASSERT_TRUE(panel) << "panel=1 makes it";
    EXPECT_TRUE(panel->isVisible()) << "panel=1 shows it";
    EXPECT_EQ(panel->stateText(), "Power off | Standby off | Input 1 | Carrier off")
        << "the amplifier's state";
    panel->powerButton()->click();
    EXPECT_TRUE(cd()) << "its power button switches the amplifier on";
    EXPECT_TRUE(panel->stateText().startsWith("Power on")) << "and it shows so";
    QWidget main;
    main.show();
    QTimer::singleShot(0, &main, &QWidget::close);
    QTimer::singleShot(5000, &app, [&] { app.exit(1); }); // only if the panel kept it alive
    EXPECT_EQ(app.exec(), 0) << "the application ends with its last window";
    EXPECT_FALSE(panel) << "it goes with the application";
}

// powerkey=0: an amplifier whose power key does nothing, on or off: the
// carrier stays as it was through five presses (as many as the panel tries at
// its exit). powerkey=1 is the ordinary key, which five presses toggle.
struct PowerKey {
    const char *name;
    const char *target;
    bool carrier;
};

class SimulatorPowerKey : public Simulator, public ::testing::WithParamInterface<PowerKey> {};

TEST_P(SimulatorPowerKey, FivePressesLeaveTheCarrierAsTheOptionSays) {
    ct::writeConfig(QStringLiteral("COM1 = %1\n").arg(QLatin1String(GetParam().target)));
    ASSERT_TRUE(open().ok()) << GetParam().name;
    send({Power, Off, Power, Off, Power, Off, Power, Off, Power, Off});
    EXPECT_EQ(cd(), GetParam().carrier) << GetParam().name << ": carrier after five presses";
}

INSTANTIATE_TEST_SUITE_P(
    Targets, SimulatorPowerKey,
    ::testing::Values(PowerKey{"DeadKeyStaysOn", "sim:dead-on?power=on&powerkey=0", true},
                      PowerKey{"DeadKeyStaysOff", "sim:dead-off?powerkey=0", false},
                      PowerKey{"WorkingKeyToggles", "sim:works?powerkey=1", true}),
    [](const auto &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(PowerKey, SimulatorFailure,
                         ::testing::Values(SimFailure{"BadPowerKey",
                                                      "COM1 = sim:a?powerkey=off\n",
                                                      Before::Nothing,
                                                      PortOpen,
                                                      e::HardwareNotAvailable,
                                                      "comm.conf:1: COM1: bad powerkey \"off\" ("}),
                         [](const ::testing::TestParamInfo<SimFailure> &info) {
                             return std::string(info.param.name);
                         });
