// The port mapping file: "key = value" lines, '#' comments.
#include "portmap.h"

#include <QDir>
#include <QUrl>
#include <QUrlQuery>

#include "automation/smallfile.h"
#include "comm/errors.h"

#include <algorithm>

namespace comm {

QString PortTarget::describe() const {
    if (kind == Kind::Simulator)
        return QStringLiteral("the simulated amplifier \"%1\"").arg(simulator);
    return device;
}

const PortTarget *PortMap::find(int port) const {
    auto it = ports.find(port);
    return it == ports.end() ? nullptr : &it->second;
}

QString PortMap::configPath() {
    const QString over = qEnvironmentVariable("VELMORA_COMM_CONFIG");
    if (!over.isEmpty())
        return over;
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/velmora/comm.conf");
}

// The blanks around a comment's '#': space, tab, line and page breaks.
static bool isBlank(QChar c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// A simulator's name: ASCII letters, digits, '_', '.' and '-'.
static bool isPlainName(QStringView name) {
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               c == u'_' || c == u'.' || c == u'-';
    });
}

// "COM1" to "COM99" in any case, no leading zero: the number; 0 otherwise.
static int portNumber(QStringView key) {
    if (key.size() < 4 || key.size() > 5 ||
        !key.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        return 0;
    const QStringView digits = key.mid(3);
    const bool plain = digits[0] >= u'1' && digits[0] <= u'9' &&
                       (digits.size() == 1 || (digits[1] >= u'0' && digits[1] <= u'9'));
    return plain ? digits.toInt() : 0;
}

// The line without its comment: from a '#' at its start or after a blank.
static QStringView withoutComment(QStringView line) {
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == u'#' && (i == 0 || isBlank(line[i - 1])))
            return line.left(i);
    }
    return line;
}

static automation::Error bad(const QString &description) {
    return automation::Error{err::HardwareNotAvailable, description, {}};
}

static PortMap defaults(const QString &file) {
    PortMap map;
    map.file = file;
    for (int n = 1; n <= 3; ++n)
        map.ports[n] =
            PortTarget{PortTarget::Kind::Device, QStringLiteral("/dev/ttyS%1").arg(n - 1)};
    return map;
}

automation::Result<PortTarget> PortMap::parseTarget(const QString &value) {
    if (value.startsWith(QLatin1Char('/'))) {
        PortTarget t;
        t.device = value;
        return t;
    }
    const bool sim =
        value.startsWith(QLatin1String("sim")) &&
        (value.size() == 3 || value[3] == QLatin1Char(':') || value[3] == QLatin1Char('?'));
    if (!sim) {
        return bad(QStringLiteral(
                       "\"%1\" is neither a device path (/dev/...) nor \"sim\" or \"sim:<name>\"")
                       .arg(value));
    }
    PortTarget t;
    t.kind = PortTarget::Kind::Simulator;
    // "sim", "sim?options", "sim:name", "sim:name?options"
    const QString rest = value.mid(value.size() > 3 && value[3] == QLatin1Char(':') ? 4 : 3);
    const qsizetype q = rest.indexOf(QLatin1Char('?'));
    t.simulator = q < 0 ? rest : rest.left(q);
    if (t.simulator.isEmpty())
        t.simulator = QStringLiteral("default");
    if (!isPlainName(t.simulator)) {
        return bad(
            QStringLiteral("simulator name \"%1\" may hold only letters, digits, '_', '.' and '-'")
                .arg(t.simulator));
    }
    if (q < 0)
        return t;
    const QUrlQuery query(rest.mid(q + 1));
    for (const auto &[key, val] : query.queryItems(QUrl::FullyDecoded)) {
        bool ok = false;
        const int n = val.toInt(&ok);
        if (key == QLatin1String("delay") && ok && n >= 0 && n <= 600000) {
            t.carrierDelayMs = n;
        } else if (key == QLatin1String("panel") && ok && (n == 0 || n == 1)) {
            t.panel = n == 1;
        } else if (key == QLatin1String("power") &&
                   (val == QLatin1String("on") || val == QLatin1String("off"))) {
            t.powerOn = val == QLatin1String("on");
        } else if (key == QLatin1String("delay") || key == QLatin1String("panel") ||
                   key == QLatin1String("power")) {
            return bad(QStringLiteral(
                           "bad %1 \"%2\" (delay: 0-600000 ms, panel: 0 or 1, power: on or off)")
                           .arg(key, val));
        } else {
            return bad(
                QStringLiteral("unknown simulator option \"%1\" (known: delay, panel, power)")
                    .arg(key));
        }
    }
    return t;
}

automation::Result<PortMap> PortMap::parse(const QByteArray &text, const QString &file) {
    PortMap map = defaults(file);
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString text = QString::fromUtf8(lines[i]);
        const QString line = withoutComment(text).trimmed().toString();
        if (line.isEmpty())
            continue;
        auto fail = [&](const QString &what) {
            return bad(QStringLiteral("%1:%2: %3").arg(file).arg(i + 1).arg(what));
        };
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            return fail(QStringLiteral("expected \"key = value\", found \"%1\"").arg(line));
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key.compare(QLatin1String("trace"), Qt::CaseInsensitive) == 0) {
            if (!value.isEmpty() && !QDir::isAbsolutePath(value))
                return fail(QStringLiteral("the trace file must be an absolute path, found \"%1\"")
                                .arg(value));
            map.trace = value;
            continue;
        }
        const int port = portNumber(key);
        if (port < 1 || port > MaxPort)
            return fail(QStringLiteral("unknown key \"%1\" (known: COM1 to COM%2, trace)")
                            .arg(key)
                            .arg(MaxPort));
        auto target = parseTarget(value);
        if (!target)
            return fail(QStringLiteral("COM%1: %2").arg(port).arg(target.error().description));
        map.ports[port] = *target;
    }
    return map;
}

automation::Result<PortMap> PortMap::load() {
    // Read without blocking and checked on the open descriptor: a FIFO in
    // the file's place must not hang the caller (the panel's watchdog reads
    // the mapping every 5 s on its user-interface thread), nor a device or a
    // huge file be read whole.
    constexpr qint64 MaxSize = 64 * 1024;
    const QString path = configPath();
    auto text = automation::readSmallFile(path, MaxSize, automation::Oversize::Refuse);
    if (!text && text.error().number == automation::err::FileNotFound)
        return defaults(path);
    if (!text)
        return bad(QStringLiteral("%1: cannot read the port mapping: %2")
                       .arg(path, text.error().description));
    return parse(*text, path);
}

} // namespace comm
