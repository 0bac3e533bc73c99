// The port mapping file: "key = value" lines, '#' comments.
#include "comm/portmap.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

namespace comm {

QString PortTarget::describe() const
{
    if (kind == Kind::Simulator)
        return QStringLiteral("the simulated amplifier \"%1\"").arg(simulator);
    return device;
}

const PortTarget* PortMap::find(int port) const
{
    auto it = ports.find(port);
    return it == ports.end() ? nullptr : &it->second;
}

QString PortMap::configPath()
{
    const QString over = qEnvironmentVariable("VELMORA_COMM_CONFIG");
    if (!over.isEmpty())
        return over;
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/velmora/comm.conf");
}

static PortMap defaults(const QString& file)
{
    PortMap map;
    map.file = file;
    for (int n = 1; n <= 3; ++n)
        map.ports[n] = PortTarget{PortTarget::Kind::Device, QStringLiteral("/dev/ttyS%1").arg(n - 1)};
    return map;
}

std::optional<PortTarget> PortMap::parseTarget(const QString& value, QString* error)
{
    if (value.startsWith(QLatin1Char('/'))) {
        PortTarget t;
        t.device = value;
        return t;
    }
    const bool sim = value.startsWith(QLatin1String("sim"))
                     && (value.size() == 3 || value[3] == QLatin1Char(':') || value[3] == QLatin1Char('?'));
    if (!sim) {
        *error = QStringLiteral("\"%1\" is neither a device path (/dev/...) nor \"sim\" or \"sim:<name>\"").arg(value);
        return std::nullopt;
    }
    PortTarget t;
    t.kind = PortTarget::Kind::Simulator;
    // "sim", "sim?options", "sim:name", "sim:name?options"
    const QString rest = value.mid(value.size() > 3 && value[3] == QLatin1Char(':') ? 4 : 3);
    const qsizetype q = rest.indexOf(QLatin1Char('?'));
    t.simulator = q < 0 ? rest : rest.left(q);
    if (t.simulator.isEmpty())
        t.simulator = QStringLiteral("default");
    static const QRegularExpression nameRe(QStringLiteral("^[A-Za-z0-9_.-]+$"));
    if (!nameRe.match(t.simulator).hasMatch()) {
        *error = QStringLiteral("simulator name \"%1\" may hold only letters, digits, '_', '.' and '-'").arg(t.simulator);
        return std::nullopt;
    }
    if (q < 0)
        return t;
    const QUrlQuery query(rest.mid(q + 1));
    for (const auto& [key, val] : query.queryItems(QUrl::FullyDecoded)) {
        bool ok = false;
        const int n = val.toInt(&ok);
        if (key == QLatin1String("delay") && ok && n >= 0 && n <= 600000) {
            t.carrierDelayMs = n;
        } else if (key == QLatin1String("panel") && ok && (n == 0 || n == 1)) {
            t.panel = n == 1;
        } else if (key == QLatin1String("power") && (val == QLatin1String("on") || val == QLatin1String("off"))) {
            t.powerOn = val == QLatin1String("on");
        } else if (key == QLatin1String("delay") || key == QLatin1String("panel") || key == QLatin1String("power")) {
            *error = QStringLiteral("bad %1 \"%2\" (delay: 0-600000 ms, panel: 0 or 1, power: on or off)").arg(key, val);
            return std::nullopt;
        } else {
            *error = QStringLiteral("unknown simulator option \"%1\" (known: delay, panel, power)").arg(key);
            return std::nullopt;
        }
    }
    return t;
}

std::optional<PortMap> PortMap::parse(const QByteArray& text, const QString& file, QString* error)
{
    PortMap map = defaults(file);
    static const QRegularExpression portKey(QStringLiteral("^COM([1-9][0-9]?)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        // A '#' at the start of a line or after a blank starts a comment.
        static const QRegularExpression comment(QStringLiteral("(^|\\s)#.*$"));
        const QString line = QString::fromUtf8(lines[i]).remove(comment).trimmed();
        if (line.isEmpty())
            continue;
        auto fail = [&](const QString& what) {
            *error = QStringLiteral("%1:%2: %3").arg(file).arg(i + 1).arg(what);
            return std::nullopt;
        };
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            return fail(QStringLiteral("expected \"key = value\", found \"%1\"").arg(line));
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key.compare(QLatin1String("trace"), Qt::CaseInsensitive) == 0) {
            if (!value.isEmpty() && !QDir::isAbsolutePath(value))
                return fail(QStringLiteral("the trace file must be an absolute path, found \"%1\"").arg(value));
            map.trace = value;
            continue;
        }
        const auto m = portKey.match(key);
        const int port = m.hasMatch() ? m.captured(1).toInt() : 0;
        if (port < 1 || port > MaxPort)
            return fail(QStringLiteral("unknown key \"%1\" (known: COM1 to COM%2, trace)").arg(key).arg(MaxPort));
        QString why;
        auto target = parseTarget(value, &why);
        if (!target)
            return fail(QStringLiteral("COM%1: %2").arg(port).arg(why));
        map.ports[port] = *target;
    }
    return map;
}

std::optional<PortMap> PortMap::load(QString* error)
{
    const QString path = configPath();
    QFile f(path);
    if (!f.exists())
        return defaults(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: cannot read the port mapping: %2").arg(path, f.errorString());
        return std::nullopt;
    }
    return parse(f.readAll(), path, error);
}

} // namespace comm
