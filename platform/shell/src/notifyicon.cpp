#include "shell/notifyicon.h"

#include "shell/records.h"
#include "logging.h"

#include "automation/result.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSystemTrayIcon>

namespace shell {

namespace {

namespace rec = icon_record;

// The mouse messages an activation becomes.
constexpr int LeftDown = 0x201, LeftUp = 0x202, LeftDouble = 0x203;
constexpr int RightDown = 0x204, RightUp = 0x205;
constexpr int MiddleDown = 0x207, MiddleUp = 0x208;

QList<int> messagesFor(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger: return {LeftDown, LeftUp};
    // The desktop reports the double click's first click as a Trigger of
    // its own, so the double click adds only the rest of the sequence.
    case QSystemTrayIcon::DoubleClick: return {LeftDouble, LeftUp};
    case QSystemTrayIcon::MiddleClick: return {MiddleDown, MiddleUp};
    case QSystemTrayIcon::Context: return {RightDown, RightUp};
    case QSystemTrayIcon::Unknown: break;
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

    quint64 key() const { return quint64(window) << 32 | id; }
};

automation::Result<IconFields> readIconRecord(const QByteArray& record)
{
    if (record.size() != rec::Size || readU32(record, rec::CbSize) != rec::Size)
        return automation::Result<IconFields>::fail(automation::err::InvalidCall,
                                                    QStringLiteral("not an icon record (%1 bytes)").arg(record.size()));
    IconFields f;
    f.window = readU32(record, rec::Window);
    f.id = readU32(record, rec::Id);
    f.flags = readU32(record, rec::Flags);
    f.callbackMessage = readU32(record, rec::CallbackMessage);
    f.icon = readU32(record, rec::Icon);
    f.tip = readTextField(record, rec::Tip, rec::TipWidth);
    return f;
}

struct Entry {
    QSystemTrayIcon* tray = nullptr;
    std::uint32_t callbackMessage = 0;   // 0: the owner wants no messages
};

// The icons shown, a child of the application so that they go before it does.
class IconTable : public QObject {
public:
    using QObject::QObject;
    QHash<quint64, Entry> icons;
};

IconTable& table()
{
    static QPointer<IconTable> t;
    if (!t)
        t = new IconTable(QCoreApplication::instance());
    return *t;
}

void activated(windowing::WindowHandle window, std::uint32_t id, QSystemTrayIcon::ActivationReason reason)
{
    const Entry entry = table().icons.value(quint64(window) << 32 | id);
    qCDebug(lcShell) << "activation" << reason << "of icon" << window << id;
    if (!entry.tray || entry.callbackMessage == 0)
        return;
    for (const int message : messagesFor(reason))
        windowing::postMouseMessage(window, {message, 0, 0, 0});
}

void applyFields(Entry& entry, const IconFields& f)
{
    if (f.flags & rec::MessageFlag)
        entry.callbackMessage = f.callbackMessage;
    if (f.flags & rec::IconFlag)
        entry.tray->setIcon(windowing::iconFromHandle(f.icon));
    if (f.flags & rec::TipFlag)
        entry.tray->setToolTip(f.tip);
    // The tray shows nothing useful without a picture.
    entry.tray->setVisible(!entry.tray->icon().isNull());
}

automation::Result<> apply(Operation op, const QByteArray& record)
{
    const IconFields f = TRY(readIconRecord(record));
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return automation::Result<>::fail(automation::err::InvalidCall, QStringLiteral("no application to show icons"));
    auto& icons = table().icons;
    const auto it = icons.find(f.key());
    const bool exists = it != icons.end();
    if (op == Operation::Add && !exists) {
        Entry entry{new QSystemTrayIcon(&table())};
        QObject::connect(entry.tray, &QSystemTrayIcon::activated, entry.tray,
                         [window = f.window, id = f.id](QSystemTrayIcon::ActivationReason reason) {
                             activated(window, id, reason);
                         });
        applyFields(entry, f);
        icons.insert(f.key(), entry);
        return {};
    }
    if (op == Operation::Modify && exists) {
        applyFields(*it, f);
        return {};
    }
    if (op == Operation::Delete && exists) {
        // Later: the icon may be the one whose signal is being handled.
        it->tray->hide();
        it->tray->deleteLater();
        icons.erase(it);
        return {};
    }
    return automation::Result<>::fail(automation::err::InvalidCall,
                                      QStringLiteral("operation %1 refused for icon %2/%3").arg(quint32(op)).arg(f.window).arg(f.id));
}

// One line per record to the file VELMORA_SHELL_TRACE names, opened for each
// line so that the file is whole at every moment.
void trace(Operation op, const QByteArray& record)
{
    const QString path = qEnvironmentVariable("VELMORA_SHELL_TRACE");
    if (path.isEmpty())
        return;
    static const char* const names[] = {"add", "modify", "delete"};
    const auto n = quint32(op);
    const QByteArray name = n < std::size(names) ? QByteArray(names[n]) : QByteArray::number(n);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)
        || file.write(name + ' ' + record.toHex(' ') + '\n') < 0)
        qCWarning(lcShell) << "cannot write the trace" << path << file.errorString();
}

} // namespace

bool notifyIcon(Operation op, const QByteArray& record)
{
    trace(op, record);
    const automation::Result<> result = apply(op, record);
    if (!result)
        qCDebug(lcShell) << "refused:" << result.error().description;
    return result.ok();
}

QSystemTrayIcon* trayIcon(windowing::WindowHandle window, std::uint32_t id)
{
    if (!QCoreApplication::instance())
        return nullptr;
    return table().icons.value(quint64(window) << 32 | id).tray;
}

} // namespace shell
