// The program's About window "О программе": what the program is, and an "Ok"
// button that closes it.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace velmora {

class About : public QDialog {
    Q_OBJECT
public:
    explicit About(QWidget* parent = nullptr);

    // "Ok": unloads the window.
    void Command1_Click();
};

} // namespace velmora
