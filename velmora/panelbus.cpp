#include "panelbus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLoggingCategory>
#include <cmath>
#include <cstdio>

#include "dispids.h"
#include "mainwindow.h"
#include "panel_adaptor.h"
#include "ui_mainwindow.h"
#include "windowing/timers.h"

namespace velmora {

Q_DECLARE_LOGGING_CATEGORY(lcPanel)

using automation::Result;
using automation::Variant;

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

} // namespace

PanelBus *PanelBus::offer(Velmora *window) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr,
                     "velmora: no session bus (%s); running without %s\n",
                     qPrintable(bus.lastError().message()),
                     qPrintable(Service));
        return nullptr;
    }
    // Owned already (another panel, or this one): never taken over, and never
    // given up by an offer that did not get it.
    if (bus.interface()->isServiceRegistered(Service)) {
        std::fprintf(stderr,
                     "velmora: %s is taken on the session bus; running without it\n",
                     qPrintable(Service));
        return nullptr;
    }
    auto *offered = new PanelBus(window, bus);
    const bool exported = bus.registerObject(Path, offered, QDBusConnection::ExportAdaptors);
    if (exported && bus.registerService(Service)) {
        offered->offered_ = true;
        return offered;
    }
    std::fprintf(stderr,
                 "velmora: %s cannot be offered on the session bus; running without it\n",
                 qPrintable(Service));
    if (exported)
        bus.unregisterObject(Path);
    delete offered;
    return nullptr;
}

PanelBus::PanelBus(Velmora *window, QDBusConnection bus)
    : QObject(window), window_(window), bus_(std::move(bus)) {
    new PanelAdaptor(this);
    shown_ = read();
    connect(window_->Timer2, &windowing::Timer::timeout, this, &PanelBus::refresh);
    connect(window_->Timer4, &windowing::Timer::timeout, this, &PanelBus::refresh);
}

PanelBus::~PanelBus() {
    if (!offered_)
        return;
    bus_.unregisterService(Service);
    bus_.unregisterObject(Path);
}

PanelBus::Snapshot PanelBus::read() const {
    const Ui::Velmora &ui = *window_->ui;
    Snapshot s;
    // The poll's view: it writes the state word from the carrier it reads.
    s.powered = ui.Label4->text() == QStringLiteral("ВКЛЮЧЕН");
    const bool warming = s.powered && ui.Label3->text() == QStringLiteral("Идет прогрев радиоламп");
    s.state = !s.powered ? QStringLiteral("off")
              : warming  ? QStringLiteral("warming up")
                         : QStringLiteral("ready");
    const std::int64_t left = window_->Timer3->remainingMs();
    s.warmUpRemaining = warming && left >= 0 ? uint(std::ceil(double(left) / 1000)) : 0;
    const int number =
        int(window_->MSComm1.get(comm::CommPort).value_or(Variant()).toR8().value_or(0));
    // The poll reads the state every tick; the port's name is made only when
    // its number changes.
    s.portNumber = number;
    s.port = number == shown_.portNumber ? shown_.port
             : number > 0                ? QStringLiteral("COM%1").arg(number)
                                         : QString();
    s.portOpen = window_->MSComm1.get(comm::PortOpen).value_or(Variant()).toBool().value_or(false);
    return s;
}

void PanelBus::refresh() {
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
    // Only a message box's own loop lets a call in while a handler runs.
    if (windowing::HandlerScope::active()) {
        sendErrorReply(
            Service + QStringLiteral(".Error.Busy"),
            QStringLiteral("the panel is busy: it waits for an answer to a question of its own"));
        return;
    }
    // Unloaded, the window is about to go, and the name with it.
    if (!window_->Timer2->enabled()) {
        sendErrorReply(Service + QStringLiteral(".Error.Busy"),
                       QStringLiteral("the panel is closing"));
        return;
    }
    Result<> done;
    windowing::runHandler([&] {
        window_->Unattended = true;
        done = steps();
        window_->Unattended = false;
    });
    refresh();
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
    if (!window_->MSComm1.available())
        return refusal("PortClosed",
                       QStringLiteral("%1 cannot be used: %2")
                           .arg(port, window_->MSComm1.creationError().description));
    if (!TRY(window_->MSComm1.get(comm::PortOpen)).toBool().value_or(false))
        return refusal("PortClosed",
                       window_->PortWhy.isEmpty()
                           ? QStringLiteral("%1 is not open").arg(port)
                           : QStringLiteral("%1 is not open (%2)").arg(port, window_->PortWhy));
    return {};
}

void PanelBus::PowerOn() {
    command([this]() -> Result<> {
        TRY(portReady());
        // The power key toggles: pressed on a running amplifier it would switch it off.
        if (TRY(window_->carrier()))
            return refusal("AlreadyOn",
                           QStringLiteral("the amplifier on %1 is on already").arg(read().port));
        return window_->Vkl_Click();
    });
}

void PanelBus::PowerOff() {
    command([this]() -> Result<> {
        TRY(portReady());
        if (!TRY(window_->carrier()))
            return refusal("AlreadyOff",
                           QStringLiteral("the amplifier on %1 is off already").arg(read().port));
        // The call is the confirmation; a switch-off the program made is never announced.
        window_->OffShown = true;
        return window_->powerOffLoop();
    });
}

void PanelBus::SetStandby(bool on) {
    command([this, on]() -> Result<> {
        TRY(portReady());
        // "Вкл" is JdVikl, "Выкл" JdVkl.
        (on ? window_->ui->JdVikl : window_->ui->JdVkl)->setChecked(true);
        return on ? window_->JdVikl_Click() : window_->JdVkl_Click();
    });
}

void PanelBus::SelectInput(int input) {
    command([this, input]() -> Result<> {
        if (input < 1 || input > 3)
            return refusal(
                "InvalidArgument",
                QStringLiteral("there is no input %1: the inputs are 1, 2 and 3").arg(input));
        TRY(portReady());
        switch (input) {
        case 1:
            window_->ui->Kom1->setChecked(true);
            return window_->Kom1_Click();
        case 2:
            window_->ui->Kom2->setChecked(true);
            return window_->Kom2_Click();
        default:
            window_->ui->Kom3->setChecked(true);
            return window_->Kom3_Click();
        }
    });
}

} // namespace velmora
