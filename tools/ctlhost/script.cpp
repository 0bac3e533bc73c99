#include "script.h"

#include <QBuffer>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QRegularExpression>
#include <optional>

#include "automation/escape.h"
#include "automation/picture.h"
#include "automation/smallfile.h"
#include "windowing/handles.h"

namespace ctlhost {

using automation::Result;
using automation::Variant;

Result<std::vector<Word>> splitWords(const QString &line) {
    std::vector<Word> words;
    int i = 0;
    const int n = int(line.size());
    while (i < n) {
        if (line[i].isSpace()) {
            ++i;
            continue;
        }
        const int start = i;
        Word w;
        while (i < n && !line[i].isSpace() && line[i] != QLatin1Char('"'))
            w.prefix += line[i++];
        if (i < n && line[i] == QLatin1Char('"')) {
            w.quoted = true;
            qsizetype at = i + 1;
            auto text = automation::quoting::readQuoted(line, at);
            if (!text)
                return mistake(text.error().description);
            w.text = *text;
            i = int(at);
            if (i < n && !line[i].isSpace())
                return mistake(QStringLiteral("text after a closing quote: %1")
                                   .arg(line.mid(i).section(QLatin1Char(' '), 0, 0)));
        }
        w.written = line.mid(start, i - start);
        words.push_back(w);
    }
    return words;
}

Result<QByteArray> readInputFile(const QString &file, qint64 cap) {
    auto bytes = automation::readSmallFile(file, cap, automation::Oversize::Refuse);
    if (!bytes)
        return mistake(QStringLiteral("cannot read %1: %2").arg(file, bytes.error().description));
    return bytes;
}

namespace {

// An icon file is small; anything larger is not one.
constexpr qint64 MaxPictureSize = 16 * 1024 * 1024;

// Every picture the bytes hold (an icon file may hold several sizes), the
// format told by the bytes themselves.
QIcon iconOf(const QByteArray &bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QIcon icon;
    do {
        QImage image;
        if (!reader.read(&image))
            break;
        icon.addPixmap(QPixmap::fromImage(image));
    } while (reader.jumpToNextImage());
    return icon;
}

std::optional<qlonglong> parseInteger(const QString &text) {
    static const QRegularExpression dec(QStringLiteral("^[-+]?[0-9]+$"));
    static const QRegularExpression hex(QStringLiteral("^0[xX][0-9a-fA-F]+$"));
    bool ok = false;
    qlonglong v = 0;
    if (dec.match(text).hasMatch())
        v = text.toLongLong(&ok, 10);
    else if (hex.match(text).hasMatch())
        v = text.mid(2).toLongLong(&ok, 16);
    return ok ? std::optional<qlonglong>(v) : std::nullopt;
}

} // namespace

Result<automation::DispId> parseDispId(const QString &text) {
    const auto v = text.startsWith(QLatin1Char('#')) ? parseInteger(text.mid(1)) : std::nullopt;
    if (!v || *v < -2147483648LL || *v > 4294967295LL)
        return mistake(
            QStringLiteral("%1 is not a dispatch id (#N, N a 32-bit integer)").arg(text));
    return automation::DispId(std::uint32_t(*v));
}

Result<Variant> parseArgument(const Word &word, const ObjectLookup &objects) {
    if (word.quoted) {
        if (word.prefix.isEmpty() ||
            word.prefix.compare(QLatin1String("str:"), Qt::CaseInsensitive) == 0)
            return Variant(word.text);
        return mistake(QStringLiteral("quoted text goes with str: only: %1").arg(word.raw()));
    }
    const QString w = word.prefix;
    const int colon = int(w.indexOf(QLatin1Char(':')));
    const QString type = colon > 0 ? w.left(colon).toLower() : QString();
    const QString value = w.mid(colon + 1);

    if (type == QLatin1String("i2") || type == QLatin1String("i4")) {
        const auto v = parseInteger(value);
        const bool i2 = type == QLatin1String("i2");
        if (!v || (i2 && (*v < -32768 || *v > 32767)) ||
            (!i2 && (*v < -2147483648LL || *v > 2147483647LL)))
            return mistake(QStringLiteral("%1 is not a %2 value")
                               .arg(w, i2 ? QStringLiteral("16-bit") : QStringLiteral("32-bit")));
        return i2 ? Variant(std::int16_t(*v)) : Variant(std::int32_t(*v));
    }
    if (type == QLatin1String("r8")) {
        bool ok = false;
        const double d = value.toDouble(&ok);
        if (!ok)
            return mistake(QStringLiteral("%1 is not a number").arg(w));
        return Variant(d);
    }
    if (type == QLatin1String("bool")) {
        const QString v = value.toLower();
        if (v == QLatin1String("true") || v == QLatin1String("-1"))
            return Variant::fromBool(true);
        if (v == QLatin1String("false") || v == QLatin1String("0"))
            return Variant::fromBool(false);
        return mistake(QStringLiteral("%1 is not true or false").arg(w));
    }
    if (type == QLatin1String("str"))
        return Variant(value);
    if (type == QLatin1String("obj")) {
        automation::DispatchPtr obj = objects ? objects(value) : nullptr;
        if (!obj)
            return mistake(QStringLiteral("no object named %1").arg(value));
        return Variant(obj);
    }
    if (type == QLatin1String("pic")) {
        const auto v = parseInteger(value);
        if (!v || *v < 0 || *v > 4294967295LL)
            return mistake(QStringLiteral("%1 is not an icon handle").arg(w));
        return Variant(automation::makePicture(std::uint32_t(*v)));
    }
    if (type == QLatin1String("icon")) {
        const QIcon icon = iconOf(TRY(readInputFile(value, MaxPictureSize)));
        if (icon.availableSizes().isEmpty())
            return mistake(QStringLiteral("%1 is not a readable picture file").arg(value));
        return Variant(automation::makePicture(windowing::iconHandle(icon)));
    }

    const QString lower = w.toLower();
    if (lower == QLatin1String("missing"))
        return Variant::missing();
    if (lower == QLatin1String("empty"))
        return Variant();
    if (lower == QLatin1String("true") || lower == QLatin1String("false"))
        return Variant::fromBool(lower == QLatin1String("true"));
    if (const auto v = parseInteger(w)) {
        if (*v >= -2147483648LL && *v <= 2147483647LL)
            return Variant(std::int32_t(*v));
        return Variant(double(*v));
    }
    static const QRegularExpression decimal(
        QStringLiteral("^[-+]?([0-9]+\\.[0-9]*|\\.[0-9]+|[0-9]+)([eE][-+]?[0-9]+)?$"));
    if (decimal.match(w).hasMatch())
        return Variant(w.toDouble());
    if (colon > 0)
        return mistake(QStringLiteral("unknown type %1: in %2 (quote text that holds a colon)")
                           .arg(w.left(colon), w));
    return Variant(w);
}

} // namespace ctlhost
