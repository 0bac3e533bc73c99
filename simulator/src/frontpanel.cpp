// The simulated amplifier's front-panel window.
#include "simulator/frontpanel.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "simulator/amplifier.h"

namespace simulator {

FrontPanel::FrontPanel(SimulatedAmplifier &amp, QWidget *parent)
    : QWidget(parent), amp_(amp), state_(new QLabel(this)),
      power_(new QPushButton(tr("Power"), this)) {
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_DeleteOnClose, true);
    setWindowTitle(tr("Simulated amplifier \"%1\"").arg(amp.name()));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(state_);
    layout->addWidget(power_);
    connect(power_, &QPushButton::clicked, &amp, &SimulatedAmplifier::pressPowerKey);
    connect(&amp, &SimulatedAmplifier::changed, this, &FrontPanel::refresh);
    refresh();
}

QString FrontPanel::stateText() const {
    auto onOff = [](bool b) {
        return b ? QStringLiteral("on") : QStringLiteral("off");
    };
    QString text = QStringLiteral("Power %1 | Standby %2 | Input %3 | Carrier %4")
                       .arg(onOff(amp_.powered()), onOff(amp_.standby()))
                       .arg(amp_.input())
                       .arg(onOff(amp_.carrier()));
    if (!amp_.pluggedIn())
        text += QStringLiteral(" | unplugged");
    return text;
}

void FrontPanel::refresh() {
    state_->setText(stateText());
}

} // namespace simulator
