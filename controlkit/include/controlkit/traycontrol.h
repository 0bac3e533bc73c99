// The base of the tray controls: type information from the type library their
// library carries, a window of their own carrying the design face (shown only
// in a designer; at run time it stays hidden) and a size that never changes.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "automation/control.h"
#include "controlkit/face.h"

namespace controlkit {

class TrayControl : public automation::ControlObject {
  public:
    ~TrayControl() override;

    const automation::TypeInfo &typeInfo() const override { return library_.defaultInterface; }
    const automation::TypeInfo *eventInfo() const override { return &library_.eventInterface; }
    automation::SizeTwips resize(automation::SizeTwips) override { return {FaceTwips, FaceTwips}; }
    QWidget *window() override { return window_.data(); }

  protected:
    // `library` lives as long as the library that serves the control; the
    // window is named after the class and carries the face, whose picture
    // `picture` draws when the face is first shown.
    TrayControl(const automation::TypeLibrary &library, QString progId, const QString &className,
                PictureFunction picture);
    QString errorSource() const override { return progId_; }

    // The host may place the window on its form, and a form that goes first
    // takes it (and its children) with it.
    QPointer<QWidget> window_;

  private:
    const automation::TypeLibrary &library_;
    QString progId_;
};

} // namespace controlkit
