// The program's About window "О программе": what the program is and who
// wrote it, and an "Ok" button that closes it.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class About;
}

namespace velmora {

class About : public QDialog {
    Q_OBJECT
  public:
    explicit About(QWidget *parent = nullptr);
    ~About() override;

    // "Ok": unloads the window.
    void Command1_Click();

  private:
    std::unique_ptr<Ui::About> ui;
};

} // namespace velmora
