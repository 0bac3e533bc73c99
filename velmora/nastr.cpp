#include "nastr.h"

#include <QDir>

#include "formdesign.h"
#include "settingsfile.h"
#include "ui_nastr.h"
#include "windowing/instance.h"
#include "windowing/messagebox.h"
#include "windowing/timers.h"

namespace velmora {

namespace {

// A list position the list cannot take shows no selection.
void selectPosition(QComboBox *list, std::int16_t position) {
    list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
}

// 0 clear, 1 ticked, 2 greyed; any other value shows clear.
void setBoxState(QCheckBox *box, std::int16_t state) {
    switch (state) {
    case 1:
        box->setCheckState(Qt::Checked);
        break;
    case 2:
        box->setCheckState(Qt::PartiallyChecked);
        break;
    default:
        box->setCheckState(Qt::Unchecked);
        break;
    }
}

std::int16_t boxState(const QCheckBox *box) {
    switch (box->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    case Qt::Unchecked:
        break;
    }
    return 0;
}

} // namespace

Nastr::Nastr(QWidget *parent) : QDialog(parent), ui(new Ui::Nastr) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(false);
    applyDesign(this);

    // A greyed box (only ever read from the file) becomes a plain two-state
    // box once the user clicks it.
    for (QCheckBox *box : {ui->Vkl, ui->Vikl})
        connect(box, &QCheckBox::clicked, box, [box] { box->setTristate(false); });
    connect(ui->Command1, &QPushButton::clicked, this, [this] {
        windowing::runHandler([this] {
            if (automation::Result<> r = Command1_Click(); !r.ok())
                windowing::fatalError(r.error());
        });
    });

    Form_Load();
    ui->Command1->setFocus();
}

Nastr::~Nastr() = default;

void Nastr::Form_Load() {
    const Settings s = readSettings();
    selectPosition(ui->COM, toInt16(s.portIndex));
    setBoxState(ui->Vkl, toInt16(s.autoOn));
    setBoxState(ui->Vikl, toInt16(s.autoOff));
    selectPosition(ui->Skor, toInt16(s.speedIndex));
}

automation::Result<> Nastr::Command1_Click() {
    const std::array<std::int16_t, 4> lines = {
        static_cast<std::int16_t>(ui->COM->currentIndex()),
        boxState(ui->Vkl),
        boxState(ui->Vikl),
        static_cast<std::int16_t>(ui->Skor->currentIndex()),
    };
    if (const automation::Result<> saved = writeSettings(lines); !saved.ok()) {
        windowing::showError(QStringLiteral("Не удалось сохранить настройки в файл %1:\n%2")
                                 .arg(QDir::current().absoluteFilePath(SettingsFileName),
                                      saved.error().description));
        return {};
    }
    close();
    return {};
}

} // namespace velmora
