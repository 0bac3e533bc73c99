// Who can show a tray icon on this desktop: a StatusNotifierItem host behind
// org.kde.StatusNotifierWatcher on the session bus, or an XEmbed system tray.
#pragma once

#include <QObject>

class QDBusServiceWatcher;

namespace shell {

class TrayHosts : public QObject {
    Q_OBJECT
  public:
    // Which tray the shell's icons go to. Pending: a watcher is on the bus and
    // has not yet said whether a host is registered with it (icons wait).
    enum class Tray { Pending, Embedded, StatusNotifier };
    Q_ENUM(Tray)

    // The one instance, a child of the application; null without an
    // application. Made on first use.
    static TrayHosts *instance();

    Tray tray() const { return tray_; }
    // A StatusNotifierItem host is registered, or an XEmbed tray is there.
    bool present() const;

  signals:
    // present() changed: a StatusNotifierItem host registered or gone, an
    // XEmbed tray's window appeared or destroyed.
    void changed(bool present);
    // tray() changed; StatusNotifier again after Pending means a watcher
    // (re)appeared, and items register with it anew.
    void trayChanged(shell::TrayHosts::Tray tray);
    // An XEmbed tray's window appeared, or the one there was destroyed.
    void embeddedTrayWindowChanged();

  private slots:
    void query();
    void embeddedTrayChanged();

  private:
    explicit TrayHosts(QObject *parent);
    void watchEmbeddedTray();
    // Follows the hosts registering with the watcher, from the first watcher on.
    void followHosts();
    void setTray(Tray tray);

    QDBusServiceWatcher *watcher_ = nullptr;
    Tray tray_ = Tray::Embedded;
    bool present_ = false;
    bool followingHosts_ = false;
    quint64 generation_ = 0; // answers to older queries are dropped
};

// TrayHosts::instance()->present(); false without an application.
bool trayHostPresent();

} // namespace shell
