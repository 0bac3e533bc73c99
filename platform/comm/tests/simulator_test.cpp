// The simulated amplifier: decoding words from the lines, its keys, carrier
// detect, unplugging.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "comm/simulator.h"
#include "windowing/timers.h"

using comm::SimulatedAmplifier;

namespace {

// Drives the lines the way the program shifts a word out: per element RTS
// low, DTR low, RTS = element, DTR high; then the closing character.
void sendWord(SimulatedAmplifier& amp, std::array<bool, 8> bits)
{
    for (bool b : bits) {
        amp.setLines(false, amp.dtr());
        amp.setLines(false, false);
        amp.setLines(b, false);
        amp.setLines(b, true);
    }
    amp.receive("0");
}

std::array<bool, 8> press(int element)
{
    std::array<bool, 8> w{};
    if (element)
        w[element - 1] = true;
    return w;
}

const std::array<bool, 8> none{};

class Simulator : public ::testing::Test {
protected:
    void SetUp() override
    {
        windowing::useManualClock();
        amp.reset();
        connection = amp.attach();   // the port is open: lines as the kernel leaves them
        amp.clearWords();
        amp.receive("0");            // the bit clocked by the open makes a malformed word
        amp.clearWords();
    }
    void TearDown() override { amp.detach(connection); }

    SimulatedAmplifier& amp = SimulatedAmplifier::get(QStringLiteral("simulator-test"));
    std::uint64_t connection = 0;
};

} // namespace

TEST(SimulatorLines, FirstOpenClocksOneBitAndCloseKeepsTheLines)
{
    auto& amp = SimulatedAmplifier::get(QStringLiteral("lines-test"));
    amp.reset();
    EXPECT_FALSE(amp.dtr());
    const auto id = amp.attach();
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(amp.rts());
    EXPECT_TRUE(amp.dtr());
    ASSERT_EQ(amp.pendingBits(), std::vector<bool>{true});
    // A second port cannot open it while the first holds it.
    EXPECT_EQ(amp.attach(), 0u);
    amp.setLines(false, true);
    amp.detach(id);
    EXPECT_FALSE(amp.rts());
    EXPECT_TRUE(amp.dtr());
    // Reopening raises RTS, but DTR is already high: no clock edge.
    const auto again = amp.attach();
    EXPECT_NE(again, id);
    EXPECT_EQ(amp.pendingBits().size(), 1u);
    // The first word after the first open pushes that bit out of the
    // amplifier's shift register: the word stands, the bit is noted.
    sendWord(amp, press(1));
    sendWord(amp, none);
    ASSERT_EQ(amp.words().size(), 2u);
    EXPECT_TRUE(amp.words()[0].wellFormed());
    EXPECT_EQ(amp.words()[0].text(), "10000000");
    EXPECT_EQ(amp.words()[0].shiftedOut, std::vector<bool>{true});
    EXPECT_TRUE(amp.words()[1].shiftedOut.empty());
    EXPECT_TRUE(amp.powered()) << "the first command after the open is obeyed";
    amp.detach(again);
}

TEST_F(Simulator, DecodesRtsAtEachDtrRisingEdge)
{
    sendWord(amp, {true, false, false, true, false, true, false, false});
    ASSERT_EQ(amp.words().size(), 1u);
    const auto& w = amp.words()[0];
    EXPECT_TRUE(w.wellFormed());
    EXPECT_EQ(w.text(), "10010100");
    EXPECT_EQ(w.byte(), 0x29);
    EXPECT_TRUE(w.element(1));
    EXPECT_TRUE(w.element(6));
    EXPECT_FALSE(w.element(2));

    // RTS changes while DTR is high are not sampled; a falling DTR clocks nothing.
    amp.setLines(true, true);
    amp.setLines(false, true);
    amp.setLines(true, false);
    EXPECT_TRUE(amp.pendingBits().empty());
    amp.setLines(true, true);
    EXPECT_EQ(amp.pendingBits(), std::vector<bool>{true});
}

TEST_F(Simulator, MalformedWordsAreLoggedAndIgnored)
{
    // Seven bits, then the closing character: not acted on.
    for (int i = 0; i < 7; ++i) {
        amp.setLines(true, false);
        amp.setLines(true, true);
    }
    amp.receive("0");
    sendWord(amp, none);
    // Two closing characters in a row: the second ends an empty word.
    amp.receive("0");
    // Eleven bits: the last eight are the word, the first three shifted out.
    for (bool b : {true, true, false, true, false, false, false, false, false, false, false}) {
        amp.setLines(b, false);
        amp.setLines(b, true);
    }
    amp.receive("0");
    ASSERT_EQ(amp.words().size(), 4u);
    EXPECT_EQ(amp.words()[3].text(), "10000000");
    EXPECT_EQ(amp.words()[3].shiftedOut, (std::vector<bool>{true, true, false}));
    EXPECT_FALSE(amp.words()[0].wellFormed());
    EXPECT_EQ(amp.words()[0].text(), "1111111");
    EXPECT_TRUE(amp.words()[1].wellFormed());
    EXPECT_FALSE(amp.words()[2].wellFormed());
    EXPECT_TRUE(amp.words()[2].bits.empty());
    EXPECT_FALSE(amp.powered());
    sendWord(amp, none);
    EXPECT_TRUE(amp.powered()) << "the eleven-bit word pressed the power key";
}

