#include "automation/control.h"

#include <QStringList>

#include <optional>

namespace automation {

// The key function of the site interface (see IDispatch's).
IControlSite::~IControlSite() = default;

Variant PropertyBag::read(const QString& name, const Variant& def) const
{
    auto it = values_.find(name);
    return it == values_.end() ? def : it->second;
}

bool PropertyBag::contains(const QString& name) const { return values_.count(name) != 0; }

void PropertyBag::write(const QString& name, const Variant& value, const Variant& def)
{
    if (!def.isEmpty() && value == def)
        values_.erase(name);
    else
        values_[name] = value;
}

QByteArray PropertyBag::toText() const
{
    QByteArray out;
    for (const auto& [name, value] : values_)
        out += (name + QStringLiteral(" = ") + value.describe()).toUtf8() + '\n';
    return out;
}

namespace {

std::optional<Variant> parseValue(const QString& text)
{
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
        const double d = v.toDouble(&ok);
        return ok ? std::optional<Variant>(Variant(d)) : std::nullopt;
    }
    if (type == QLatin1String("Bool")) {
        if (v == QLatin1String("True"))
            return Variant::fromBool(true);
        if (v == QLatin1String("False"))
            return Variant::fromBool(false);
        return std::nullopt;
    }
    if (type == QLatin1String("BStr")) {
        if (v.size() < 2 || !v.startsWith(QLatin1Char('"')) || !v.endsWith(QLatin1Char('"')))
            return std::nullopt;
        QString s;
        const QString body = v.mid(1, v.size() - 2);
        for (int i = 0; i < body.size(); ++i) {
            QChar c = body[i];
            if (c == QLatin1Char('\\') && i + 1 < body.size()) {
                const QChar e = body[++i];
                c = e == QLatin1Char('n') ? QChar('\n') : e == QLatin1Char('r') ? QChar('\r') : e == QLatin1Char('0') ? QChar(0) : e;
            } else if (c == QLatin1Char('"')) {
                return std::nullopt;
            }
            s += c;
        }
        return Variant(s);
    }
    return std::nullopt;
}

} // namespace

Result<PropertyBag> PropertyBag::fromText(const QByteArray& text)
{
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
                QStringLiteral("line %1: expected 'Name = Type:Value' (Type I2, I4, Bool, R8 or BStr)").arg(i + 1),
                QStringLiteral("property bag"));
        bag.values_[line.left(eq).trimmed()] = *value;
    }
    return bag;
}

} // namespace automation
