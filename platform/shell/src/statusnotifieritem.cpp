#include "statusnotifieritem.h"

#include "logging.h"

#include "windowing/timers.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QGuiApplication>
#include <QImage>
#include <QStyleHints>
#include <QtEndian>

#include <atomic>

namespace shell {

namespace sni {

QDBusArgument &operator<<(QDBusArgument &arg, const Image &image) {
    arg.beginStructure();
    arg << image.width << image.height << image.pixels;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, Image &image) {
    arg.beginStructure();
    arg >> image.width >> image.height >> image.pixels;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const ToolTip &tip) {
    arg.beginStructure();
    arg << tip.iconName << tip.images << tip.title << tip.text;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, ToolTip &tip) {
    arg.beginStructure();
    arg >> tip.iconName >> tip.images >> tip.title >> tip.text;
    arg.endStructure();
    return arg;
}

Images imagesOf(const QIcon &icon) {
    QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty())
        sizes = {{16, 16}, {22, 22}, {32, 32}, {48, 48}};
    Images images;
    for (const QSize &size : sizes) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull() || std::any_of(images.cbegin(), images.cend(), [&](const Image &i) {
                return i.width == image.width() && i.height == image.height();
            }))
            continue;
        Image out{
            image.width(), image.height(), QByteArray(image.width() * image.height() * 4, '\0')};
        auto *to = reinterpret_cast<uchar *>(out.pixels.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto *line = reinterpret_cast<const quint32 *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x, to += 4)
                qToBigEndian(line[x], to);
        }
        images << out;
    }
    return images;
}

} // namespace sni

StatusNotifierItem::StatusNotifierItem(const QString &id, const QIcon &icon, const QString &tip,
                                       Activated activated, QObject *parent)
    : QObject(parent), id_(id), tip_(tip), images_(sni::imagesOf(icon)),
      activated_(std::move(activated)) {
    static const bool typesKnown = [] {
        qDBusRegisterMetaType<sni::Image>();
        qDBusRegisterMetaType<sni::Images>();
        qDBusRegisterMetaType<sni::ToolTip>();
        return true;
    }();
    Q_UNUSED(typesKnown);
    static std::atomic<int> count = 0;
    const int n = ++count;
    connectionName_ = QStringLiteral("velmora-statusnotifieritem-%1").arg(n);
    service_ = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                   .arg(QCoreApplication::applicationPid())
                   .arg(n);
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName_);
    onBus_ = bus.isConnected() &&
             bus.registerObject(sni::ItemPath, this, QDBusConnection::ExportAllContents) &&
             bus.registerService(service_);
    if (!onBus_)
        qCWarning(lcShell) << "cannot put the tray item" << service_
                           << "on the session bus:" << bus.lastError().message();
}

StatusNotifierItem::~StatusNotifierItem() {
    QDBusConnection bus(connectionName_);
    bus.unregisterObject(sni::ItemPath);
    QDBusConnection::disconnectFromBus(connectionName_);
}

void StatusNotifierItem::setIcon(const QIcon &icon) {
    images_ = sni::imagesOf(icon);
    emit NewIcon();
}

void StatusNotifierItem::setToolTip(const QString &tip) {
    tip_ = tip;
    emit NewToolTip();
}

QString StatusNotifierItem::title() const {
    return QGuiApplication::applicationDisplayName();
}

void StatusNotifierItem::registerWithWatcher() {
    if (!onBus_)
        return;
    QDBusConnection bus(connectionName_);
    QDBusMessage call =
        QDBusMessage::createMethodCall(sni::WatcherService,
                                       sni::WatcherPath,
                                       sni::WatcherInterface,
                                       QStringLiteral("RegisterStatusNotifierItem"));
    call << service_;
    auto *pending = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(pending,
            &QDBusPendingCallWatcher::finished,
            this,
            [service = service_](QDBusPendingCallWatcher *pending) {
                pending->deleteLater();
                if (pending->isError())
                    qCWarning(lcShell) << "the watcher refused the tray item" << service
                                       << pending->error().message();
            });
}

void StatusNotifierItem::Activate(int, int) {
    const std::int64_t now = windowing::clockNowMs();
    if (activatedBefore_ &&
        now - lastActivate_ < QGuiApplication::styleHints()->mouseDoubleClickInterval()) {
        qCDebug(lcShell) << "second activation of" << service_
                         << "within the double-click interval dropped";
        return;
    }
    activatedBefore_ = true;
    lastActivate_ = now;
    activated_(QSystemTrayIcon::DoubleClick);
}

void StatusNotifierItem::SecondaryActivate(int, int) {
    activated_(QSystemTrayIcon::MiddleClick);
}

void StatusNotifierItem::ContextMenu(int, int) {
    activated_(QSystemTrayIcon::Context);
}

void StatusNotifierItem::Scroll(int, const QString &) {}

} // namespace shell
