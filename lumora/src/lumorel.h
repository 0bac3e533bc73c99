// The notification-area icon control Lumorel (ProgID lumora.Lumorel): one icon
// in the desktop's tray owned by the control's message window, the mouse
// messages the shell posts back turned into events, a frame counter for
// animating the icon, and a design-time face.
#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "controlkit/traycontrol.h"
#include "lumora_dispids.h" // lumora::dispid, generated from src/typelib.json
#include "shell/notifyicon.h"
#include "windowing/handles.h"
#include "windowing/timers.h"

namespace lumora {

class Lumorel : public controlkit::TrayControl {
  public:
    static const QString ProgId;
    // The type library the library carries (resource TYPELIB 1).
    static const automation::TypeLibrary &library();

    Lumorel();

    automation::Result<> load(const automation::PropertyBag &bag) override;
    automation::Result<> save(automation::PropertyBag &bag) override;

  protected:
    automation::Result<> invokeChecked(const automation::MemberInfo &member,
                                       std::vector<automation::Variant> &args) override;

  private:
    // The shell methods (lumorel.cpp). Each returns its first failure;
    // trapped() turns that into the Error event.
    automation::Result<> addToTray(const automation::Variant &icon, const QString &tip,
                                   bool hideWindow);
    automation::Result<> modifyTrayIcon(const automation::Variant &icon, const QString &tip);
    automation::Result<> returnTrayIcon();
    automation::Result<> deleteFromTray();
    automation::Result<> trapped(const char *method, const automation::Result<> &outcome);
    automation::Result<> fillRecord(const automation::Variant *icon, QStringView tip);
    void callShell(shell::Operation op);
    windowing::WindowHandle handle() const;

    // Mouse messages from the shell (mouse.cpp).
    void mouseMessage(double xTwips);
    void raiseButtonEvent(automation::DispId event, std::int32_t button);

    // Animation (animation.cpp).
    automation::Result<> startAnimation(std::int32_t first, std::int32_t last);
    automation::Result<> pauseAnimation();
    automation::Result<> stopAnimation(bool returnIcon);
    automation::Result<> setAnimationInterval(std::int32_t ms);
    void tick();

    automation::Result<> raiseLogged(automation::DispId event,
                                     std::vector<automation::Variant> &args);

    // The message window, a child of the control's window, owns the icon.
    QPointer<windowing::MessageWindow> messages_;
    windowing::Timer tmrAnima_;

    QByteArray notifyData_; // the icon record of the last shell call
    windowing::WindowHandle savedWnd_ = 0;
    windowing::IconHandle savedIcon_ = 0;
    QString savedTip_; // the tip of the last AddToTray, uncut, with its NUL

    bool inEvent_ = false;
    std::int32_t lastMessage_ = 0;

    std::int32_t firstFrameNo_ = 0;
    std::int32_t lastFrameNo_ = 0;
    std::int32_t frameNo_ = 0;
    bool paused_ = false;
};

// The picture on the design-time face (face.cpp).
QPixmap facePicture();

} // namespace lumora
