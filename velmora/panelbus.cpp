#include "panelbus.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusReply>
#include <QLoggingCategory>
#include <cstdio>

#include "panel_adaptor.h"
#include "panelmodel.h"
#include "settingsfile.h"
#include "windowing/timers.h"

namespace velmora {

Q_DECLARE_LOGGING_CATEGORY(lcPanel)

using automation::Result;

const QString PanelBus::Service = QStringLiteral("org.velmora.Panel");
const QString PanelBus::Path = QStringLiteral("/org/velmora/Panel");

namespace {

// A refusal: the error's source carries the D-Bus error name.
automation::Error refusal(const char *why, const QString &message) {
    return automation::makeError(automation::err::InvalidCall,
                                 message,
                                 PanelBus::Service + QStringLiteral(".Error.") +
                                     QLatin1String(why));
}

enum class NameRequest { Got, Taken, Failed };

// Asks the bus for the name without queueing for it: one round trip, whose
// answer tells whether it was free (and is ours now) or owned already, by
// another connection or by this one.
NameRequest requestName(const QDBusConnection &bus, const QString &name) {
    QDBusMessage request = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                          QStringLiteral("/org/freedesktop/DBus"),
                                                          QStringLiteral("org.freedesktop.DBus"),
                                                          QStringLiteral("RequestName"));
    constexpr uint DoNotQueue = 0x4;
    request << name << DoNotQueue;
    const QDBusReply<uint> reply = bus.call(request);
    if (!reply.isValid())
        return NameRequest::Failed;
    constexpr uint PrimaryOwner = 1;
    return reply.value() == PrimaryOwner ? NameRequest::Got : NameRequest::Taken;
}

} // namespace

std::unique_ptr<PanelBus> PanelBus::offer(Panel *panel) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr,
                     "velmora: no session bus (%s); running without %s\n",
                     qPrintable(bus.lastError().message()),
                     qPrintable(Service));
        return nullptr;
    }
    // Owned already (another panel, or this one): never taken over, and never
    // given up by an offer that did not get it. The object is in place before
    // the name is asked for, so that no call finds the name without it.
    const auto taken = [] {
        std::fprintf(stderr,
                     "velmora: %s is taken on the session bus; running without it\n",
                     qPrintable(Service));
        return nullptr;
    };
    if (bus.objectRegisteredAt(Path))
        return taken();
    std::unique_ptr<PanelBus> offered(new PanelBus(panel, bus));
    if (bus.registerObject(Path, offered.get(), QDBusConnection::ExportAdaptors)) {
        switch (requestName(bus, Service)) {
        case NameRequest::Got:
            offered->offered_ = true;
            return offered;
        case NameRequest::Taken:
            bus.unregisterObject(Path);
            return taken();
        case NameRequest::Failed:
            bus.unregisterObject(Path);
            break;
        }
    }
    std::fprintf(stderr,
                 "velmora: %s cannot be offered on the session bus; running without it\n",
                 qPrintable(Service));
    return nullptr;
}

PanelBus::PanelBus(Panel *panel, QDBusConnection bus) : panel_(panel), bus_(std::move(bus)) {
    new PanelAdaptor(this);
    shown_ = read();
    connect(panel_, &Panel::settled, this, &PanelBus::refresh);
}

PanelBus::~PanelBus() {
    if (!offered_)
        return;
    // The name goes first, so that no call can find the name without the
    // object; the calls that reached this process before are answered.
    bus_.unregisterService(Service);
    QCoreApplication::sendPostedEvents(this);
    bus_.unregisterObject(Path);
}

PanelBus::Snapshot PanelBus::read() const {
    static const QMap<Panel::Phase, QString> states = {{Panel::Phase::Off, "off"},
                                                       {Panel::Phase::WarmingUp, "warming up"},
                                                       {Panel::Phase::Ready, "ready"}};
    Snapshot s;
    s.powered = panel_->powered();
    s.state = states.value(panel_->phase());
    s.warmUpRemaining = panel_->warmUpLeft();
    // The port's name is made only when its number changes.
    const int number = panel_->portNumber();
    s.portNumber = number;
    s.port = number == shown_.portNumber ? shown_.port
             : number > 0                ? QStringLiteral("COM%1").arg(number)
                                         : QString();
    s.portOpen = panel_->portOpen();
    s.portProblem = panel_->portProblem();
    return s;
}

