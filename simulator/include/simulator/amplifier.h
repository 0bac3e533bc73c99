// The simulated amplifier: what a port mapped to "sim" or "sim:<name>" drives.
//
// It lives in the process that opens the port (the program, ctlhost, a test),
// one per name, created on first use and kept for the life of the process. It
// watches the lines the way the amplifier's input, a clocked shift register,
// does: RTS is shifted in at each rising edge of DTR, and a character received
// on the transmit line latches the word, the last eight bits clocked. Bits
// clocked before those eight have been shifted out; the log notes them with
// the word. A word of fewer than eight bits is kept in the log as malformed
// and ignored. The log keeps the last MaxWords words.
//
// Keys act when released: a word with the key's element set followed by a
// well-formed word with it clear. Element 1 is the power key (toggles
// power, unless set to do nothing); 4 standby on, 3 standby off; 6 the first-input key (two presses
// select input 1), 5 the next-input key (1 -> 2 -> 3 -> 1). While the
// amplifier is off only the power key works. Carrier detect follows power:
// it drops at once on switch-off and rises carrierDelayMs after switch-on
// (at once when 0), timed by windowing::Timer so tests drive it with the
// manual clock.
//
// The lines are modelled as a real port leaves them with HUPCL cleared: they
// start low (nothing has opened the port yet); every open raises DTR and RTS
// (the kernel does), so the first open clocks one stray bit (RTS high) into
// the amplifier, which the next word's eight bits shift out; a close leaves
// the lines as they are.
#pragma once

#include <QByteArrayView>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <deque>
#include <vector>

#include "simulator/frontpanel.h"

namespace windowing {
class Timer;
}

namespace simulator {

class SimulatedAmplifier : public QObject {
    Q_OBJECT
  public:
    // One latched word: the RTS samples in the order they were clocked,
    // element 1 first. Well-formed words have exactly eight; `shiftedOut`
    // holds the bits clocked in front of them, oldest first.
    struct Word {
        std::vector<bool> bits;
        std::vector<bool> shiftedOut;
        bool wellFormed() const { return bits.size() == 8; }
        bool element(int i) const { return i >= 1 && i <= int(bits.size()) && bits[i - 1]; }
        // The eight elements as a byte, element 1 in bit 0 (well-formed words).
        std::uint8_t byte() const;
        // "10000000" style, element 1 first.
        QString text() const;
    };

    // The amplifier of that name, created on first use; never destroyed.
    // `start` is the power state of an amplifier this call creates (already
    // on: carrier detect at once); an existing amplifier keeps its own.
    enum class Start { Off, On };
    static SimulatedAmplifier &get(const QString &name = QStringLiteral("default"),
                                   Start start = Start::Off);

    QString name() const { return name_; }

    bool powered() const { return powered_; }
    bool standby() const { return standby_; }
    int input() const { return input_; } // 1..3
    bool carrier() const { return carrier_; }
    bool pluggedIn() const { return plugged_; }
    bool rts() const { return rts_; }
    bool dtr() const { return dtr_; }
    int speed() const { return speed_; } // last line speed set, bit/s
    bool portOpen() const { return attached_; }

    // The word log, oldest first: the last MaxWords words latched.
    static constexpr std::size_t MaxWords = 1000;
    const std::deque<Word> &words() const { return words_; }
    // Bits clocked since the last closing character.
    const std::vector<bool> &pendingBits() const { return pending_; }
    void clearWords() { words_.clear(); }

    // Delay from power-on to carrier detect, ms (0: at once).
    void setCarrierDelay(int ms) { carrierDelayMs_ = ms < 0 ? 0 : ms; }
    int carrierDelay() const { return carrierDelayMs_; }
    // Whether element 1 of a word (the power key) switches it; when it does
    // not, power and carrier stay as they are (the front panel's button still
    // switches it). A new amplifier's key works.
    void setPowerKeyWorks(bool works) { powerKeyWorks_ = works; }
    bool powerKeyWorks() const { return powerKeyWorks_; }

    // The front panel's power button: toggles power without the program.
    void pressPowerKey();
    // Pulls the cable: an open port loses the device (carrier False, line
    // writes ignored, output fails), and opening fails until replug().
    void unplug();
    // Plugs it in again, as a new device: lines low until the next open.
    void replug();
    // Back to the state of a new amplifier: off, not in standby, input 1,
    // lines low, plugged in, no words, no delay, its power key working. The
    // port must be closed.
    void reset();

    // Shows the front-panel window (needs a QApplication); a no-op if shown.
    void showPanel();
    FrontPanel *panel() const { return panel_; }

    // The line side, used by the simulator backend. attach() connects a port
    // (opened: the kernel raises DTR and RTS) and returns its connection id,
    // 0 when unplugged or already connected; present(id) turns false when the
    // amplifier is unplugged under that connection.
    std::uint64_t attach();
    void detach(std::uint64_t id);
    bool present(std::uint64_t id) const { return attached_ && id == connection_; }
    void setLines(bool rts, bool dtr);
    void setSpeed(int baud) { speed_ = baud; }
    void receive(QByteArrayView bytes);

  signals:
    void changed();

  private:
    explicit SimulatedAmplifier(const QString &name);
    void endWord();
    void act(const Word &word);
    void setPowered(bool on);
    void setCarrier(bool on);

    QString name_;
    bool powered_ = false;
    bool standby_ = false;
    int input_ = 1;
    bool carrier_ = false;
    bool plugged_ = true;
    bool attached_ = false;
    std::uint64_t connection_ = 0;
    bool rts_ = false;
    bool dtr_ = false;
    int speed_ = 0;
    int carrierDelayMs_ = 0;
    bool powerKeyWorks_ = true;
    int firstInputPresses_ = 0;
    std::uint8_t held_ = 0; // elements set in the last well-formed word
    std::vector<bool> pending_;
    std::deque<Word> words_;
    windowing::Timer *carrierTimer_ = nullptr;
    QPointer<FrontPanel> panel_;
};

} // namespace simulator
