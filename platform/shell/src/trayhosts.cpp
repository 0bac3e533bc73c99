#include "shell/trayhosts.h"

#include "logging.h"
#include "shell/embeddedicon.h"
#include "statusnotifieritem.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QPointer>

namespace shell {

TrayHosts::TrayHosts(QObject *parent) : QObject(parent) {
    watchEmbeddedTray();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCDebug(lcShell) << "no session bus: XEmbed only";
        present_ = present();
        return;
    }
    watcher_ = new QDBusServiceWatcher(
        sni::WatcherService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_,
            &QDBusServiceWatcher::serviceOwnerChanged,
            this,
            [this](const QString &, const QString &, const QString &newOwner) {
                ++generation_;
                setTray(newOwner.isEmpty() ? Tray::Embedded : Tray::Pending);
                if (!newOwner.isEmpty()) {
                    followHosts();
                    query();
                }
            });
    // The daemon answers this at once, so that icons added before the first
    // answer of a watcher wait for it rather than go to the wrong tray.
    if (bus.interface()->isServiceRegistered(sni::WatcherService)) {
        tray_ = Tray::Pending;
        followHosts();
        query();
    }
    present_ = present();
}

void TrayHosts::followHosts() {
    // Only once a watcher is there: each connection waits for the bus's own
    // thread, and a desktop without a watcher would pay it at every start.
    // From whichever connection the signals come: naming the watcher's
    // service would cost a blocking lookup of its owner, and a stray signal
    // only makes the tray be asked again.
    if (followingHosts_)
        return;
    followingHosts_ = true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    for (const char *signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
        bus.connect(QString(),
                    sni::WatcherPath,
                    sni::WatcherInterface,
                    QString::fromLatin1(signal),
                    this,
                    SLOT(query()));
}

void TrayHosts::watchEmbeddedTray() {
    // The X11 platform tells when an XEmbed tray's manager window appears or
    // is destroyed (the signal its own tray icons follow). Other platforms
    // have no such tray.
    auto *native = reinterpret_cast<QObject *>(QGuiApplication::platformNativeInterface());
    if (!native || native->metaObject()->indexOfSignal("systemTrayWindowChanged(QScreen*)") < 0)
        return;
    connect(native, SIGNAL(systemTrayWindowChanged(QScreen *)), this, SLOT(embeddedTrayChanged()));
}

void TrayHosts::embeddedTrayChanged() {
    qCDebug(lcShell) << "XEmbed tray changed";
    emit embeddedTrayWindowChanged();
    setTray(tray_);
}

TrayHosts *TrayHosts::instance() {
    static QPointer<TrayHosts> hosts;
    if (!hosts && qobject_cast<QApplication *>(QCoreApplication::instance()))
        hosts = new TrayHosts(QCoreApplication::instance());
    return hosts;
}

bool TrayHosts::present() const {
    return tray_ == Tray::StatusNotifier ||
           (tray_ == Tray::Embedded && EmbeddedIcon::trayPresent());
}

void TrayHosts::query() {
    QDBusMessage get =
        QDBusMessage::createMethodCall(sni::WatcherService,
                                       sni::WatcherPath,
                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                       QStringLiteral("Get"));
    get << sni::WatcherInterface << QStringLiteral("IsStatusNotifierHostRegistered");
    auto *call = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
    connect(call,
            &QDBusPendingCallWatcher::finished,
            this,
            [this, generation = generation_](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *call;
                if (generation != generation_)
                    return;
                if (reply.isError())
                    qCDebug(lcShell)
                        << "no answer from the StatusNotifierWatcher:" << reply.error().message();
                setTray(!reply.isError() && reply.value().variant().toBool() ? Tray::StatusNotifier
                                                                             : Tray::Embedded);
            });
}

void TrayHosts::setTray(Tray tray) {
    if (tray != tray_) {
        qCDebug(lcShell) << "tray" << tray;
        tray_ = tray;
        emit trayChanged(tray);
    }
    if (const bool now = present(); now != present_) {
        present_ = now;
        emit changed(now);
    }
}

bool trayHostPresent() {
    const TrayHosts *hosts = TrayHosts::instance();
    return hosts && hosts->present();
}

} // namespace shell