void PanelBus::refresh() {
    if (!panel_)
        return;
    const Snapshot now = read();
    QVariantMap changed;
    const auto note = [&](const char *name, const auto &was, const auto &is) {
        if (was != is)
            changed.insert(QLatin1String(name), QVariant::fromValue(is));
    };
    note("Powered", shown_.powered, now.powered);
    note("State", shown_.state, now.state);
    note("WarmUpRemaining", shown_.warmUpRemaining, now.warmUpRemaining);
    note("Port", shown_.port, now.port);
    note("PortOpen", shown_.portOpen, now.portOpen);
    note("PortProblem", shown_.portProblem, now.portProblem);
    shown_ = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(Path,
                                   QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << Service << changed << QStringList();
    bus_.send(signal);
}

void PanelBus::command(const std::function<Result<>()> &steps) {
    // "Выход" confirmed (or the session ending): the process ends once its
    // windows are closed.
    if (!panel_ || panel_->closing()) {
        sendErrorReply(Service + QStringLiteral(".Error.Closing"),
                       QStringLiteral("the panel is closing"));
        return;
    }
    // Only a message box's own loop lets a call in while a handler runs.
    if (windowing::HandlerScope::active()) {
        sendErrorReply(
            Service + QStringLiteral(".Error.Busy"),
            QStringLiteral("the panel is busy: it waits for an answer to a question of its own"));
        return;
    }
    // The panel's values that changed are told as the steps end.
    const Result<> done = panel_->runUnattended(steps);
    if (done.ok())
        return;
    const automation::Error &e = done.error();
    qCDebug(lcPanel) << "bus command refused:" << e.source << e.description;
    const bool ours = e.source.startsWith(Service + QLatin1Char('.'));
    sendErrorReply(ours ? e.source : Service + QStringLiteral(".Error.SendFailed"),
                   ours ? e.description
                        : QStringLiteral("not every word was sent: %1").arg(e.description));
}

Result<> PanelBus::portReady() const {
    const QString port = read().port;
    const Component &control = panel_->serialPort();
    if (!control.available())
        return refusal(
            "PortClosed",
            QStringLiteral("%1 cannot be used: %2").arg(port, control.creationError().description));
    if (!panel_->portOpen())
        return refusal(
            "PortClosed",
            panel_->portProblem().isEmpty()
                ? QStringLiteral("%1 is not open").arg(port)
                : QStringLiteral("%1 is not open (%2)").arg(port, panel_->portProblem()));
    return {};
}

void PanelBus::PowerOn() {
    command([this]() -> Result<> {
        TRY(portReady());
        // The power key toggles: pressed on a running amplifier it would switch it off.
        if (TRY(panel_->carrier()))
            return refusal("AlreadyOn",
                           QStringLiteral("the amplifier on %1 is on already").arg(read().port));
        return panel_->Vkl_Click();
    });
}

void PanelBus::PowerOff() {
    command([this]() -> Result<> {
        TRY(portReady());
        if (!TRY(panel_->carrier()))
            return refusal("AlreadyOff",
                           QStringLiteral("the amplifier on %1 is off already").arg(read().port));
        // The call is the confirmation.
        return panel_->confirmedPowerOff();
    });
}

void PanelBus::SetStandby(bool on) {
    command([this, on]() -> Result<> {
        TRY(portReady());
        // "Вкл" is JdVikl, "Выкл" JdVkl.
        return on ? panel_->JdVikl_Click() : panel_->JdVkl_Click();
    });
}

void PanelBus::SelectInput(int input) {
    command([this, input]() -> Result<> {
        if (input < 1 || input > 3)
            return refusal(
                "InvalidArgument",
                QStringLiteral("there is no input %1: the inputs are 1, 2 and 3").arg(input));
        TRY(portReady());
        // A switch, not a table of member pointers: GCC 12 misreads such a
        // table inside this lambda (undefined behaviour under UBSan).
        switch (input) {
        case 1:
            return panel_->Kom1_Click();
        case 2:
            return panel_->Kom2_Click();
        default:
            return panel_->Kom3_Click();
        }
    });
}

void PanelBus::Show() {
    command([this] { return panel_->showWindow(); });
}

void PanelBus::Quit() {
    command([this]() -> Result<> {
        // The power-off words must be able to go out; without the automatic
        // power-off none are sent.
        if (readSettings().autoOffSet())
            TRY(portReady());
        // The call is the answer to "Выход".
        return panel_->exitConfirmed();
    });
}

} // namespace velmora
