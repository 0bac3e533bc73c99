// A small window standing for the simulated amplifier's front panel: its
// power, standby and input state, carrier detect, and a power button that
// switches it on and off without the program. It never keeps the process
// alive (closing the program's last window ends the program) and goes with
// the application.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace simulator {

class SimulatedAmplifier;

class FrontPanel : public QWidget {
    Q_OBJECT
  public:
    explicit FrontPanel(SimulatedAmplifier &amp, QWidget *parent = nullptr);

    QPushButton *powerButton() const { return power_; }
    // The state line as shown, e.g. "Power on · Standby off · Input 2 · Carrier on".
    QString stateText() const;

  private:
    void refresh();

    SimulatedAmplifier &amp_;
    QLabel *state_;
    QPushButton *power_;
};

} // namespace simulator
