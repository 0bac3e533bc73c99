#include "automation/escape.h"

namespace automation::quoting {

namespace {

QString hex(char16_t unit, int digits) {
    return QStringLiteral("%1").arg(unsigned(unit), digits, 16, QLatin1Char('0'));
}

bool isHexDigit(QChar c) {
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

Error malformed(const QString &why) {
    return makeError(err::InvalidCall, why, QStringLiteral("quoted text"));
}

} // namespace

QString escape(QStringView text, Form form) {
    const bool quoted = form == Form::Quoted;
    QString out;
    out.reserve(text.size() + 2);
    if (quoted)
        out += QLatin1Char('"');
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else if (quoted && (c == QLatin1Char('\\') || c == QLatin1Char('"'))) {
            out += QLatin1Char('\\');
            out += c;
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1String("\\n");
        } else if (c == QLatin1Char('\r')) {
            out += QLatin1String("\\r");
        } else if (c == QLatin1Char('\t')) {
            out += QLatin1String("\\t");
        } else if (c.unicode() == 0) {
            out += QLatin1String("\\0");
        } else if (c.category() == QChar::Other_Control) {
            out += QLatin1String("\\x") + hex(c.unicode(), 2);
        } else if (c.isSurrogate()) {
            out += QLatin1String("\\u") + hex(c.unicode(), 4);
        } else {
            out += c;
        }
    }
    if (quoted)
        out += QLatin1Char('"');
    return out;
}

Result<QString> readQuoted(QStringView line, qsizetype &at) {
    QString text;
    const qsizetype n = line.size();
    while (at < n) {
        const QChar c = line[at++];
        if (c == QLatin1Char('"'))
            return text;
        if (c != QLatin1Char('\\')) {
            text += c;
            continue;
        }
        if (at >= n)
            break;
        const qsizetype escape = at - 1;
        const char16_t letter = line[at++].unicode();
        switch (letter) {
        case 'n':
            text += QLatin1Char('\n');
            break;
        case 'r':
            text += QLatin1Char('\r');
            break;
        case 't':
            text += QLatin1Char('\t');
            break;
        case '0':
            text += QChar(0);
            break;
        case '\\':
        case '"':
            text += QChar(letter);
            break;
        case 'x':
        case 'u': {
            const int digits = letter == 'x' ? 2 : 4;
            const QStringView code = line.mid(at, digits);
            bool ok = code.size() == digits;
            for (const QChar d : code)
                ok = ok && isHexDigit(d);
            if (!ok)
                return malformed(
                    QStringLiteral("\\%1 takes %2 hexadecimal digits: %3")
                        .arg(QChar(letter))
                        .arg(digits == 2 ? QStringLiteral("two") : QStringLiteral("four"))
                        .arg(line.mid(escape, digits + 2)));
            text += QChar(char16_t(code.toUShort(nullptr, 16)));
            at += digits;
            break;
        }
        default:
            return malformed(QStringLiteral("unknown escape %1").arg(line.mid(escape, 2)));
        }
    }
    return malformed(QStringLiteral("unterminated quoted text"));
}

} // namespace automation::quoting
