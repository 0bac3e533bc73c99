// An icon in an XEmbed system tray: a small frameless window that the tray's
// manager takes into its own, painting the picture and reporting clicks.
#pragma once

#include <QIcon>
#include <QSystemTrayIcon>
#include <QWidget>

namespace shell {

class EmbeddedIcon : public QWidget {
    Q_OBJECT
  public:
    EmbeddedIcon();

    // An XEmbed tray's manager window is on the primary screen. Always false
    // off X11.
    static bool trayPresent();

    QIcon icon() const { return icon_; }
    void setIcon(const QIcon &icon);
    // Whether the icon is to show. It shows while an XEmbed tray is there;
    // with none its window would stand alone on the screen.
    void setWanted(bool wanted);
    bool wanted() const { return wanted_; }
    // Docks the icon in the tray there is now, if it is wanted: after the
    // tray was replaced or has gone, the window is made anew so that the
    // next tray's manager takes it.
    void dock();

    // A balloon over the icon, for when no notification service shows it:
    // the title in bold over the text, for 10 s. An empty text hides it.
    void showMessage(const QString &title, const QString &text);

  signals:
    // As QSystemTrayIcon reports them: the press of the left, middle or
    // right button, and the second press of a left double click.
    void activated(QSystemTrayIcon::ActivationReason reason);

  protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

  private:
    void place();
    void withdraw();

    QIcon icon_;
    bool wanted_ = false;
};

} // namespace shell
