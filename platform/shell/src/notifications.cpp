#include "notifications.h"

#include "logging.h"
#include "shell/embeddedicon.h"
#include "shell/notifyicon.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QPointer>

namespace shell {

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");

QDBusMessage method(const QString &name, const QVariantList &args = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(Service, Path, Service, name);
    m.setArguments(args);
    return m;
}

// The icon names of the freedesktop icon theme for the balloon's info flags.
QString iconName(std::uint32_t infoFlags) {
    switch (infoFlags) {
    case 1:
        return QStringLiteral("dialog-information");
    case 2:
        return QStringLiteral("dialog-warning");
    case 3:
        return QStringLiteral("dialog-error");
    }
    return {};
}

// Text meant as text, for a service that reads markup.
QString escaped(QString text) {
    return text.replace(u'&', QLatin1String("&amp;"))
        .replace(u'<', QLatin1String("&lt;"))
        .replace(u'>', QLatin1String("&gt;"));
}

QPointer<Notifications> current;

} // namespace

Notifications &Notifications::instance() {
    if (!current)
        current = new Notifications(QCoreApplication::instance());
    return *current;
}

void Notifications::close(quint64 key) {
    if (current)
        current->show(key, {}, {}, 0);
}

Notifications::Notifications(QObject *parent) : QObject(parent) {
    // Another service (or none) from now on: its markup is asked anew, and
    // the old one's notifications are not ours to replace.
    watcher_ = new QDBusServiceWatcher(
        Service, QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_,
            &QDBusServiceWatcher::serviceOwnerChanged,
            this,
            [this](const QString &, const QString &, const QString &owner) {
                qCDebug(lcShell) << "notification service" << (owner.isEmpty() ? "gone" : "now at")
                                 << owner;
                markup_.reset();
                ids_.clear();
            });
}

void Notifications::show(quint64 key, const QString &title, const QString &text,
                         std::uint32_t infoFlags) {
    queue_.push_back({key, title, text, infoFlags});
    next();
}

void Notifications::next() {
    while (!busy_ && !queue_.empty()) {
        if (!QDBusConnection::sessionBus().isConnected()) {
            done(QStringLiteral("no session bus"));
            continue;
        }
        const Request &r = queue_.front();
        busy_ = true;
        if (!markup_) {
            auto *call = new QDBusPendingCallWatcher(
                QDBusConnection::sessionBus().asyncCall(method(QStringLiteral("GetCapabilities"))),
                this);
            connect(call,
                    &QDBusPendingCallWatcher::finished,
                    this,
                    [this](QDBusPendingCallWatcher *call) {
                        call->deleteLater();
                        const QDBusPendingReply<QStringList> reply = *call;
                        busy_ = false;
                        if (reply.isError())
                            return done(reply.error().message());
                        markup_ = reply.value().contains(QLatin1String("body-markup"));
                        next();
                    });
        } else {
            send(r);
        }
    }
}

void Notifications::send(const Request &r) {
    if (r.text.isEmpty()) {
        // Nothing to show: close what shows for the icon, if anything does.
        const uint id = ids_.take(r.key);
        if (id)
            QDBusConnection::sessionBus().asyncCall(
                method(QStringLiteral("CloseNotification"), {id}));
        busy_ = false;
        queue_.pop_front();
        return;
    }
    const QVariantList args{QCoreApplication::applicationName(),
                            ids_.value(r.key),
                            iconName(r.infoFlags),
                            *markup_ ? escaped(r.title) : r.title,
                            *markup_ ? escaped(r.text) : r.text,
                            QStringList(),
                            QVariantMap(),
                            -1};
    auto *call = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(method(QStringLiteral("Notify"), args)), this);
    connect(call,
            &QDBusPendingCallWatcher::finished,
            this,
            [this, key = r.key](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                const QDBusPendingReply<uint> reply = *call;
                busy_ = false;
                if (reply.isError())
                    return done(reply.error().message());
                ids_.insert(key, reply.value());
                queue_.pop_front();
                next();
            });
}

// The head request could not reach a service: it falls back, the rest follow.
void Notifications::done(const QString &failure) {
    qCDebug(lcShell) << "no notification service:" << failure;
    fallback(queue_.front());
    queue_.pop_front();
    next();
}

// A balloon over the icon, where the icon shows in an XEmbed tray. An empty
// title and text close the one showing.
void Notifications::fallback(const Request &r) {
    EmbeddedIcon *tray = trayIcon(windowing::WindowHandle(r.key >> 32), std::uint32_t(r.key));
    if (tray && tray->isVisible())
        tray->showMessage(r.text.isEmpty() ? QString() : r.title, r.text);
}

} // namespace shell
