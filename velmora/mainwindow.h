// The main window: the face of the amplifier's remote control (Panel).
//
// It builds its widgets from the form, hands clicks and menu choices to the
// panel's handlers, and renders the panel's values: the captions, the power
// display's colour, the power buttons, the option buttons, "Скрыть
// программу". The panel's hosted controls are sited on this form; the icon
// control hides and shows it. It opens the settings and About windows when the
// panel wants them.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>

#include "about.h"
#include "nastr.h"
#include "panelmodel.h"

namespace Ui {
class Velmora;
}

namespace velmora {

class Velmora : public QMainWindow {
    Q_OBJECT
  public:
    // Creates the window and its panel (not shown); the panel's timers run
    // from here on.
    explicit Velmora(QWidget *parent = nullptr);
    ~Velmora() override;

    Panel &panel() { return *panel_; }

    // The panel's load step. Returns false when another instance of the
    // program is running: this one must end at once, without showing anything.
    bool load();

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void wire();
    // The power display: the caption, its colour (blue on, red off), and
    // only the button that changes it enabled.
    void showPower();

    std::unique_ptr<Ui::Velmora> ui;
    std::unique_ptr<Panel> panel_;
    QPointer<Nastr> nastr_;
    QPointer<About> about_;
};

} // namespace velmora
