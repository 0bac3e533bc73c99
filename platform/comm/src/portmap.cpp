// The port mapping file: "key = value" lines, '#' comments.
#include "portmap.h"

#include <QDir>

#include "automation/smallfile.h"
#include "backends.h"
#include "comm/errors.h"

namespace comm {

const LineTarget *PortMap::find(int port) const {
    auto it = ports.find(port);
    return it == ports.end() ? nullptr : it->second.get();
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
        map.ports[n] = *readDeviceTarget(QStringLiteral("/dev/ttyS%1").arg(n - 1));
    return map;
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
        auto target = readTarget(value);
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
