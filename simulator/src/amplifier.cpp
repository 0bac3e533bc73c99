// The simulated amplifier: decodes the command words clocked in on RTS/DTR
// and keeps the amplifier's state.
#include "simulator/amplifier.h"

#include <QApplication>
#include <QHash>
#include <QScreen>

#include "log.h"
#include "simulator/frontpanel.h"
#include "windowing/timers.h"

Q_LOGGING_CATEGORY(lcSimulator, "velmora.simulator", QtWarningMsg)

namespace simulator {

namespace {
constexpr std::uint8_t key(int element) {
    return std::uint8_t(1u << (element - 1));
}
constexpr std::uint8_t PowerKey = key(1);
constexpr std::uint8_t StandbyOffKey = key(3);
constexpr std::uint8_t StandbyOnKey = key(4);
constexpr std::uint8_t NextInputKey = key(5);
constexpr std::uint8_t FirstInputKey = key(6);
} // namespace

std::uint8_t SimulatedAmplifier::Word::byte() const {
    std::uint8_t b = 0;
    for (int i = 0; i < 8 && i < int(bits.size()); ++i)
        if (bits[i])
            b |= std::uint8_t(1u << i);
    return b;
}

QString SimulatedAmplifier::Word::text() const {
    QString s;
    for (bool b : bits)
        s += b ? QLatin1Char('1') : QLatin1Char('0');
    return s;
}

SimulatedAmplifier &SimulatedAmplifier::get(const QString &name, Start start) {
    // Kept for the life of the process, never destroyed: ports, panels and
    // timers may refer to them until the very end.
    static auto *amps = new QHash<QString, SimulatedAmplifier *>;
    SimulatedAmplifier *&amp = (*amps)[name];
    if (!amp) {
        amp = new SimulatedAmplifier(name);
        amp->powered_ = amp->carrier_ = start == Start::On;
    }
    return *amp;
}

SimulatedAmplifier::SimulatedAmplifier(const QString &name) : name_(name) {}

void SimulatedAmplifier::setPowered(bool on) {
    powered_ = on;
    if (!on) {
        if (carrierTimer_)
            carrierTimer_->setEnabled(false);
        setCarrier(false);
    } else if (carrierDelayMs_ == 0) {
        setCarrier(true);
    } else {
        if (!carrierTimer_) {
            carrierTimer_ = new windowing::Timer(this);
            carrierTimer_->onTimer = [this] {
                carrierTimer_->setEnabled(false);
                if (powered_)
                    setCarrier(true);
            };
        }
        carrierTimer_->setEnabled(false);
        carrierTimer_->setInterval(carrierDelayMs_);
        carrierTimer_->setEnabled(true);
    }
    emit changed();
}

void SimulatedAmplifier::setCarrier(bool on) {
    if (carrier_ == on)
        return;
    carrier_ = on;
    emit changed();
}

void SimulatedAmplifier::pressPowerKey() {
    setPowered(!powered_);
}

std::uint64_t SimulatedAmplifier::attach() {
    if (!plugged_ || attached_)
        return 0;
    attached_ = true;
    ++connection_;
    // Opening the port: the kernel raises DTR and RTS together. From low,
    // that is a clock edge with RTS high.
    setLines(true, true);
    emit changed();
    return connection_;
}

void SimulatedAmplifier::detach(std::uint64_t id) {
    if (!present(id))
        return;
    attached_ = false; // HUPCL is cleared: the lines stay as they are
    emit changed();
}

void SimulatedAmplifier::setLines(bool rts, bool dtr) {
    const bool clock = dtr && !dtr_;
    rts_ = rts;
    dtr_ = dtr;
    if (clock)
        pending_.push_back(rts_);
}

void SimulatedAmplifier::receive(QByteArrayView bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i)
        endWord();
}

void SimulatedAmplifier::endWord() {
    // The register holds the last eight bits; earlier ones fell out of it.
    Word word;
    const std::size_t out = pending_.size() > 8 ? pending_.size() - 8 : 0;
    word.shiftedOut.assign(pending_.begin(), pending_.begin() + out);
    word.bits.assign(pending_.begin() + out, pending_.end());
    pending_.clear();
    if (!word.shiftedOut.empty())
        qCDebug(lcSimulator) << "simulated amplifier" << name_ << ":" << word.shiftedOut.size()
                             << "bit(s) shifted out in front of the word" << word.text();
    if (!word.wellFormed())
        qCDebug(lcSimulator) << "simulated amplifier" << name_ << ": malformed word" << word.text()
                             << "ignored";
    if (words_.size() == MaxWords)
        words_.pop_front();
    words_.push_back(word);
    if (word.wellFormed())
        act(word);
}

void SimulatedAmplifier::act(const Word &word) {
    const std::uint8_t now = word.byte();
    const std::uint8_t released = held_ & ~now;
    held_ = now;
    if (!released)
        return;
    const bool wasOn = powered_;
    if ((released & PowerKey) && powerKeyWorks_)
        setPowered(!powered_);
    if (!wasOn || !powered_) {
        firstInputPresses_ = 0;
        return;
    }
    if (released & StandbyOnKey)
        standby_ = true;
    if (released & StandbyOffKey)
        standby_ = false;
    if (released & FirstInputKey) {
        if (++firstInputPresses_ == 2) {
            input_ = 1;
            firstInputPresses_ = 0;
        }
    }
    if (released & NextInputKey) {
        input_ = input_ % 3 + 1;
        firstInputPresses_ = 0;
    }
    emit changed();
}

void SimulatedAmplifier::unplug() {
    if (!plugged_)
        return;
    plugged_ = false;
    attached_ = false;
    // Without the cable the amplifier's inputs fall; falling edges clock nothing.
    rts_ = dtr_ = false;
    emit changed();
}

void SimulatedAmplifier::replug() {
    if (plugged_)
        return;
    plugged_ = true;
    emit changed();
}

void SimulatedAmplifier::reset() {
    if (carrierTimer_)
        carrierTimer_->setEnabled(false);
    powered_ = standby_ = carrier_ = false;
    input_ = 1;
    plugged_ = true;
    attached_ = false;
    rts_ = dtr_ = false;
    speed_ = 0;
    carrierDelayMs_ = 0;
    powerKeyWorks_ = true;
    firstInputPresses_ = 0;
    held_ = 0;
    pending_.clear();
    words_.clear();
    emit changed();
}

void SimulatedAmplifier::showPanel() {
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    if (!panel_) {
        panel_ = new FrontPanel(*this);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, panel_, &QObject::deleteLater);
        // Top right of the screen, clear of the program's own windows, which
        // open towards the top left.
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            panel_->adjustSize();
            const QRect area = screen->availableGeometry();
            panel_->move(area.right() - panel_->frameGeometry().width() - 16, area.top() + 16);
        }
    }
    panel_->show();
    panel_->raise();
}

} // namespace simulator
