#include "automation/control.h"

#include <QStringList>

#include <charconv>
#include <optional>

#include "automation/escape.h"
#include "callchecker.h"

namespace automation {

// The key function of the site interface (see IDispatch's).
IControlSite::~IControlSite() = default;

template class Checked<IControl>;

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

QString valueText(const Variant &v) {
    switch (v.type()) {
    case VarType::R8:
        return QStringLiteral("R8:") + doubleText(v.r8());
    case VarType::BStr:
        return QStringLiteral("BStr:") + quoting::escape(v.bstr(), quoting::Form::Quoted);
    default:
        return v.describe();
    }
}

// The whole value is one piece of quoted text.
std::optional<QString> unquoted(const QString &v) {
    qsizetype at = 1;
    if (!v.startsWith(QLatin1Char('"')))
        return std::nullopt;
    Result<QString> text = quoting::readQuoted(v, at);
    if (!text || at != v.size())
        return std::nullopt;
    return *text;
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
