// Test support: a session bus of the test's own, a tray host on it, and the
// shell's record trace.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

namespace shell::testing {

// Starts a private dbus-daemon that activates no services, ended with the test
// process even when that crashes, and points DBUS_SESSION_BUS_ADDRESS at it. Call it before the
// application is made. False when dbus-daemon is missing or does not start.
bool startPrivateBus();

// The records traced since the last call (VELMORA_SHELL_TRACE), one line each,
// without the last line's end; the trace then starts afresh.
QByteArray takeTrace();

// Registers the control library the environment variable `library` names in a
// private registry, the shell's trace beside it, for the life of the program.
void registerControl(const char *library);

// A StatusNotifierItem host of the test's own: org.kde.StatusNotifierWatcher
// with a host registered, on a connection of its own to the session bus.
class TrayHost : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
  public:
    TrayHost();
    ~TrayHost() override;
    // Claims or gives up the watcher's name, and waits until the shell has
    // seen the host come or go; false when it did not.
    bool setPresent(bool present);
    bool hostRegistered() const { return true; }

    QDBusConnection bus;
    QStringList items; // the services of the items registered so far

  public slots:
    void RegisterStatusNotifierItem(const QString &service) { items << service; }
};

} // namespace shell::testing
