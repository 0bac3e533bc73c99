// The balloon control Pellagon (ProgID pellago.Pellagon): shows a balloon
// (text, title, one of the shell's info icons) over a notification-area icon
// that another component registered under its window with the number 1.
// Invisible at run time; a small face in a designer.
#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "controlkit/traycontrol.h"
#include "pellago_dispids.h" // pellago::dispid, generated from src/typelib.json

namespace pellago {

class Pellagon : public controlkit::TrayControl {
  public:
    static const QString ProgId;
    // The type library the library carries (resource TYPELIB 1).
    static const automation::TypeLibrary &library();

    Pellagon();

    automation::Result<> load(const automation::PropertyBag &bag) override;
    automation::Result<> save(automation::PropertyBag &bag) override;

  protected:
    automation::Result<> invokeChecked(const automation::MemberInfo &member,
                                       std::vector<automation::Variant> &args) override;

  private:
    void showBalloonMessage(const QString &prompt, const QString &title, std::int32_t handle);

    std::int32_t messageType_ = 0;
    QByteArray notifyData_; // the balloon record, kept for the control's life
};

// The picture on the design-time face (face.cpp).
QPixmap facePicture();

} // namespace pellago
