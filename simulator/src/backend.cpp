// The "sim" scheme: a port mapped to "sim", "sim:<name>" or either followed
// by "?delay=<ms>&panel=0|1&power=on|off&powerkey=0|1" leads to the simulated amplifier
// of that name. The serial-port control loads this library when it first
// reads such a target and asks it through SchemeReaderSymbol.
#include <QApplication>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <type_traits>

#include "comm/errors.h"
#include "comm/lines.h"
#include "simulator/amplifier.h"

namespace simulator {

namespace {

using comm::lineError;
namespace err = comm::err;

struct Options {
    QString name;
    int carrierDelayMs = -1; // -1: not given, the amplifier keeps its own
    bool panel = false;
    bool powerOn = false; // the amplifier starts powered when created
    int powerKey = -1;    // 0: its power key does nothing, 1: it works; -1: kept as it is

    QString describe() const { return QStringLiteral("the simulated amplifier \"%1\"").arg(name); }
};

class SimulatorBackend : public comm::LineBackend {
  public:
    explicit SimulatorBackend(const Options &target)
        : amp_(SimulatedAmplifier::get(target.name, target.powerOn
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
        if (target_.powerKey >= 0)
            amp_.setPowerKeyWorks(target_.powerKey == 1);
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
    Options target_;
    std::uint64_t connection_ = 0;
};

class SimulatorTarget : public comm::LineTarget {
  public:
    explicit SimulatorTarget(Options options) : options_(std::move(options)) {}
    QString describe() const override { return options_.describe(); }
    std::unique_ptr<comm::LineBackend> line() const override {
        return std::make_unique<SimulatorBackend>(options_);
    }

  private:
    Options options_;
};

automation::Error bad(const QString &description) {
    return lineError(err::HardwareNotAvailable, description);
}

// A simulator's name: ASCII letters, digits, '_', '.' and '-'.
bool isPlainName(QStringView name) {
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               c == u'_' || c == u'.' || c == u'-';
    });
}

automation::Result<> readOption(Options &t, const QString &key, const QString &val) {
    bool ok = false;
    const int n = val.toInt(&ok);
    if (key == QLatin1String("delay") && ok && n >= 0 && n <= 600000) {
        t.carrierDelayMs = n;
    } else if (key == QLatin1String("panel") && ok && (n == 0 || n == 1)) {
        t.panel = n == 1;
    } else if (key == QLatin1String("power") &&
               (val == QLatin1String("on") || val == QLatin1String("off"))) {
        t.powerOn = val == QLatin1String("on");
    } else if (key == QLatin1String("powerkey") && ok && (n == 0 || n == 1)) {
        t.powerKey = n;
    } else if (key == QLatin1String("delay") || key == QLatin1String("panel") ||
               key == QLatin1String("power") || key == QLatin1String("powerkey")) {
        return bad(QStringLiteral("bad %1 \"%2\" (delay: 0-600000 ms, panel: 0 or 1, power: on or "
                                  "off, powerkey: 0 or 1)")
                       .arg(key, val));
    } else {
        return bad(QStringLiteral("unknown simulator option \"%1\" (known: delay, panel, power, "
                                  "powerkey)")
                       .arg(key));
    }
    return {};
}

// "sim", "sim?options", "sim:name", "sim:name?options"; the control hands
// over only values of this scheme.
comm::TargetResult readTarget(const QString &value) {
    Options t;
    const QString rest = value.mid(value.size() > 3 && value[3] == QLatin1Char(':') ? 4 : 3);
    const qsizetype q = rest.indexOf(QLatin1Char('?'));
    t.name = q < 0 ? rest : rest.left(q);
    if (t.name.isEmpty())
        t.name = QStringLiteral("default");
    if (!isPlainName(t.name)) {
        return bad(
            QStringLiteral("simulator name \"%1\" may hold only letters, digits, '_', '.' and '-'")
                .arg(t.name));
    }
    if (q >= 0) {
        const QUrlQuery query(rest.mid(q + 1));
        for (const auto &[key, val] : query.queryItems(QUrl::FullyDecoded))
            TRY(readOption(t, key, val));
    }
    return std::make_shared<SimulatorTarget>(std::move(t));
}

} // namespace

} // namespace simulator

extern "C" comm::TargetResult velmora_line_scheme(const QString &value) {
    return simulator::readTarget(value);
}

// The control calls it through a SchemeReader.
static_assert(std::is_same_v<decltype(&velmora_line_scheme), comm::SchemeReader>);
