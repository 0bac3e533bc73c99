// A tray icon as a StatusNotifierItem: an object on the session bus, on a
// connection and under a service name of its own, that a host reads and calls.
#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <cstdint>
#include <functional>

namespace shell {

namespace sni {
inline const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
inline const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
inline const QString WatcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");
inline const QString ItemPath = QStringLiteral("/StatusNotifierItem");

// One picture: width, height, ARGB32 pixels in network byte order (a(iiay)).
struct Image {
    int width = 0;
    int height = 0;
    QByteArray pixels;
};
using Images = QList<Image>;
// (s icon name, a(iiay) pictures, s title, s text).
struct ToolTip {
    QString iconName;
    Images images;
    QString title;
    QString text;
};
Images imagesOf(const QIcon &icon);
} // namespace sni

class StatusNotifierItem : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(shell::sni::Images IconPixmap READ iconPixmap)
    Q_PROPERTY(shell::sni::ToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)

  public:
    using Activated = std::function<void(QSystemTrayIcon::ActivationReason)>;
    // Puts the item on the bus (isOnBus() tells whether that worked).
    StatusNotifierItem(const QString &id, const QIcon &icon, const QString &tip,
                       Activated activated, QObject *parent);
    ~StatusNotifierItem() override;

    bool isOnBus() const { return onBus_; }
    QString service() const { return service_; }
    void setIcon(const QIcon &icon);
    void setToolTip(const QString &tip);
    // Asks the watcher to show the item; done again whenever a watcher appears.
    void registerWithWatcher();

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return id_; }
    QString title() const;
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString iconName() const { return {}; }
    sni::Images iconPixmap() const { return images_; }
    sni::ToolTip toolTip() const { return {{}, {}, tip_, {}}; }
    bool itemIsMenu() const { return false; }

  public slots:
    // A host's primary activation. Hosts have no double click: some send two
    // activations for one, others one; so one activation stands for a double
    // click and another within the double-click interval is dropped.
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString &orientation);

  signals:
    void NewTitle();
    void NewIcon();
    void NewToolTip();
    void NewStatus(const QString &status);

  private:
    QString connectionName_;
    QString service_;
    QString id_;
    QString tip_;
    sni::Images images_;
    Activated activated_;
    std::int64_t lastActivate_ = 0;
    bool activatedBefore_ = false;
    bool onBus_ = false;
};

} // namespace shell

Q_DECLARE_METATYPE(shell::sni::Image)
Q_DECLARE_METATYPE(shell::sni::ToolTip)