TEST_F(Simulator, PowerKeyTogglesOnPressAndRelease)
{
    QSignalSpy changed(&amp, &SimulatedAmplifier::changed);
    sendWord(amp, press(1));
    EXPECT_FALSE(amp.powered()) << "a press alone does nothing";
    sendWord(amp, none);
    EXPECT_TRUE(amp.powered());
    EXPECT_TRUE(amp.carrier());
    EXPECT_GE(changed.count(), 1);
    sendWord(amp, none);
    EXPECT_TRUE(amp.powered());
    // The power-off pattern: press, then three released words.
    sendWord(amp, press(1));
    sendWord(amp, none);
    sendWord(amp, none);
    sendWord(amp, none);
    EXPECT_FALSE(amp.powered());
    EXPECT_FALSE(amp.carrier());
    // The front panel's own button.
    amp.pressPowerKey();
    EXPECT_TRUE(amp.powered());
    EXPECT_TRUE(amp.carrier());
}

TEST_F(Simulator, StandbyAndInputKeys)
{
    // Switched off, only the power key works.
    sendWord(amp, press(4));
    sendWord(amp, none);
    EXPECT_FALSE(amp.standby());

    amp.pressPowerKey();
    sendWord(amp, press(4));
    sendWord(amp, press(4));   // two clicks within 150 ms: one release
    sendWord(amp, none);
    EXPECT_TRUE(amp.standby());
    sendWord(amp, press(3));
    sendWord(amp, none);
    EXPECT_FALSE(amp.standby());

    auto selectInput = [&](int n) {
        for (int i = 0; i < 2; ++i) {
            sendWord(amp, press(6));
            sendWord(amp, none);
        }
        for (int i = 1; i < n; ++i) {
            sendWord(amp, press(5));
            sendWord(amp, none);
        }
    };
    selectInput(3);
    EXPECT_EQ(amp.input(), 3);
    selectInput(2);
    EXPECT_EQ(amp.input(), 2);
    selectInput(1);
    EXPECT_EQ(amp.input(), 1);
    // One press of the first-input key alone selects nothing.
    selectInput(2);
    sendWord(amp, press(6));
    sendWord(amp, none);
    EXPECT_EQ(amp.input(), 2);

    // The state survives switching off and on.
    amp.pressPowerKey();
    amp.pressPowerKey();
    EXPECT_EQ(amp.input(), 2);
    EXPECT_FALSE(amp.standby());
}

TEST_F(Simulator, CarrierFollowsPowerAfterTheConfiguredDelay)
{
    amp.setCarrierDelay(250);
    sendWord(amp, press(1));
    sendWord(amp, none);
    EXPECT_TRUE(amp.powered());
    EXPECT_FALSE(amp.carrier());
    windowing::advanceClock(249);
    EXPECT_FALSE(amp.carrier());
    windowing::advanceClock(1);
    EXPECT_TRUE(amp.carrier());
    // Switching off drops the carrier at once.
    amp.pressPowerKey();
    EXPECT_FALSE(amp.carrier());
    // Off again before the delay ran out: the carrier never comes.
    amp.pressPowerKey();
    windowing::advanceClock(100);
    amp.pressPowerKey();
    windowing::advanceClock(1000);
    EXPECT_FALSE(amp.carrier());
    EXPECT_FALSE(amp.powered());
}

TEST_F(Simulator, UnplugLosesTheConnectionAndReplugIsANewDevice)
{
    amp.pressPowerKey();
    amp.unplug();
    EXPECT_FALSE(amp.present(connection));
    EXPECT_FALSE(amp.pluggedIn());
    EXPECT_EQ(amp.attach(), 0u) << "nothing to open while unplugged";
    EXPECT_TRUE(amp.powered()) << "the amplifier itself stays on";
    amp.replug();
    EXPECT_FALSE(amp.dtr());
    EXPECT_FALSE(amp.present(connection));
    connection = amp.attach();
    ASSERT_NE(connection, 0u);
    EXPECT_TRUE(amp.present(connection));
    EXPECT_EQ(amp.pendingBits().size(), 1u) << "opening the new device clocks a bit";
}
