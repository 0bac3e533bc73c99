#include "mainwindow.h"

#include <QCloseEvent>
#include <QLoggingCategory>
#include <cstdio>

#include "about.h"
#include "automation/picture.h"
#include "dispids.h"
#include "formdesign.h"
#include "forms.h"
#include "nastr.h"
#include "settingsfile.h"
#include "shell/trayhosts.h"
#include "ui_mainwindow.h"
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

const QColor Blue(0x00, 0x00, 0xFF);
const QColor Red(0xFF, 0x00, 0x00);

void setTextColour(QWidget *w, const QColor &colour) {
    // The poll sets the colour on every tick: a palette set again costs the
    // widget a palette resolution and a change event.
    if (w->palette().color(QPalette::WindowText) == colour)
        return;
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, colour);
    w->setPalette(pal);
}

// A failure no trap caught: the run-time report, and the program ends.
void fatalIfFailed(const Result<> &r) {
    if (!r.ok())
        windowing::fatalError(r.error());
}

// Runs a handler of the window as one handler of the program.
template <class F> void handleEvent(F &&f) {
    windowing::runHandler([&] { fatalIfFailed(f()); });
}

} // namespace

Velmora::Velmora(QWidget *parent) : QMainWindow(parent), ui(new Ui::Velmora) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // The program ends through "Выход": no close, minimize or maximize button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    applyDesign(this);

    // All five run from the moment the window is loaded.
    auto makeTimer = [this](int ms, Result<> (Velmora::*handler)()) {
        auto *t = new windowing::Timer(this);
        t->setInterval(ms);
        t->onTimer = [this, handler] {
            fatalIfFailed((this->*handler)());
        };
        t->setEnabled(true);
        return t;
    };
    Timer1 = makeTimer(150, &Velmora::Timer1_Timer);
    Timer2 = makeTimer(150, &Velmora::Timer2_Timer);
    Timer3 = makeTimer(49000, &Velmora::Timer3_Timer);
    Timer4 = makeTimer(5000, &Velmora::Timer4_Timer);
    Timer5 = makeTimer(2000, &Velmora::Timer5_Timer);

    // The hosted controls. A missing serial-port control makes opening and
    // sending fail, so the user is asked about the port instead of nothing
    // happening at all. A control that cannot be created is reported once
    // the window is up (reportIfMissing).
    MSComm1.failWhenMissing({comm::PortOpen, comm::Output});
    (void)MSComm1.create(this);
    (void)Tray.create(
        this, [this](const QString &, automation::DispId id, std::vector<Variant> &args) {
            const auto arg = [&](std::size_t i) {
                return i < args.size() ? args[i] : Variant();
            };
            if (id == tray::DoubleClickEvent)
                handleEvent([&] { return Tray_DoubleClick(arg(0).toI4().value_or(0)); });
            else if (id == tray::ErrorEvent)
                handleEvent([&] {
                    return Tray_Error(arg(0).toI4().value_or(0),
                                      arg(1).toBStr().value_or(QString()),
                                      arg(2).toBStr().value_or(QString()));
                });
        });
    (void)Balloon.create(this);
    enableScrit();

    wire();
}

Velmora::~Velmora() {
    // The port is released with the serial-port control.
    MSComm1.release();
    Tray.release();
    Balloon.release();
}

void Velmora::wire() {
    connect(ui->ff1, &QMenu::aboutToShow, this, [this] {
        handleEvent([this] { return ff1_Click(); });
    });
    connect(
        shell::TrayHosts::instance(), &shell::TrayHosts::changed, this, [this] { enableScrit(); });
    connect(ui->Scrit, &QAction::triggered, this, [this] {
        handleEvent([this] { return Scrit_Click(); });
    });
    connect(ui->Exit, &QAction::triggered, this, [this] {
        handleEvent([this] { return Exit_Click(); });
    });
    connect(ui->Nastr1, &QAction::triggered, this, [this] {
        handleEvent([this] { return Nastr1_Click(); });
    });
    connect(ui->About1, &QAction::triggered, this, [this] {
        handleEvent([this] { return About1_Click(); });
    });
    connect(ui->Vkl, &QPushButton::clicked, this, [this] {
        handleEvent([this] { return Vkl_Click(); });
    });
    connect(ui->Vikl, &QPushButton::clicked, this, [this] {
        handleEvent([this] { return Vikl_Click(); });
    });
    connect(ui->JdVikl, &QRadioButton::clicked, this, [this] {
        handleEvent([this] { return JdVikl_Click(); });
    });
    connect(ui->JdVkl, &QRadioButton::clicked, this, [this] {
        handleEvent([this] { return JdVkl_Click(); });
    });
    connect(ui->Kom1, &QRadioButton::clicked, this, [this] {
        handleEvent([this] { return Kom1_Click(); });
    });
    connect(ui->Kom2, &QRadioButton::clicked, this, [this] {
        handleEvent([this] { return Kom2_Click(); });
    });
    connect(ui->Kom3, &QRadioButton::clicked, this, [this] {
        handleEvent([this] { return Kom3_Click(); });
    });
}

