#include "mainwindow.h"

#include <QCloseEvent>
#include <array>

#include "formdesign.h"
#include "forms.h"
#include "ui_mainwindow.h"

namespace velmora {

namespace {

const QColor Blue(0x00, 0x00, 0xFF);
const QColor Red(0xFF, 0x00, 0x00);

void setTextColour(QWidget *w, const QColor &colour) {
    // A palette set again costs the widget a palette resolution and a change event.
    if (w->palette().color(QPalette::WindowText) == colour)
        return;
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, colour);
    w->setPalette(pal);
}

// Shows the one window of its kind, made the first time, in front.
template <class Form> void bringForward(QPointer<Form> &form) {
    if (!form) {
        // A window of its own, not a child: it stays loaded when the main
        // window is unloaded, and the program lives on until it closes.
        form = new Form;
        Forms::instance().track(form);
    }
    form->show();
    form->raise();
    form->activateWindow();
}

} // namespace

Velmora::Velmora(QWidget *parent) : QMainWindow(parent), ui(new Ui::Velmora) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // The program ends through "Выход": no close, minimize or maximize button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    applyDesign(this);
    // Sited on this form once it has its design: the icon and the title the
    // controls are given are the form's.
    panel_ = std::make_unique<Panel>(this);
    wire();
}

Velmora::~Velmora() {
    // The hosted controls go before the widgets they are sited among.
    panel_.reset();
}

bool Velmora::load() {
    return panel_->Form_Load();
}

void Velmora::wire() {
    Panel *p = panel_.get();
    const auto hand = [p](auto *sender, auto signal, automation::Result<> (Panel::*handler)()) {
        connect(sender, signal, p, [p, handler] { p->run(handler); });
    };
    hand(ui->ff1, &QMenu::aboutToShow, &Panel::ff1_Click);
    hand(ui->Scrit, &QAction::triggered, &Panel::Scrit_Click);
    hand(ui->Exit, &QAction::triggered, &Panel::Exit_Click);
    hand(ui->Nastr1, &QAction::triggered, &Panel::Nastr1_Click);
    hand(ui->About1, &QAction::triggered, &Panel::About1_Click);
    hand(ui->Vkl, &QPushButton::clicked, &Panel::Vkl_Click);
    hand(ui->Vikl, &QPushButton::clicked, &Panel::Vikl_Click);
    hand(ui->JdVikl, &QRadioButton::clicked, &Panel::JdVikl_Click);
    hand(ui->JdVkl, &QRadioButton::clicked, &Panel::JdVkl_Click);
    hand(ui->Kom1, &QRadioButton::clicked, &Panel::Kom1_Click);
    hand(ui->Kom2, &QRadioButton::clicked, &Panel::Kom2_Click);
    hand(ui->Kom3, &QRadioButton::clicked, &Panel::Kom3_Click);

    connect(p, &Panel::powerChanged, this, &Velmora::showPower);
    connect(
        p, &Panel::readinessChanged, this, [this, p] { ui->Label3->setText(p->readinessText()); });
    connect(p, &Panel::inputChanged, this, [this](int input) {
        const std::array buttons{ui->Kom1, ui->Kom2, ui->Kom3};
        buttons.at(input - 1)->setChecked(true);
    });
    // "Вкл" is JdVikl, "Выкл" JdVkl.
    connect(p, &Panel::standbyChanged, this, [this](bool on) {
        (on ? ui->JdVikl : ui->JdVkl)->setChecked(true);
    });
    connect(p, &Panel::canHideChanged, ui->Scrit, &QAction::setEnabled);
    ui->Scrit->setEnabled(p->canHide());

    connect(p, &Panel::windowWanted, this, [this] {
        show();
        raise();
        activateWindow();
    });
    connect(p, &Panel::settingsWanted, this, [this] { bringForward(nastr_); });
    connect(p, &Panel::aboutWanted, this, [this] { bringForward(about_); });
    // The program ends once no window of it is loaded.
    connect(p, &Panel::unloaded, this, [this] {
        hide();
        deleteLater();
    });
}

void Velmora::showPower() {
    const bool on = panel_->powered();
    setTextColour(ui->Label4, on ? Blue : Red);
    ui->Label4->setText(panel_->powerText());
    ui->Vkl->setEnabled(!on);
    ui->Vikl->setEnabled(on);
}

void Velmora::closeEvent(QCloseEvent *event) {
    // Closed by other means than "Выход" (the session ending): unloaded as
    // it is, without the question, the power-off or the icon removal.
    panel_->stopTimers();
    event->accept();
}

} // namespace velmora
