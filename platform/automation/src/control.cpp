#include "automation/control.h"

#include <QStringList>

#include <charconv>
#include <optional>

namespace automation {

// The key function of the site interface (see IDispatch's).
IControlSite::~IControlSite() = default;

Variant PropertyBag::read(const QString &name, const Variant &def) const {
    auto it = values_.find(name);
    return it == values_.end() ? def : it->second;
}

bool PropertyBag::contains(const QString &name) const {
    return values_.count(name) != 0;
}

void PropertyBag::write(const QString &name, const Variant &value, const Variant &def) {
    values_.erase(name); // under whatever spelling it was stored: the new one replaces it
    if (def.isEmpty() || !(value == def))
        values_.emplace(name, value);
}

namespace {

QString doubleText(double d) {
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, d).ptr;
    return QString::fromLatin1(buf, end - buf);
}

QString quoted(const QString &s) {
    QString out = QStringLiteral("\"");
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        const bool pair = c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate();
        if (pair) {
            out += c;
            out += s[++i];
        } else if (c == QLatin1Char('\\') || c == QLatin1Char('"')) {
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
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else if (c.isSurrogate()) { // one without its other half: UTF-8 cannot carry it
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out + QLatin1Char('"');
}

QString valueText(const Variant &v) {
    switch (v.type()) {
    case VarType::R8:
        return QStringLiteral("R8:") + doubleText(v.r8());
    case VarType::BStr:
        return QStringLiteral("BStr:") + quoted(v.bstr());
    default:
        return v.describe();
    }
}

std::optional<QString> unquoted(const QString &v) {
    if (v.size() < 2 || !v.startsWith(QLatin1Char('"')) || !v.endsWith(QLatin1Char('"')))
        return std::nullopt;
    QString s;
    for (qsizetype i = 1; i < v.size() - 1; ++i) {
        QChar c = v[i];
        if (c == QLatin1Char('"'))
            return std::nullopt;
        if (c == QLatin1Char('\\')) {
            if (i + 1 >= v.size() - 1)
                return std::nullopt;
            const char e = v[++i].toLatin1();
            bool ok = true;
            switch (e) {
            case 'n':
                c = QLatin1Char('\n');
                break;
            case 'r':
                c = QLatin1Char('\r');
                break;
            case 't':
                c = QLatin1Char('\t');
                break;
            case '0':
                c = QChar(0);
                break;
            case '\\':
            case '"':
                c = QLatin1Char(e);
                break;
            case 'x':
            case 'u': {
                const int digits = e == 'x' ? 2 : 4;
                c = QChar(char16_t(v.mid(i + 1, digits).toUShort(&ok, 16)));
                ok = ok && i + digits < v.size() - 1;
                i += digits;
                break;
            }
            default:
                ok = false;
            }
            if (!ok)
                return std::nullopt;
        }
        s += c;
    }
    return s;
}

std::optional<Variant> parseValue(const QString &text) {
    const int colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return std::nullopt;
    const QString type = text.left(colon);
    const QString v = text.mid(colon + 1);
    bool ok = false;
    if (type == QLatin1String("I2")) {
        const short n = v.toShort(&ok);
        return ok ? std::optional<Variant>(Variant(std::int16_t(n))) : std::nullopt;
    }
    if (type == QLatin1String("I4")) {
        const int n = v.toInt(&ok);
        return ok ? std::optional<Variant>(Variant(std::int32_t(n))) : std::nullopt;
    }
    if (type == QLatin1String("R8")) {
        const QByteArray digits = v.toLatin1();
        double d = 0;
        const auto [end, ec] = std::from_chars(digits.cbegin(), digits.cend(), d);
        return ec == std::errc() && end == digits.cend() && !digits.isEmpty()
                   ? std::optional<Variant>(Variant(d))
                   : std::nullopt;
    }
    if (type == QLatin1String("Bool")) {
        if (v == QLatin1String("True"))
            return Variant::fromBool(true);
        if (v == QLatin1String("False"))
            return Variant::fromBool(false);
        return std::nullopt;
    }
    if (type == QLatin1String("BStr")) {
        if (auto s = unquoted(v))
            return Variant(*s);
    }
    return std::nullopt;
}

} // namespace

QByteArray PropertyBag::toText() const {
    QByteArray out;
    for (const auto &[name, value] : values_)
        out += (name + QStringLiteral(" = ") + valueText(value)).toUtf8() + '\n';
    return out;
}

Result<PropertyBag> PropertyBag::fromText(const QByteArray &text) {
    PropertyBag bag;
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        std::optional<Variant> value;
        if (eq > 0)
            value = parseValue(line.mid(eq + 1).trimmed());
        if (!value)
            return Result<PropertyBag>::fail(
                err::InvalidFileFormat,
                QStringLiteral(
                    "line %1: expected 'Name = Type:Value' (Type I2, I4, Bool, R8 or BStr)")
                    .arg(i + 1),
                QStringLiteral("property bag"));
        bag.write(line.left(eq).trimmed(), *value);
    }
    return bag;
}

} // namespace automation