// ---------------------------------------------------------------------------
// Start-up, menu, icon

bool Velmora::Form_Load() {
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
            PortWhy = r.error().description;
            qCDebug(lcPanel) << "load error path:" << r.error().number << r.error().description;
        }
    });
    return !endInstance;
}

Result<> Velmora::loadSteps() {
    TRY(MSComm1.put(comm::PortOpen, Variant::fromBool(true)));
    PortOk = -1;
    const bool autoOn = readSettings().autoOnSet();
    if (autoOn)
        TRY(automaticPowerOn());
    Timer5->setEnabled(false);
    TRY(addToTray());
    if (TRY(carrier()))
        ui->Label3->setText(TextReady);
    else if (autoOn)
        Timer5->setEnabled(true);
    return {};
}

Result<> Velmora::automaticPowerOn() {
    // The power key toggles: pressed on a running amplifier it would switch
    // it off. One that is on already counts as switched on by the program.
    if (!TRY(carrier()))
        return Vkl_Click();
    WarmDone = false;
    poweredOnByProgram();
    return {};
}

Result<> Velmora::addToTray() {
    const auto icon = automation::makePicture(windowing::iconHandle(windowIcon()));
    return Tray.call(tray::AddToTray,
                     {Variant(icon), Variant(windowTitle()), Variant::fromBool(true)});
}

Result<> Velmora::ff1_Click() {
    // An XEmbed tray coming or going alone is not announced: look again.
    enableScrit();
    return {};
}

void Velmora::enableScrit() {
    // Hidden behind an icon that nobody shows, the window could not be
    // brought back, and a second start of the program ends at once.
    ui->Scrit->setEnabled(Tray.available() && shell::trayHostPresent());
}

Result<> Velmora::Scrit_Click() {
    return addToTray();
}

Result<> Velmora::Tray_DoubleClick(std::int32_t Button) {
    if (Button == tray::LeftButton) {
        show();
        raise();
        activateWindow();
    }
    return {};
}

Result<> Velmora::Tray_Error(std::int32_t ErrNumber, const QString &ErrDescription,
                             const QString &ErrSource) {
    // The icon control has handled the failure itself; it is only noted.
    std::fprintf(stderr,
                 "velmora: Tray: error %d: %s [%s]\n",
                 int(ErrNumber),
                 qPrintable(ErrDescription),
                 qPrintable(ErrSource));
    return {};
}

Result<> Velmora::Nastr1_Click() {
    showSettings();
    return {};
}

void Velmora::showSettings() {
    if (!nastr_) {
        // A window of its own, not a child: it stays loaded when the main
        // window is unloaded, and the program lives on until it closes.
        nastr_ = new Nastr;
        Forms::instance().track(nastr_);
    }
    nastr_->show();
    nastr_->raise();
    nastr_->activateWindow();
}

Result<> Velmora::About1_Click() {
    if (!about_) {
        about_ = new About;
        Forms::instance().track(about_);
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
    return {};
}

void Velmora::PortPrompt() {
    if (windowing::askYesNo(AskPort, windowing::Answer::Yes) == windowing::Answer::Yes)
        showSettings();
}

Result<> Velmora::Exit_Click() {
    if (windowing::askYesNo(AskExit, windowing::Answer::No) != windowing::Answer::Yes)
        return {};
    if (readSettings().autoOffSet()) {
        OffShown = true;
        // Checked once, before the loop: the power key toggles, and pressed
        // on an amplifier that is off it would switch it on.
        if (TRY(carrier()))
            TRY(powerOffLoop());
    }
    TRY(Tray.call(tray::DeleteFromTray));
    unload();
    return {};
}

void Velmora::unload() {
    for (windowing::Timer *t : {Timer1, Timer2, Timer3, Timer4, Timer5})
        t->setEnabled(false);
    hide();
    deleteLater();
}

void Velmora::closeEvent(QCloseEvent *event) {
    // Closed by other means than "Выход" (the session ending): unloaded as
    // it is, without the question, the power-off or the icon removal.
    for (windowing::Timer *t : {Timer1, Timer2, Timer3, Timer4, Timer5})
        t->setEnabled(false);
    event->accept();
}

// ---------------------------------------------------------------------------
// The command word

Result<> Velmora::SendWord() {
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
        if (Unattended)
            return sent.error();
        PortPrompt();
    }
    return {};
}

Result<> Velmora::pressKey(int element, int cleared) {
    Bits[element] = true;
    TRY(SendWord());
    Bits[element] = false;
    for (int i = 0; i < cleared; ++i)
        TRY(SendWord());
    return {};
}

Result<bool> Velmora::carrier() {
    const Variant present = TRY(MSComm1.get(comm::CDHolding));
    return present.toBool().value_or(false);
}

