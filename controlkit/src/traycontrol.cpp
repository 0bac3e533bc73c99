#include "controlkit/traycontrol.h"

namespace controlkit {

TrayControl::TrayControl(const automation::TypeLibrary &library, QString progId,
                         const QString &className, PictureFunction picture)
    : window_(new QWidget), library_(library), progId_(std::move(progId)) {
    window_->setObjectName(className);
    buildFace(window_, picture);
}

// The control neither adds nor removes anything of the shell's by itself.
TrayControl::~TrayControl() {
    delete window_.data();
}

} // namespace controlkit
