#include "panelmodel.h"

#include <QLoggingCategory>
#include <QScopeGuard>
#include <QWidget>
#include <cmath>
#include <cstdio>

#include "automation/picture.h"
#include "dispids.h"
#include "settingsfile.h"
#include "shell/trayhosts.h"
#include "windowing/handles.h"
#include "windowing/instance.h"
#include "windowing/messagebox.h"
#include "windowing/timers.h"

namespace velmora {

Q_LOGGING_CATEGORY(lcPanel, "velmora.panel", QtWarningMsg)

using automation::Result;
using automation::Variant;

namespace {

const QString TextOn = QStringLiteral("ВКЛЮЧЕН");
const QString TextOff = QStringLiteral("ВЫКЛЮЧЕН");
const QString TextWarming = QStringLiteral("Идет прогрев радиоламп");
const QString TextReady = QStringLiteral("Готов к работе");
const QString TipOn = QStringLiteral("Усилитель включен");
const QString TipOff = QStringLiteral("Усилитель выключен");
const QString TipPowerOnFailed = QStringLiteral("Не удалось включить усилитель");
const QString AskPort = QStringLiteral("Нет доступа к текущему COM порту. Настроить номер порта?");
const QString AskExit = QStringLiteral("Вы действительно хотите выйти из программы?");
const QString AskPowerOff = QStringLiteral("Вы действительно хотите выключить усилитель?");

// A failure no trap caught: the run-time report, and the program ends.
void fatalIfFailed(const Result<> &r) {
    if (!r.ok())
        windowing::fatalError(r.error());
}

} // namespace

template <class F> void Panel::handle(F &&steps) {
    windowing::runHandler([&] { fatalIfFailed(steps()); });
    settle();
}

Panel::Panel(QWidget *form) : form_(form) {
    // All five run from the moment the window is loaded.
    auto makeTimer = [this](int ms, Result<> (Panel::*handler)()) {
        auto *t = new windowing::Timer(this);
        t->setInterval(ms);
        t->onTimer = [this, handler] {
            run(handler);
        };
        t->setEnabled(true);
        return t;
    };
    Timer1 = makeTimer(150, &Panel::Timer1_Timer);
    Timer2 = makeTimer(150, &Panel::Timer2_Timer);
    Timer3 = makeTimer(49000, &Panel::Timer3_Timer);
    Timer4 = makeTimer(5000, &Panel::Timer4_Timer);
    Timer5 = makeTimer(2000, &Panel::Timer5_Timer);

    // The hosted controls. A missing serial-port control makes opening and
    // sending fail, so the user is asked about the port instead of nothing
    // happening at all.
    MSComm1.failWhenMissing({comm::PortOpen, comm::Output});
    (void)MSComm1.create(form_);
    (void)Tray.create(form_,
                      [this](const QString &, automation::DispId id, std::vector<Variant> &args) {
                          const auto arg = [&](std::size_t i) {
                              return i < args.size() ? args[i] : Variant();
                          };
                          if (id == tray::DoubleClickEvent)
                              handle([&] { return Tray_DoubleClick(arg(0).toI4().value_or(0)); });
                          else if (id == tray::ErrorEvent)
                              handle([&] {
                                  return Tray_Error(arg(0).toI4().value_or(0),
                                                    arg(1).toBStr().value_or(QString()),
                                                    arg(2).toBStr().value_or(QString()));
                              });
                      });
    (void)Balloon.create(form_);
    enableScrit();
    notePort();
    connect(shell::TrayHosts::instance(), &shell::TrayHosts::changed, this, [this] {
        handle([this] { return trayHostsChanged(); });
    });
}

Panel::~Panel() {
    // The port is released with the serial-port control.
    MSComm1.release();
    Tray.release();
    Balloon.release();
}

// ---------------------------------------------------------------------------
// The values shown

const QString &Panel::powerText() const {
    static const QString none;
    return !polled_ ? none : powered_ ? TextOn : TextOff;
}

const QString &Panel::readinessText() const {
    static const QString none;
    return readiness_ == Readiness::Warming ? TextWarming
           : readiness_ == Readiness::Ready ? TextReady
                                            : none;
}

Panel::Phase Panel::phase() const {
    // The poll's view: the readiness text counts only while the power is on.
    return !powered_                          ? Phase::Off
           : readiness_ == Readiness::Warming ? Phase::WarmingUp
                                              : Phase::Ready;
}

bool Panel::closing() const {
    return Exiting || !Timer2->enabled();
}

template <class T> bool Panel::change(T &field, const T &value) {
    if (field == value)
        return false;
    field = value;
    changed_ = true;
    return true;
}

void Panel::setPowerDisplay(bool on) {
    const Phase was = phase();
    const bool shown = change(polled_, true);
    if (change(powered_, on) || shown)
        emit powerChanged();
    if (phase() != was)
        emit phaseChanged(phase());
}

void Panel::setReadiness(Readiness readiness) {
    const Phase was = phase();
    if (change(readiness_, readiness))
        emit readinessChanged();
    if (phase() != was)
        emit phaseChanged(phase());
}

void Panel::notePort() {
    const int number = int(MSComm1.get(comm::CommPort).value_or(Variant()).toR8().value_or(0));
    const bool open = MSComm1.get(comm::PortOpen).value_or(Variant()).toBool().value_or(false);
    const bool renumbered = change(portNumber_, number);
    if (change(portOpen_, open) || renumbered)
        emit portChanged();
}

void Panel::settle() {
    const std::int64_t left = phase() == Phase::WarmingUp ? Timer3->remainingMs() : -1;
    if (const uint seconds = left >= 0 ? uint(std::ceil(double(left) / 1000)) : 0;
        change(warmUpLeft_, seconds))
        emit warmUpLeftChanged(seconds);
    if (std::exchange(changed_, false))
        emit settled();
}

void Panel::run(Result<> (Panel::*handler)()) {
    handle([&] { return (this->*handler)(); });
}

Result<> Panel::runUnattended(const std::function<Result<>()> &steps) {
    Result<> done;
    windowing::runHandler([&] {
        Unattended = true;
        done = steps();
        Unattended = false;
    });
    settle();
    return done;
}

void Panel::stopTimers() {
    for (windowing::Timer *t : {Timer1, Timer2, Timer3, Timer4, Timer5})
        t->setEnabled(false);
}

// ---------------------------------------------------------------------------
// Start-up, menu, icon

bool Panel::Form_Load() {
    bool endInstance = false;
    windowing::runHandler([&] {
        if (windowing::previousInstance(QStringLiteral("velmora"))) {
            endInstance = true;
            return;
        }
        for (Component *c : {&MSComm1, &Tray, &Balloon})
            c->reportIfMissing();
        // A first start has no settings file yet: give it the settings this
        // step starts from anyway (COM1, 300 bit/s, no automatic switching).
        if (const Result<> made = ensureSettingsFile(); !made.ok())
            std::fprintf(stderr,
                         "velmora: cannot create %s (%s); using the default settings\n",
                         qPrintable(SettingsFileName),
                         qPrintable(made.error().description));

        fatalIfFailed(MSComm1.put(comm::Settings, Variant("300,N,8,1")));
        WarmDone = false;
        OffShown = false;

        // From here on every failure takes the load error path: the port
        // counts as not open, and the steps not yet done stay undone.
        if (const Result<> r = loadSteps(); !r.ok()) {
            PortOk = 0;
            notePortProblem(r.error().description);
            qCDebug(lcPanel) << "load error path:" << r.error().number << r.error().description;
        }
        notePort();
    });
    settle();
    return !endInstance;
}

Result<> Panel::loadSteps() {
    TRY(MSComm1.put(comm::PortOpen, Variant::fromBool(true)));
    PortOk = -1;
    const bool autoOn = readSettings().autoOnSet();
    if (autoOn)
        TRY(automaticPowerOn());
    Timer5->setEnabled(false);
    TRY(addToTray());
    if (TRY(carrier()))
        setReadiness(Readiness::Ready);
    else if (autoOn)
        Timer5->setEnabled(true);
    return {};
}

Result<> Panel::automaticPowerOn() {
    // The power key toggles: pressed on a running amplifier it would switch
    // it off. One that is on already counts as switched on by the program.
    if (!TRY(carrier()))
        return Vkl_Click();
    WarmDone = false;
    poweredOnByProgram();
    return {};
}

Result<> Panel::addToTray() {
    const auto icon = automation::makePicture(windowing::iconHandle(form_->windowIcon()));
    return Tray.call(tray::AddToTray,
                     {Variant(icon), Variant(form_->windowTitle()), Variant::fromBool(true)});
}

Result<> Panel::ff1_Click() {
    // Looked at again when the menu opens, whatever the desktop announced.
    enableScrit();
    return {};
}

Result<> Panel::trayHostsChanged() {
    enableScrit();
    // Left hidden, the window could only come back through a tray that is no
    // longer there, and the panel would go on driving the amplifier unseen.
    if (!canHide_ && form_->isHidden() && !closing())
        return showWindow();
    return {};
}

void Panel::enableScrit() {
    // Hidden behind an icon that nobody shows, the window could not be
    // brought back, and a second start of the program ends at once.
    if (change(canHide_, Tray.available() && shell::trayHostPresent()))
        emit canHideChanged(canHide_);
}

Result<> Panel::Scrit_Click() {
    return addToTray();
}

Result<> Panel::Tray_DoubleClick(std::int32_t Button) {
    if (Button == tray::LeftButton)
        return showWindow();
    return {};
}

Result<> Panel::showWindow() {
    emit windowWanted();
    return {};
}

Result<> Panel::Tray_Error(std::int32_t ErrNumber, const QString &ErrDescription,
                           const QString &ErrSource) {
    // The icon control has handled the failure itself; it is only noted.
    std::fprintf(stderr,
                 "velmora: Tray: error %d: %s [%s]\n",
                 int(ErrNumber),
                 qPrintable(ErrDescription),
                 qPrintable(ErrSource));
    return {};
}

Result<> Panel::Nastr1_Click() {
    emit settingsWanted();
    return {};
}

Result<> Panel::About1_Click() {
    emit aboutWanted();
    return {};
}

void Panel::PortPrompt() {
    if (windowing::askYesNo(AskPort, windowing::Answer::Yes) == windowing::Answer::Yes)
        emit settingsWanted();
}

Result<> Panel::Exit_Click() {
    if (windowing::askYesNo(AskExit, windowing::Answer::No) != windowing::Answer::Yes)
        return {};
    return exitConfirmed();
}

Result<> Panel::exitConfirmed() {
    Exiting = true;
    // Ended early by a word that could not be sent: the panel goes on.
    auto stillRunning = qScopeGuard([this] { Exiting = false; });
    if (readSettings().autoOffSet()) {
        OffShown = true;
        // Checked once, before the loop: the power key toggles, and pressed
        // on an amplifier that is off it would switch it on.
        if (TRY(carrier()))
            TRY(powerOffLoop());
    }
    TRY(Tray.call(tray::DeleteFromTray));
    stillRunning.dismiss();
    unload();
    return {};
}

void Panel::unload() {
    stopTimers();
    emit unloaded();
}

// ---------------------------------------------------------------------------
// The command word

Result<> Panel::SendWord() {
    const Variant off = Variant::fromBool(false), on = Variant::fromBool(true);
    for (int i = 1; i <= 8; ++i) {
        TRY(MSComm1.put(comm::RTSEnable, off));
        TRY(MSComm1.put(comm::DTREnable, off));
        if (Bits[i])
            TRY(MSComm1.put(comm::RTSEnable, on));
        TRY(MSComm1.put(comm::DTREnable, on));
    }
    // Only the closing character is guarded: it fails when the port is not open.
    // (A literal string: the character is sent without an allocation per word.)
    if (const Result<> sent = MSComm1.put(comm::Output, Variant(QStringLiteral("0"))); !sent.ok()) {
        qCDebug(lcPanel) << "word not sent:" << sent.error().description;
        // A port that is not open keeps the reason it could not be opened.
        if (PortOk == -1)
            notePortProblem(sent.error().description);
        if (Unattended)
            return sent.error();
        PortPrompt();
        return {};
    }
    notePortProblem({});
    return {};
}

Result<> Panel::pressKey(int element, int cleared) {
    Bits[element] = true;
    TRY(SendWord());
    Bits[element] = false;
    for (int i = 0; i < cleared; ++i)
        TRY(SendWord());
    return {};
}

Result<bool> Panel::carrier() {
    const Variant present = TRY(MSComm1.get(comm::CDHolding));
    return present.toBool().value_or(false);
}

// ---------------------------------------------------------------------------
// Power and warm-up

Result<> Panel::powerOnAttempt() {
    return pressKey(1, 2);
}

void Panel::poweredOnByProgram() {
    Timer3->setEnabled(true);
    OnByProgram = true;
}

Result<> Panel::Vkl_Click() {
    WarmDone = false;
    Tries = 0;
    while (Tries <= 10) {
        TRY(powerOnAttempt());
        if (TRY(carrier())) {
            Tries = 10;
            poweredOnByProgram();
        }
        ++Tries;
    }
    return {};
}

Result<> Panel::Vikl_Click() {
    // Set before the question: a switch-off the user was asked about is
    // never announced, whatever the answer.
    OffShown = true;
    if (windowing::askYesNo(AskPowerOff, windowing::Answer::Yes) != windowing::Answer::Yes)
        return {};
    return powerOffLoop();
}

Result<> Panel::confirmedPowerOff() {
    OffShown = true;
    return powerOffLoop();
}

Result<> Panel::powerOffLoop() {
    Tries = 0;
    while (Tries <= 4) {
        TRY(pressKey(1, 3));
        if (!TRY(carrier()))
            Tries = 4;
        ++Tries;
    }
    return {};
}

Result<> Panel::Timer2_Timer() {
    if (TRY(carrier())) {
        setPowerDisplay(true);
        if (!WarmDone) {
            setReadiness(Readiness::Warming);
            if (!WarmStarted) {
                WarmStarted = true;
                Timer3->setEnabled(true);
                if (!OnByProgram) {
                    TRY(showBalloon(balloon::bmInformation, TipOn));
                    OffShown = false;
                }
                OnByProgram = false;
            }
        }
    } else {
        setPowerDisplay(false);
        WarmStarted = false;
        setReadiness(Readiness::None);
        Timer3->setEnabled(false);
        if (!OffShown) {
            OffShown = true;
            TRY(showBalloon(balloon::bmInformation, TipOff));
        }
    }
    return {};
}

Result<> Panel::Timer3_Timer() {
    setReadiness(Readiness::Ready);
    Timer3->setEnabled(false);
    WarmDone = true;
    return {};
}

Result<> Panel::showBalloon(std::int32_t type, const QString &prompt) {
    TRY(Balloon.put(balloon::MessageType, Variant(type)));
    const Variant handle = TRY(Tray.get(tray::Handle));
    return Balloon.call(balloon::ShowBalloonMessage,
                        {Variant(prompt),
                         Variant(form_->windowTitle()),
                         handle.isEmpty() ? Variant(std::int32_t(0)) : handle});
}

// ---------------------------------------------------------------------------
// Standby and inputs

Result<> Panel::standby(int element) {
    // "Вкл" (element 4) or "Выкл" (element 3) is the option chosen.
    if (const std::optional<bool> on = element == 4; change(standby_, on))
        emit standbyChanged(*on);
    TRY(pressKey(element, 0));
    // The key is released by the delayed word; a timer already running keeps
    // its countdown, so two quick clicks share one delayed word.
    Timer1->setEnabled(true);
    return {};
}

Result<> Panel::JdVikl_Click() {
    return standby(4);
}
Result<> Panel::JdVkl_Click() {
    return standby(3);
}

Result<> Panel::Timer1_Timer() {
    Timer1->setEnabled(false);
    return SendWord();
}

Result<> Panel::selectInput(int n) {
    if (change(input_, n))
        emit inputChanged(n);
    // Two presses of the first-input key select input 1, then the next-input
    // key steps on.
    for (int i = 0; i < 2; ++i)
        TRY(pressKey(6, 1));
    for (int i = 1; i < n; ++i)
        TRY(pressKey(5, 1));
    return {};
}

Result<> Panel::Kom1_Click() {
    return selectInput(1);
}
Result<> Panel::Kom2_Click() {
    return selectInput(2);
}
Result<> Panel::Kom3_Click() {
    return selectInput(3);
}

// ---------------------------------------------------------------------------
// Port watchdog and the failed automatic power-on

Result<> Panel::Timer4_Timer() {
    const Result<> watched = watchPort();
    // The watchdog may have opened, closed or moved the port.
    notePort();
    return watched;
}

Result<> Panel::watchPort() {
    const Settings settings = readSettings();
    const Variant open = Variant::fromBool(true);

    // Two error traps: trap A counts the port as not open and ends the tick,
    // trap B just ends it. Before either is armed a failure is not caught.
    auto trapA = [this](const automation::Error &e) -> Result<> {
        qCDebug(lcPanel) << "watchdog, port not open:" << e.description;
        PortOk = 0;
        notePortProblem(e.description);
        return {};
    };
    auto trapB = [this](const automation::Error &e) -> Result<> {
        qCDebug(lcPanel) << "watchdog, tick ended:" << e.description;
        notePortProblem(e.description);
        return {};
    };

    const bool reopened = PortOk == 0;
    if (reopened) {
        if (const Result<> r = MSComm1.put(comm::PortOpen, open); !r.ok())
            return trapA(r.error());
        PortOk = -1;
    }

    const Result<> inUse = MSComm1.get(comm::CommPort);
    if (!inUse.ok())
        return reopened ? trapA(inUse.error()) : inUse;
    const bool moved = inUse->toR8().value_or(0) != settings.portNumber();
    if (moved) {
        // The open request on the port as it is comes first.
        if (const Result<> r = MSComm1.put(comm::PortOpen, open); !r.ok())
            return trapA(r.error());
        if (const Result<> r = movePort(settings.portNumber()); !r.ok())
            return trapB(r.error());
    }

    // The speed is applied on every tick, so the port is cycled every 5 s
    // while a speed is chosen.
    if (const auto line = settings.lineSettings())
        if (const Result<> r = applyLineSettings(*line); !r.ok())
            return trapB(r.error());
    // A port reopened or moved without a failure works again.
    if (reopened || moved)
        notePortProblem({});
    return {};
}

Result<> Panel::movePort(double number) {
    TRY(MSComm1.put(comm::PortOpen, Variant::fromBool(false)));
    TRY(MSComm1.put(comm::CommPort, Variant(number)));
    return MSComm1.put(comm::PortOpen, Variant::fromBool(true));
}

Result<> Panel::applyLineSettings(const QString &line) {
    TRY(MSComm1.put(comm::PortOpen, Variant::fromBool(false)));
    TRY(MSComm1.put(comm::Settings, Variant(line)));
    return MSComm1.put(comm::PortOpen, Variant::fromBool(true));
}

Result<> Panel::Timer5_Timer() {
    Timer5->setEnabled(false);
    // The carrier may rise after the power-on loop has given up: an amplifier
    // that reports ready by now was switched on after all.
    if (const Result<bool> on = carrier(); on.ok() && *on)
        return {};
    return showBalloon(balloon::bmError, TipPowerOnFailed);
}

void Panel::notePortProblem(const QString &why) {
    if (change(PortWhy, why))
        emit portChanged();
}

} // namespace velmora
