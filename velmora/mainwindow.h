// The main window: the amplifier's remote control.
//
// It hosts the serial port (MSComm1), the notification-area icon (Tray) and
// the balloon tips (Balloon), owns the command word and the state flags, and
// runs the five timers. Every handler carries the name it has in the
// program's design; the widget and timer wiring runs each of them as one
// handler (windowing::runHandler), so ticks and clicks never interleave.
//
// Error traps: a handler returns the first failure that no trap of its own
// caught; the wiring reports such a failure as fatal (windowing::fatalError).
// Form_Load routes them to its load error path instead.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdint>
#include <memory>

#include "about.h"
#include "automation/result.h"
#include "component.h"
#include "nastr.h"

namespace Ui {
class Velmora;
}
namespace windowing {
class Timer;
}

namespace velmora {

class Velmora : public QMainWindow {
    Q_OBJECT
  public:
    // Creates the window and its hosted controls (not shown); the five timers
    // run from here on.
    explicit Velmora(QWidget *parent = nullptr);
    ~Velmora() override;

    // The load step. Returns false when another instance of the program is
    // running: this one must end at once, without showing anything.
    bool Form_Load();

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    friend class PanelBus; // runs the handlers for calls from the session bus

    // Menu entries and the icon's events.
    automation::Result<> ff1_Click(); // the "Файл" menu opening
    automation::Result<> Scrit_Click();
    automation::Result<> Exit_Click();
    automation::Result<> Nastr1_Click();
    automation::Result<> About1_Click();
    automation::Result<> Tray_DoubleClick(std::int32_t Button);
    automation::Result<> Tray_Error(std::int32_t ErrNumber, const QString &ErrDescription,
                                    const QString &ErrSource);

    // Power, standby and inputs.
    automation::Result<> Vkl_Click();
    automation::Result<> Vikl_Click();
    automation::Result<> JdVikl_Click();
    automation::Result<> JdVkl_Click();
    automation::Result<> Kom1_Click();
    automation::Result<> Kom2_Click();
    automation::Result<> Kom3_Click();

    // Timers: delayed standby word, state poll, warm-up end, port watchdog,
    // failed automatic power-on notice.
    automation::Result<> Timer1_Timer();
    automation::Result<> Timer2_Timer();
    automation::Result<> Timer3_Timer();
    automation::Result<> Timer4_Timer();
    automation::Result<> Timer5_Timer();

    // Shifts Bits out over RTS (data) and DTR (clock) and sends the closing
    // "0"; a word that cannot be sent asks the port question.
    automation::Result<> SendWord();
    // "Нет доступа к текущему COM порту..."; Yes opens the settings window.
    void PortPrompt();

    // The load step's steps 5 to 11; a failure takes the load error path.
    automation::Result<> loadSteps();
    // The automatic power-on of the load step: the power-on command, unless
    // the amplifier already reports ready.
    automation::Result<> automaticPowerOn();
    // The power-on loop's "carrier found".
    void poweredOnByProgram();
    // One power-on attempt's three words (power key pressed, released).
    automation::Result<> powerOnAttempt();
    // Up to 5 power-off attempts of four words, until the carrier is gone.
    automation::Result<> powerOffLoop();
    // One key press: element `element` set for one word, then clear for `cleared` words.
    automation::Result<> pressKey(int element, int cleared);
    automation::Result<> selectInput(int n);
    automation::Result<> standby(int element);
    // The watchdog's renumbering (step 3) and speed (step 4), each under trap B.
    automation::Result<> movePort(double number);
    automation::Result<> applyLineSettings(const QString &line);
    // CDHolding: the amplifier reports ready.
    automation::Result<bool> carrier();
    automation::Result<> addToTray();
    // "Скрыть программу" only while the icon can be seen and so bring the window back.
    void enableScrit();
    automation::Result<> showBalloon(std::int32_t type, const QString &prompt);
    void showSettings();
    void setPowerDisplay(bool on);
    // Stops the timers and destroys the window; the program ends once no
    // window of it is loaded.
    void unload();
    void wire();

    // The command word, elements 1 to 8 (element 0 is unused).
    std::array<bool, 9> Bits{};
    std::int16_t PortOk = 0; // -1: the program has the port open
    bool WarmDone = false;
    bool WarmStarted = false;
    bool OnByProgram = false;
    bool OffShown = false;
    std::int16_t Tries = 0;
    // Set while a call from the session bus runs: nobody is there to answer
    // the port question, so a word that cannot be sent ends the call instead.
    bool Unattended = false;
    // Why the port was last found not open (the load step, the watchdog).
    QString PortWhy;

    windowing::Timer *Timer1;
    windowing::Timer *Timer2;
    windowing::Timer *Timer3;
    windowing::Timer *Timer4;
    windowing::Timer *Timer5;

    Component MSComm1{QStringLiteral("MSComm1"), QStringLiteral("MSCommLib.MSComm")};
    Component Tray{QStringLiteral("Tray"), QStringLiteral("lumora.Lumorel")};
    Component Balloon{QStringLiteral("Balloon"), QStringLiteral("pellago.Pellagon")};

    std::unique_ptr<Ui::Velmora> ui;
    QPointer<Nastr> nastr_;
    QPointer<About> about_;
};

} // namespace velmora
