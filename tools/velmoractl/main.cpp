// velmoractl: the running panel's commands and state from a shell, a script
// or a keyboard shortcut, over the session bus (see velmora's PanelBus).
//
// Exit status: 0 done, 1 the panel refused (its message on stderr), 2 bad
// usage, 3 no panel running (or no session bus to find one on).
#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QDateTime>
#include <QTextStream>

#include "panel_interface.h"

namespace {

const QString Service = QStringLiteral("org.velmora.Panel");
const QString Path = QStringLiteral("/org/velmora/Panel");

const char Usage[] =
    "Usage: velmoractl COMMAND\n"
    "The running velmora panel's amplifier, from the command line.\n"
    "\n"
    "  status            power, state and port, on one line\n"
    "  on | off          switch the amplifier on or off\n"
    "  standby on|off    the standby mode\n"
    "  input 1|2|3       select an input\n"
    "  watch             one line per change, with the time, until interrupted\n"
    "  show              bring the panel's window to the front\n"
    "  quit              end the panel, as its \"Выход\" answered Yes\n"
    "  --help            this text\n"
    "\n"
    "Exit status: 0 done, 1 refused by the panel, 2 bad usage, 3 velmora is not running,\n"
    "is closing, or there is no session bus.\n";

enum Exit { Done = 0, Refused = 1, BadUsage = 2, NotRunning = 3 };

QTextStream &out() {
    static QTextStream s(stdout);
    return s;
}

int notRunning() {
    QTextStream(stderr) << "velmora is not running\n";
    return NotRunning;
}

// No panel can be reached either; the reason is the bus library's.
int noBus(const QDBusError &why) {
    QTextStream(stderr) << "velmoractl: no session bus: "
                        << (why.isValid() ? why.message() : QStringLiteral("not connected"))
                        << '\n';
    return NotRunning;
}

QString yesNo(bool b) {
    return b ? QStringLiteral("yes") : QStringLiteral("no");
}

QString stateText(const QString &state, uint left) {
    return state == QLatin1String("warming up")
               ? QStringLiteral("%1 (%2 s left)").arg(state).arg(left)
               : state;
}

QString statusLine(OrgVelmoraPanelInterface &panel) {
    const QString problem = panel.portProblem();
    return QStringLiteral("Powered: %1  State: %2  Port: %3 (%4)")
               .arg(yesNo(panel.powered()),
                    stateText(panel.state(), panel.warmUpRemaining()),
                    panel.port(),
                    panel.portOpen() ? QStringLiteral("open") : QStringLiteral("closed")) +
           (problem.isEmpty() ? QString() : QStringLiteral("  Problem: ") + problem);
}

QString stamp() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// A property as the status line writes it.
QString propertyText(const QString &name, const QVariant &value) {
    if (name == QLatin1String("Powered"))
        return QStringLiteral("Powered: ") + yesNo(value.toBool());
    if (name == QLatin1String("PortOpen"))
        return QStringLiteral("Port: ") +
               (value.toBool() ? QStringLiteral("open") : QStringLiteral("closed"));
    if (name == QLatin1String("WarmUpRemaining"))
        return QStringLiteral("Warm-up: %1 s left").arg(value.toUInt());
    return name + QStringLiteral(": ") + value.toString();
}

// Prints the state, then one line per property change, until interrupted.
class Watcher : public QObject {
    Q_OBJECT
  public:
    Watcher(QDBusConnection bus, OrgVelmoraPanelInterface &panel)
        : panel_(panel), gone_(Service, bus) {
        bus.connect(Service,
                    Path,
                    QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("PropertiesChanged"),
                    this,
                    SLOT(changed(QString, QVariantMap, QStringList)));
        gone_.setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
        connect(&gone_,
                &QDBusServiceWatcher::serviceOwnerChanged,
                this,
                [this](const QString &, const QString &, const QString &owner) {
                    print(owner.isEmpty() ? QStringLiteral("velmora is not running")
                                          : statusLine(panel_));
                });
        print(statusLine(panel_));
    }

  private slots:
    void changed(const QString &interface, const QVariantMap &properties, const QStringList &) {
        if (interface != Service)
            return;
        for (auto it = properties.begin(); it != properties.end(); ++it)
            print(propertyText(it.key(), it.value()));
    }

  private:
    void print(const QString &line) { out() << stamp() << ' ' << line << Qt::endl; }
    OrgVelmoraPanelInterface &panel_;
    QDBusServiceWatcher gone_;
};

// A method's reply as the exit status.
int finish(QDBusPendingReply<> reply) {
    reply.waitForFinished();
    if (!reply.isError())
        return Done;
    const QString name = reply.error().name();
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return notRunning();
    if (name == Service + QLatin1String(".Error.Closing")) {
        QTextStream(stderr) << "velmora is closing\n";
        return NotRunning;
    }
    QTextStream(stderr) << "velmoractl: " << reply.error().message() << '\n';
    return Refused;
}

int badUsage() {
    QTextStream(stderr) << Usage;
    return BadUsage;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0), arg = args.value(1);
    if (args.size() == 1 &&
        (command == QLatin1String("--help") || command == QLatin1String("-h"))) {
        out() << Usage << Qt::flush;
        return Done;
    }
    static const QMap<QString, int> arity = {{"status", 1},
                                             {"on", 1},
                                             {"off", 1},
                                             {"standby", 2},
                                             {"input", 2},
                                             {"watch", 1},
                                             {"show", 1},
                                             {"quit", 1}};
    if (arity.value(command, -1) != args.size() ||
        (command == QLatin1String("standby") && arg != QLatin1String("on") &&
         arg != QLatin1String("off")) ||
        (command == QLatin1String("input") && !QStringList{"1", "2", "3"}.contains(arg)))
        return badUsage();

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return noBus(bus.lastError());
    if (!bus.interface()->isServiceRegistered(Service))
        return notRunning();
    OrgVelmoraPanelInterface panel(Service, Path, bus);

    if (command == QLatin1String("status")) {
        const QString line = statusLine(panel);
        if (panel.lastError().isValid())
            return notRunning();
        out() << line << Qt::endl;
        return Done;
    }
    if (command == QLatin1String("watch")) {
        Watcher watcher(bus, panel);
        return app.exec();
    }
    if (command == QLatin1String("on"))
        return finish(panel.PowerOn());
    if (command == QLatin1String("off"))
        return finish(panel.PowerOff());
    if (command == QLatin1String("show"))
        return finish(panel.Show());
    if (command == QLatin1String("quit"))
        return finish(panel.Quit());
    if (command == QLatin1String("standby"))
        return finish(panel.SetStandby(arg == QLatin1String("on")));
    return finish(panel.SelectInput(arg.toInt()));
}

#include "main.moc"
