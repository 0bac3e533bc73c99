#include "about.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "windowing/timers.h"

namespace velmora {

About::About(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("About"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("О программе"));
    setModal(false);

    auto* label1 = new QLabel(QStringLiteral("Программа дистанционного управления усилителем \"Вельмора\""), this);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setWordWrap(true);
    auto* line1 = new QFrame(this);
    line1->setObjectName(QStringLiteral("Line1"));
    line1->setFrameShape(QFrame::HLine);
    auto* label2 = new QLabel(QStringLiteral("Версия 1.1"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    auto* command1 = new QPushButton(QStringLiteral("Ok"), this);
    command1->setObjectName(QStringLiteral("Command1"));
    command1->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1);
    layout->addWidget(line1);
    layout->addWidget(label2);
    layout->addWidget(command1, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(command1, &QPushButton::clicked, this, [this] { windowing::runHandler([this] { Command1_Click(); }); });
}

void About::Command1_Click() { close(); }

} // namespace velmora
