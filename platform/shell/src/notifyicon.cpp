#include "shell/notifyicon.h"

#include "logging.h"
#include "notifications.h"
#include "shell/embeddedicon.h"
#include "shell/mousemessages.h"
#include "shell/records.h"
#include "shell/trayhosts.h"
#include "statusnotifieritem.h"

#include "automation/result.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QList>
#include <QPointer>

namespace shell {

namespace {

namespace rec = icon_record;
namespace balloon = balloon_record;

// The mouse messages an activation becomes.
using namespace mouse;

QList<int> messagesFor(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return {LeftDown, LeftUp};
    // The desktop reports the double click's first click as a Trigger of
    // its own, so the double click adds only the rest of the sequence.
    case QSystemTrayIcon::DoubleClick:
        return {LeftDouble, LeftUp};
    case QSystemTrayIcon::MiddleClick:
        return {MiddleDown, MiddleUp};
    case QSystemTrayIcon::Context:
        return {RightDown, RightUp};
    case QSystemTrayIcon::Unknown:
        break;
    }
    return {};
}

struct IconFields {
    windowing::WindowHandle window = 0;
    std::uint32_t id = 0;
    std::uint32_t flags = 0;
    std::uint32_t callbackMessage = 0;
    windowing::IconHandle icon = 0;
    QString tip;
    // A balloon record's balloon.
    bool balloon = false;
    QString info, infoTitle;
    std::uint32_t infoFlags = 0;

    quint64 key() const { return quint64(window) << 32 | id; }
};

automation::Result<IconFields> readIconRecord(const QByteArray &record) {
    IconFields f;
    f.balloon = record.size() == balloon::Size;
    if ((record.size() != rec::Size && !f.balloon) ||
        readU32(record, rec::CbSize) != std::uint32_t(record.size()))
        return automation::Result<IconFields>::fail(
            automation::err::InvalidCall,
            QStringLiteral("not an icon record (%1 bytes)").arg(record.size()));
    f.window = readU32(record, rec::Window);
    f.id = readU32(record, rec::Id);
    f.flags = readU32(record, rec::Flags);
    f.callbackMessage = readU32(record, rec::CallbackMessage);
    f.icon = readU32(record, rec::Icon);
    f.tip = f.balloon ? readTextField(record, balloon::Tip, balloon::TipWidth)
                      : readTextField(record, rec::Tip, rec::TipWidth);
    if (f.balloon) {
        f.info = readTextField(record, balloon::Info, balloon::InfoWidth);
        f.infoTitle = readTextField(record, balloon::InfoTitle, balloon::InfoTitleWidth);
        f.infoFlags = readU32(record, balloon::InfoFlags);
    }
    return f;
}

// An icon as the owner last described it, and where it shows: as an XEmbed
// icon, or as a StatusNotifierItem.
struct Entry {
    windowing::WindowHandle window = 0;
    std::uint32_t id = 0;
    std::uint32_t callbackMessage = 0; // 0: the owner wants no messages
    QIcon icon;
    QString tip;
    EmbeddedIcon *tray = nullptr; // made only when first needed
    StatusNotifierItem *item = nullptr;
};

void activated(windowing::WindowHandle window, std::uint32_t id,
               QSystemTrayIcon::ActivationReason reason, bool fromItem);

// The icons shown, a child of the application so that they go before it does.
class IconTable : public QObject {
  public:
    explicit IconTable(QObject *parent) : QObject(parent) {
        if (TrayHosts *hosts = TrayHosts::instance()) {
            connect(hosts, &TrayHosts::trayChanged, this, [this] {
                for (Entry &entry : icons)
                    show(entry, true);
            });
            // A new XEmbed tray takes only icons that ask it to.
            connect(hosts, &TrayHosts::embeddedTrayWindowChanged, this, [this] {
                for (Entry &entry : icons)
                    if (entry.tray)
                        entry.tray->dock();
            });
        }
    }
    ~IconTable() override {
        for (Entry &entry : icons)
            delete entry.tray;
    }

    // Shows the entry in the tray there is now.
    void show(Entry &entry, bool trayChanged) {
        const TrayHosts::Tray tray =
            TrayHosts::instance() ? TrayHosts::instance()->tray() : TrayHosts::Tray::Embedded;
        if (tray == TrayHosts::Tray::Pending)
            return;
        const bool onBus = tray == TrayHosts::Tray::StatusNotifier;
        if (onBus && !entry.item) {
            entry.item = new StatusNotifierItem(
                QCoreApplication::applicationName() + u'-' + QString::number(entry.id),
                entry.icon,
                entry.tip,
                [window = entry.window, id = entry.id](QSystemTrayIcon::ActivationReason reason) {
                    activated(window, id, reason, true);
                },
                this);
            trayChanged = true;
        } else if (!onBus && entry.item) {
            entry.item->deleteLater();
            entry.item = nullptr;
        }
        if (onBus && trayChanged)
            entry.item->registerWithWatcher();
        if (!onBus && !entry.tray) {
            entry.tray = new EmbeddedIcon;
            QObject::connect(
                entry.tray,
                &EmbeddedIcon::activated,
                entry.tray,
                [window = entry.window, id = entry.id](QSystemTrayIcon::ActivationReason reason) {
                    activated(window, id, reason, false);
                });
        }
        if (entry.tray) {
            if (!onBus) {
                entry.tray->setIcon(entry.icon);
                entry.tray->setToolTip(entry.tip);
            }
            // The tray shows nothing useful without a picture.
            entry.tray->setWanted(!onBus && !entry.icon.isNull());
        }
    }

