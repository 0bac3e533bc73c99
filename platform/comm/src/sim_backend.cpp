// The line backend of a port mapped to the simulated amplifier.
#include <QApplication>

#include "backends.h"
#include "comm/errors.h"
#include "comm/simulator.h"

namespace comm {

namespace {

class SimulatorBackend : public LineBackend {
  public:
    explicit SimulatorBackend(const PortTarget &target)
        : amp_(SimulatedAmplifier::get(target.simulator, target.powerOn
                                                             ? SimulatedAmplifier::Start::On
                                                             : SimulatedAmplifier::Start::Off)),
          target_(target) {}
    ~SimulatorBackend() override { close(); }

    automation::Result<> open(int baud, bool rts, bool dtr) override {
        if (!amp_.pluggedIn())
            return lineError(
                err::InvalidPort,
                QStringLiteral("no such device: %1 is unplugged").arg(target_.describe()));
        connection_ = amp_.attach();
        if (!connection_)
            return lineError(err::PortAlreadyOpen,
                             QStringLiteral("%1 is already in use").arg(target_.describe()));
        if (target_.carrierDelayMs >= 0)
            amp_.setCarrierDelay(target_.carrierDelayMs);
        amp_.setSpeed(baud);
        setRts(rts);
        setDtr(dtr);
        if (target_.panel && qobject_cast<QApplication *>(QCoreApplication::instance()))
            amp_.showPanel();
        return {};
    }

    void close() override {
        if (connection_)
            amp_.detach(connection_);
        connection_ = 0;
    }

    automation::Result<> setSpeed(int baud) override {
        if (present())
            amp_.setSpeed(baud);
        return {};
    }

    void setRts(bool on) override {
        if (present())
            amp_.setLines(on, amp_.dtr());
    }
    void setDtr(bool on) override {
        if (present())
            amp_.setLines(amp_.rts(), on);
    }
    bool carrier() override { return present() && amp_.carrier(); }

    automation::Result<> write(QByteArrayView bytes) override {
        if (!present())
            return lineError(
                err::HardwareNotAvailable,
                QStringLiteral("%1 is no longer available (unplugged)").arg(target_.describe()));
        amp_.receive(bytes);
        return {};
    }

    bool present() const override { return connection_ && amp_.present(connection_); }

  private:
    SimulatedAmplifier &amp_;
    PortTarget target_;
    std::uint64_t connection_ = 0;
};

} // namespace

std::unique_ptr<LineBackend> makeSimulatorBackend(const PortTarget &target) {
    return std::make_unique<SimulatorBackend>(target);
}

} // namespace comm
