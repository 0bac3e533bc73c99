#include "shell/embeddedicon.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolTip>
#include <qpa/qplatformnativeinterface.h>

namespace shell {

namespace {

// Qt's X11 platform docks a top-level window of this name in the XEmbed
// tray when it is shown (the system tray protocol's dock request), in the
// visual the tray asks for, and paints it over the tray's background where
// that visual has no alpha. The widget's window is named after the widget.
const char DockedName[] = "QSystemTrayIconSys";
// The size trays of the freedesktop desktops give their icons; the tray
// resizes the window to its own.
constexpr int IconSize = 22;
constexpr int BalloonMs = 10000;

} // namespace

EmbeddedIcon::EmbeddedIcon()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint) {
    setObjectName(QLatin1String(DockedName));
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_TranslucentBackground);
    setGeometry(0, 0, IconSize, IconSize);
    setMinimumSize(IconSize, IconSize);
}

bool EmbeddedIcon::trayPresent() {
    // The platform follows the tray's manager selection once asked, and
    // reports changes as systemTrayWindowChanged (TrayHosts listens).
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    QScreen *screen = QGuiApplication::primaryScreen();
    return native && screen && QGuiApplication::platformName() == QLatin1String("xcb") &&
           native->nativeResourceForScreen(QByteArrayLiteral("traywindow"), screen);
}

void EmbeddedIcon::setIcon(const QIcon &icon) {
    icon_ = icon;
    update();
}

void EmbeddedIcon::setWanted(bool wanted) {
    wanted_ = wanted;
    place();
}

void EmbeddedIcon::dock() {
    withdraw();
    place();
}

void EmbeddedIcon::place() {
    if (wanted_ && trayPresent())
        show();
    else
        withdraw();
}

void EmbeddedIcon::withdraw() {
    // A tray keeps the place of a window it docked until the window is
    // destroyed; a hidden one would leave an empty place to click on.
    hide();
    if (testAttribute(Qt::WA_WState_Created))
        destroy();
}

void EmbeddedIcon::showMessage(const QString &title, const QString &text) {
    if (text.isEmpty()) {
        QToolTip::hideText();
        return;
    }
    const QString html =
        title.isEmpty()
            ? text.toHtmlEscaped()
            : QStringLiteral("<b>%1</b><br>%2").arg(title.toHtmlEscaped(), text.toHtmlEscaped());
    QToolTip::showText(mapToGlobal(rect().center()), html, this, QRect(), BalloonMs);
}

void EmbeddedIcon::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    icon_.paint(&painter, rect());
}

void EmbeddedIcon::mousePressEvent(QMouseEvent *event) {
    switch (event->button()) {
    case Qt::LeftButton:
        emit activated(QSystemTrayIcon::Trigger);
        break;
    case Qt::MiddleButton:
        emit activated(QSystemTrayIcon::MiddleClick);
        break;
    case Qt::RightButton:
        emit activated(QSystemTrayIcon::Context);
        break;
    default:
        break;
    }
}

void EmbeddedIcon::mouseDoubleClickEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        emit activated(QSystemTrayIcon::DoubleClick);
}

} // namespace shell