// ---------------------------------------------------------------------------
// Power and warm-up

Result<> Velmora::powerOnAttempt() {
    return pressKey(1, 2);
}

void Velmora::poweredOnByProgram() {
    Timer3->setEnabled(true);
    OnByProgram = true;
}

Result<> Velmora::Vkl_Click() {
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

Result<> Velmora::Vikl_Click() {
    // Set before the question: a switch-off the user was asked about is
    // never announced, whatever the answer.
    OffShown = true;
    if (windowing::askYesNo(AskPowerOff, windowing::Answer::Yes) != windowing::Answer::Yes)
        return {};
    return powerOffLoop();
}

Result<> Velmora::powerOffLoop() {
    Tries = 0;
    while (Tries <= 4) {
        TRY(pressKey(1, 3));
        if (!TRY(carrier()))
            Tries = 4;
        ++Tries;
    }
    return {};
}

void Velmora::setPowerDisplay(bool on) {
    setTextColour(ui->Label4, on ? Blue : Red);
    ui->Label4->setText(on ? TextOn : TextOff);
    ui->Vkl->setEnabled(!on);
    ui->Vikl->setEnabled(on);
}

Result<> Velmora::Timer2_Timer() {
    if (TRY(carrier())) {
        setPowerDisplay(true);
        if (!WarmDone) {
            ui->Label3->setText(TextWarming);
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
        ui->Label3->setText(QString());
        Timer3->setEnabled(false);
        if (!OffShown) {
            OffShown = true;
            TRY(showBalloon(balloon::bmInformation, TipOff));
        }
    }
    return {};
}

Result<> Velmora::Timer3_Timer() {
    ui->Label3->setText(TextReady);
    Timer3->setEnabled(false);
    WarmDone = true;
    return {};
}

Result<> Velmora::showBalloon(std::int32_t type, const QString &prompt) {
    TRY(Balloon.put(balloon::MessageType, Variant(type)));
    const Variant handle = TRY(Tray.get(tray::Handle));
    return Balloon.call(balloon::ShowBalloonMessage,
                        {Variant(prompt),
                         Variant(windowTitle()),
                         handle.isEmpty() ? Variant(std::int32_t(0)) : handle});
}

// ---------------------------------------------------------------------------
// Standby and inputs

Result<> Velmora::standby(int element) {
    TRY(pressKey(element, 0));
    // The key is released by the delayed word; a timer already running keeps
    // its countdown, so two quick clicks share one delayed word.
    Timer1->setEnabled(true);
    return {};
}

Result<> Velmora::JdVikl_Click() {
    return standby(4);
}
Result<> Velmora::JdVkl_Click() {
    return standby(3);
}

Result<> Velmora::Timer1_Timer() {
    Timer1->setEnabled(false);
    return SendWord();
}

Result<> Velmora::selectInput(int n) {
    // Two presses of the first-input key select input 1, then the next-input
    // key steps on.
    for (int i = 0; i < 2; ++i)
        TRY(pressKey(6, 1));
    for (int i = 1; i < n; ++i)
        TRY(pressKey(5, 1));
    return {};
}

Result<> Velmora::Kom1_Click() {
    return selectInput(1);
}
Result<> Velmora::Kom2_Click() {
    return selectInput(2);
}
Result<> Velmora::Kom3_Click() {
    return selectInput(3);
}

// ---------------------------------------------------------------------------
// Port watchdog and the failed automatic power-on

Result<> Velmora::Timer4_Timer() {
    const Settings settings = readSettings();
    const Variant open = Variant::fromBool(true);

    // Two error traps: trap A counts the port as not open and ends the tick,
    // trap B just ends it. Before either is armed a failure is not caught.
    auto trapA = [this](const automation::Error &e) -> Result<> {
        qCDebug(lcPanel) << "watchdog, port not open:" << e.description;
        PortOk = 0;
        PortWhy = e.description;
        return {};
    };
    auto trapB = [](const automation::Error &e) -> Result<> {
        qCDebug(lcPanel) << "watchdog, tick ended:" << e.description;
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
    if (inUse->toR8().value_or(0) != settings.portNumber()) {
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
    return {};
}

Result<> Velmora::movePort(double number) {
    TRY(MSComm1.put(comm::PortOpen, Variant::fromBool(false)));
    TRY(MSComm1.put(comm::CommPort, Variant(number)));
    return MSComm1.put(comm::PortOpen, Variant::fromBool(true));
}

Result<> Velmora::applyLineSettings(const QString &line) {
    TRY(MSComm1.put(comm::PortOpen, Variant::fromBool(false)));
    TRY(MSComm1.put(comm::Settings, Variant(line)));
    return MSComm1.put(comm::PortOpen, Variant::fromBool(true));
}

Result<> Velmora::Timer5_Timer() {
    TRY(showBalloon(balloon::bmError, TipPowerOnFailed));
    Timer5->setEnabled(false);
    return {};
}

} // namespace velmora
