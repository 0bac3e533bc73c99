#include "settingsfile.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cmath>
#include <sys/stat.h>
#include <vector>

#include "automation/smallfile.h"

namespace velmora {

namespace {

// A hand-edited settings file is a few bytes; anything beyond this is not one
// and its later lines are never read anyway.
constexpr qint64 MaxReadBytes = 64 * 1024;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::vector<QByteArray> splitLines(const QByteArray &bytes, std::size_t wanted) {
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    while (start < n && lines.size() < wanted) {
        qsizetype end = start;
        while (end < n && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        lines.push_back(bytes.mid(start, end - start));
        if (end < n && bytes[end] == '\r' && end + 1 < n && bytes[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

} // namespace

std::int16_t toInt16(double value) {
    // nearbyint uses the current rounding mode, which is round-half-to-even.
    return static_cast<std::int16_t>(std::nearbyint(value));
}

std::optional<double> parseLine(const QByteArray &raw) {
    qsizetype b = 0, e = raw.size();
    while (b < e && isBlank(raw[b]))
        ++b;
    while (e > b && isBlank(raw[e - 1]))
        --e;
    const QByteArray s = raw.mid(b, e - b);

    // Optional sign, digits, optional fraction; nothing else (no exponent,
    // no hexadecimal, no blanks inside).
    qsizetype i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    qsizetype intDigits = 0, fracDigits = 0;
    while (i < s.size() && isDigit(s[i])) {
        ++i;
        ++intDigits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            ++i;
            ++fracDigits;
        }
    }
    if (i != s.size() || intDigits + fracDigits == 0)
        return std::nullopt;

    bool ok = false;
    const double v = s.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    const double rounded = std::nearbyint(v);
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return v + 0.0; // "-0" reads as 0
}

Settings parseSettings(const QByteArray &bytes) {
    Settings s;
    const std::vector<QByteArray> lines = splitLines(bytes, 4);
    double *fields[4] = {&s.portIndex, &s.autoOn, &s.autoOff, &s.speedIndex};
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (const auto v = parseLine(lines[i]))
            *fields[i] = *v;
    return s;
}

std::optional<QString> Settings::lineSettings() const {
    if (speedIndex == 0)
        return QStringLiteral("300,N,8,1");
    if (speedIndex == 1)
        return QStringLiteral("1200,N,8,1");
    if (speedIndex == 2)
        return QStringLiteral("2400,N,8,1");
    return std::nullopt;
}

Settings readSettings() {
    // Opened once without blocking and checked on what was opened: a pipe, a
    // device or a folder under that name, even one renamed over the file at
    // any moment, reads as no file at all instead of holding the program up.
    const automation::Result<QByteArray> bytes =
        automation::readSmallFile(SettingsFileName, MaxReadBytes, automation::Oversize::Truncate);
    return bytes ? parseSettings(*bytes) : Settings{};
}

QByteArray formatLine(std::int16_t value) {
    QByteArray line;
    if (value >= 0)
        line += ' ';
    line += QByteArray::number(value);
    line += " \r\n";
    return line;
}

QByteArray formatSettings(const std::array<std::int16_t, 4> &lines) {
    QByteArray bytes;
    for (std::int16_t v : lines)
        bytes += formatLine(v);
    return bytes;
}

automation::Result<> writeSettings(const std::array<std::int16_t, 4> &lines) {
    // Written beside the old file and renamed over it: a crash or a full disk
    // leaves either the old file or the new one, never a torn one. An existing
    // file keeps its permissions, except that its owner may always read and
    // write it: a file the owner cannot read would lose every choice saved.
    //
    // Unbuffered, so that every write reports what really reached the file:
    // a buffered write that fills the disk half-way is otherwise only noticed
    // as a short count at commit, and the torn file would be renamed into place.
    QSaveFile file(SettingsFileName);
    const QByteArray bytes = formatSettings(lines);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    struct stat st {};
    if (written && ::fstat(file.handle(), &st) == 0)
        written = ::fchmod(file.handle(), (st.st_mode & 07777) | S_IRUSR | S_IWUSR) == 0;
    for (qint64 done = 0; written && done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            written = false;
        else
            done += n;
    }
    if (written && file.commit())
        return {};
    QString why = file.errorString();
    if (file.error() == QFileDevice::NoError || why.isEmpty())
        why = QStringLiteral("the file could not be written completely");
    file.cancelWriting();
    return automation::Result<>::fail(automation::err::FileAccessError, why, SettingsFileName);
}

automation::Result<> ensureSettingsFile() {
    const QFileInfo info(SettingsFileName);
    if (info.exists() || info.isSymLink())
        return {};
    return writeSettings({0, 0, 0, 0});
}

} // namespace velmora
