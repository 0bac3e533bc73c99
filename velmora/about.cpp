#include "about.h"

#include "formdesign.h"
#include "ui_about.h"
#include "windowing/timers.h"

namespace velmora {

About::About(QWidget *parent) : QDialog(parent), ui(new Ui::About) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(false);
    applyDesign(this);
    connect(ui->Command1, &QPushButton::clicked, this, [this] {
        windowing::runHandler([this] { Command1_Click(); });
    });
}

About::~About() = default;

void About::Command1_Click() {
    close();
}

} // namespace velmora