    QHash<quint64, Entry> icons;
};

IconTable &table() {
    static QPointer<IconTable> t;
    if (!t)
        t = new IconTable(QCoreApplication::instance());
    return *t;
}

void activated(windowing::WindowHandle window, std::uint32_t id,
               QSystemTrayIcon::ActivationReason reason, bool fromItem) {
    const Entry entry = table().icons.value(quint64(window) << 32 | id);
    qCDebug(lcShell) << "activation" << reason << "of icon" << window << id
                     << (fromItem ? "(bus)" : "");
    if (entry.window != window || entry.callbackMessage == 0)
        return;
    // An item's primary activation stands for the whole double click.
    const QList<int> messages = fromItem && reason == QSystemTrayIcon::DoubleClick
                                    ? QList<int>{LeftDown, LeftUp} + messagesFor(reason)
                                    : messagesFor(reason);
    for (const int message : messages)
        windowing::postMouseMessage(window, {message, 0, 0, 0});
}

void applyFields(Entry &entry, const IconFields &f) {
    if (f.flags & rec::MessageFlag)
        entry.callbackMessage = f.callbackMessage;
    if (f.flags & rec::IconFlag) {
        entry.icon = windowing::iconFromHandle(f.icon);
        if (entry.item)
            entry.item->setIcon(entry.icon);
    }
    if (f.flags & rec::TipFlag) {
        entry.tip = f.tip;
        if (entry.item)
            entry.item->setToolTip(entry.tip);
    }
    table().show(entry, false);
    if (f.balloon && (f.flags & balloon::InfoFlag))
        Notifications::instance().show(f.key(), f.infoTitle, f.info, f.infoFlags);
}

automation::Result<> apply(Operation op, const QByteArray &record) {
    const IconFields f = TRY(readIconRecord(record));
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return automation::Result<>::fail(automation::err::InvalidCall,
                                          QStringLiteral("no application to show icons"));
    auto &icons = table().icons;
    const auto it = icons.find(f.key());
    const bool exists = it != icons.end();
    if (op == Operation::Add && !exists) {
        Entry &entry = icons[f.key()];
        entry.window = f.window;
        entry.id = f.id;
        applyFields(entry, f);
        return {};
    }
    if (op == Operation::Modify && exists) {
        applyFields(*it, f);
        return {};
    }
    if (op == Operation::Delete && exists) {
        // Later: the icon may be the one whose signal is being handled.
        if (it->tray) {
            it->tray->setWanted(false);
            it->tray->deleteLater();
        }
        if (it->item)
            it->item->deleteLater();
        icons.erase(it);
        Notifications::close(f.key());
        return {};
    }
    return automation::Result<>::fail(automation::err::InvalidCall,
                                      QStringLiteral("operation %1 refused for icon %2/%3")
                                          .arg(quint32(op))
                                          .arg(f.window)
                                          .arg(f.id));
}

// One line per record to the file VELMORA_SHELL_TRACE names, opened for each
// line so that the file is whole at every moment.
void trace(Operation op, const QByteArray &record) {
    const QString path = qEnvironmentVariable("VELMORA_SHELL_TRACE");
    if (path.isEmpty())
        return;
    static const char *const names[] = {"add", "modify", "delete"};
    const auto n = quint32(op);
    const QByteArray name = n < std::size(names) ? QByteArray(names[n]) : QByteArray::number(n);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) ||
        file.write(name + ' ' + record.toHex(' ') + '\n') < 0)
        qCWarning(lcShell) << "cannot write the trace" << path << file.errorString();
}

} // namespace

automation::Result<> notifyIconResult(Operation op, const QByteArray &record) {
    trace(op, record);
    return apply(op, record);
}

bool notifyIcon(Operation op, const QByteArray &record) {
    const automation::Result<> result = notifyIconResult(op, record);
    if (!result)
        qCDebug(lcShell) << "refused:" << result.error().description;
    return result.ok();
}

EmbeddedIcon *trayIcon(windowing::WindowHandle window, std::uint32_t id) {
    if (!QCoreApplication::instance())
        return nullptr;
    return table().icons.value(quint64(window) << 32 | id).tray;
}

} // namespace shell
