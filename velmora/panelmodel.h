// The amplifier's remote control: what the main window's code does, apart
// from the window.
//
// The panel hosts the serial port (MSComm1), the notification-area icon
// (Tray) and the balloon tips (Balloon) on the main window's form, owns the
// command word and the state flags, and runs the five timers. Every handler
// carries the name it has in the program's design; each runs as one handler
// of the program (windowing::runHandler), so ticks and clicks never
// interleave.
//
// What the panel shows is a set of values, each with a signal sent only when
// it changes: the power display, the readiness text, the warm-up time left,
// the port, the chosen input and standby option, whether the window may hide
// behind its icon. Views (the main window, the session-bus interface) render
// them; the panel sets no widget. settled() follows a handler that changed any
// of them, for a view that tells its changes in one go.
//
// Error traps: a handler returns the first failure that no trap of its own
// caught; run() reports such a failure as fatal (windowing::fatalError).
// Form_Load routes them to its load error path instead.
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "automation/result.h"
#include "component.h"

class QWidget;

namespace windowing {
class Timer;
}

namespace velmora {

class Panel : public QObject {
    Q_OBJECT
  public:
    // The amplifier as the poll last saw it.
    enum class Phase { Off, WarmingUp, Ready };
    Q_ENUM(Phase)

    // Creates the hosted controls on `form`; the five timers run from here on.
    explicit Panel(QWidget *form);
    ~Panel() override;

    // The power display: empty until the first poll, then "ВКЛЮЧЕН" or "ВЫКЛЮЧЕН".
    const QString &powerText() const;
    bool powered() const { return powered_; }
    // "Идет прогрев радиоламп", "Готов к работе" or empty.
    const QString &readinessText() const;
    Phase phase() const;
    // Whole seconds of the warm-up left while it runs, else 0.
    uint warmUpLeft() const { return warmUpLeft_; }
    // The serial port's number and whether the program has it open.
    int portNumber() const { return portNumber_; }
    bool portOpen() const { return portOpen_; }
    // Why the last open or send of the port failed (the load step, the
    // watchdog, a word); empty once the port is open and a word goes out.
    const QString &portProblem() const { return PortWhy; }
    const Component &serialPort() const { return MSComm1; }
    // The input chosen (1 to 3; 0 before any), and the standby option last
    // chosen ("Вкл" true); the option buttons show them.
    int input() const { return input_; }
    std::optional<bool> standby() const { return standby_; }
    // "Скрыть программу" is offered: a tray shows the icon, which brings the window back.
    bool canHide() const { return canHide_; }
    // "Выход" confirmed, or the window closed: the timers no longer run, or
    // the panel is unloading.
    bool closing() const;

    // Runs `handler` as one handler of the program; a failure no trap caught is fatal.
    void run(automation::Result<> (Panel::*handler)());
    // Runs `steps` as one handler with nobody there to answer the port
    // question: a word that cannot be sent ends them with its failure.
    automation::Result<> runUnattended(const std::function<automation::Result<>()> &steps);

    // The load step. Returns false when another instance of the program is
    // running: this one must end at once, without showing anything.
    bool Form_Load();
    // The window is closed by other means than "Выход": the timers stop.
    void stopTimers();

    // Menu entries and the icon's events.
    automation::Result<> ff1_Click(); // the "Файл" menu opening
    automation::Result<> Scrit_Click();
    automation::Result<> Exit_Click();
    // "Выход" answered Yes: the automatic power-off as the settings say, the
    // icon removed, the main window unloaded. A word that cannot be sent
    // ends it early, and the panel goes on.
    automation::Result<> exitConfirmed();
    // The main window shown and brought to the front, as a click on the icon does.
    automation::Result<> showWindow();
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

    // CDHolding: the amplifier reports ready.
    automation::Result<bool> carrier();
    // The power-off loop without the question: the caller has confirmed it,
    // and a switch-off the program made is never announced.
    automation::Result<> confirmedPowerOff();

  signals:
    void powerChanged();     // powerText(), powered()
    void readinessChanged(); // readinessText()
    void phaseChanged(velmora::Panel::Phase phase);
    void warmUpLeftChanged(uint seconds);
    void portChanged(); // portNumber(), portOpen(), portProblem()
    void inputChanged(int input);
    void standbyChanged(bool on);
    void canHideChanged(bool can);
    // A handler that changed any of the values has ended.
    void settled();

    // The window is wanted: shown and brought to the front; the settings
    // window; the About window.
    void windowWanted();
    void settingsWanted();
    void aboutWanted();
    // "Выход" unloaded the main window: it goes.
    void unloaded();

  private:
    enum class Readiness { None, Warming, Ready };

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
    // Timer4_Timer's steps, with their two error traps.
    automation::Result<> watchPort();
    // The watchdog's renumbering (step 3) and speed (step 4), each under trap B.
    automation::Result<> movePort(double number);
    automation::Result<> applyLineSettings(const QString &line);
    automation::Result<> addToTray();
    // "Скрыть программу" only while the icon can be seen and so bring the window back.
    void enableScrit();
    // A tray came or went: a window hidden behind an icon that can no longer
    // be shown is shown again.
    automation::Result<> trayHostsChanged();
    // Notes why the port failed, or that it works again (an empty reason).
    void notePortProblem(const QString &why);
    automation::Result<> showBalloon(std::int32_t type, const QString &prompt);
    // Stops the timers; the window goes, and the program ends once no window
    // of it is loaded.
    void unload();

    void setPowerDisplay(bool on);
    void setReadiness(Readiness readiness);
    // Reads the port's number and state from the control after a handler
    // that may have changed them.
    void notePort();
    // The warm-up time left, then settled() if anything changed.
    void settle();
    // Stores `value`; true (and the change noted for settled()) when it differs.
    template <class T> bool change(T &field, const T &value);
    // Runs `steps` as one handler of the program, then settle().
    template <class F> void handle(F &&steps);

    QWidget *form_;

    // The command word, elements 1 to 8 (element 0 is unused).
    std::array<bool, 9> Bits{};
    std::int16_t PortOk = 0; // -1: the program has the port open
    bool WarmDone = false;
    bool WarmStarted = false;
    bool OnByProgram = false;
    bool OffShown = false;
    std::int16_t Tries = 0;
    // Set while an unattended caller runs: nobody is there to answer the
    // port question, so a word that cannot be sent ends the call instead.
    bool Unattended = false;
    bool Exiting = false; // "Выход" confirmed
    QString PortWhy;

    windowing::Timer *Timer1;
    windowing::Timer *Timer2;
    windowing::Timer *Timer3;
    windowing::Timer *Timer4;
    windowing::Timer *Timer5;

    Component MSComm1{QStringLiteral("MSComm1"), QStringLiteral("MSCommLib.MSComm")};
    Component Tray{QStringLiteral("Tray"), QStringLiteral("lumora.Lumorel")};
    Component Balloon{QStringLiteral("Balloon"), QStringLiteral("pellago.Pellagon")};

    // The values shown.
    bool polled_ = false;
    bool powered_ = false;
    Readiness readiness_ = Readiness::None;
    uint warmUpLeft_ = 0;
    int portNumber_ = 0;
    bool portOpen_ = false;
    int input_ = 0;
    std::optional<bool> standby_;
    bool canHide_ = false;
    bool changed_ = false; // since the last settled()
};

} // namespace velmora
