// The settings dialog "Настройка программы": the port, the line speed and the
// two automatic switches, read from nastr.dat when the dialog is loaded and
// written back by "OK" (closing it otherwise, by the title bar or Escape,
// unloads it without saving). It neither touches the port nor the main window: the
// watchdog applies a new port or speed within 5 s, the switches take effect
// at the next start or exit.
#pragma once

#include <QDialog>
#include <memory>

#include "automation/result.h"

namespace Ui {
class Nastr;
}

namespace velmora {

class Nastr : public QDialog {
    Q_OBJECT
  public:
    // Loads the dialog: fills its controls from the file.
    explicit Nastr(QWidget *parent = nullptr);
    ~Nastr() override;

    // "OK": saves and unloads the dialog. When the file cannot be written the
    // user is told why and the dialog stays open with the choices made.
    automation::Result<> Command1_Click();

  private:
    void Form_Load();

    std::unique_ptr<Ui::Nastr> ui;
};

} // namespace velmora
