#include "automation/variant.h"

#include <cfenv>
#include <cmath>
#include <limits>

#include "automation/dispatch.h"

namespace automation {

VarType Variant::type() const
{
    switch (v_.index()) {
    case 0: return VarType::Empty;
    case 1: return VarType::Missing;
    case 2: return VarType::I2;
    case 3: return VarType::I4;
    case 4: return VarType::Bool;
    case 5: return VarType::R8;
    case 6: return VarType::BStr;
    default: return VarType::Dispatch;
    }
}

bool Variant::operator==(const Variant& other) const { return v_ == other.v_; }

QString varTypeName(VarType t)
{
    switch (t) {
    case VarType::Empty: return QStringLiteral("Empty");
    case VarType::Missing: return QStringLiteral("Missing");
    case VarType::I2: return QStringLiteral("I2");
    case VarType::I4: return QStringLiteral("I4");
    case VarType::Bool: return QStringLiteral("Bool");
    case VarType::R8: return QStringLiteral("R8");
    case VarType::BStr: return QStringLiteral("BStr");
    case VarType::Dispatch: return QStringLiteral("Object");
    case VarType::Variant: return QStringLiteral("Variant");
    }
    return {};
}

namespace {

bool fail(Error* error, std::int32_t number)
{
    if (error)
        *error = makeError(number);
    return false;
}

// A string read as a number: blanks around it allowed, "True"/"False" too.
std::optional<double> parseNumber(const QString& s)
{
    const QString t = s.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return -1.0;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return 0.0;
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

// Rounds to the nearest integer, ties to even, as automation conversions do.
double roundEven(double d)
{
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(d);
    std::fesetround(saved);
    return r;
}

// An object converts through its default member (a picture to its handle).
std::optional<Variant> defaultMemberValue(const DispatchPtr& object, Error* error)
{
    if (!object) {
        fail(error, err::ObjectRequired);
        return std::nullopt;
    }
    Result<> r = object->get(DispIdValue);
    if (!r.ok()) {
        if (error)
            *error = r.error();
        return std::nullopt;
    }
    return r.value();
}

} // namespace

std::optional<double> Variant::toR8(Error* error) const
{
    switch (type()) {
    case VarType::Empty: return 0.0;
    case VarType::I2: return double(i2());
    case VarType::I4: return double(i4());
    case VarType::Bool: return boolean() ? -1.0 : 0.0;
    case VarType::R8: return r8();
    case VarType::BStr:
        if (auto d = parseNumber(bstr()))
            return d;
        fail(error, err::TypeMismatch);
        return std::nullopt;
    case VarType::Dispatch: {
        auto v = defaultMemberValue(dispatch(), error);
        return v ? v->toR8(error) : std::nullopt;
    }
    default:
        fail(error, err::TypeMismatch);
        return std::nullopt;
    }
}

std::optional<std::int32_t> Variant::toI4(Error* error) const
{
    if (type() == VarType::I4)
        return i4();
    auto d = toR8(error);
    if (!d)
        return std::nullopt;
    const double r = roundEven(*d);
    if (r < std::numeric_limits<std::int32_t>::min() || r > std::numeric_limits<std::int32_t>::max()) {
        fail(error, err::Overflow);
        return std::nullopt;
    }
    return std::int32_t(r);
}

std::optional<bool> Variant::toBool(Error* error) const
{
    if (type() == VarType::Bool)
        return boolean();
    auto d = toR8(error);
    if (!d)
        return std::nullopt;
    return *d != 0.0;
}

std::optional<QString> Variant::toBStr(Error* error) const
{
    switch (type()) {
    case VarType::Empty: return QString();
    case VarType::I2: return QString::number(i2());
    case VarType::I4: return QString::number(i4());
    case VarType::Bool: return boolean() ? QStringLiteral("True") : QStringLiteral("False");
    case VarType::R8: return QString::number(r8(), 'g', 15);
    case VarType::BStr: return bstr();
    case VarType::Dispatch: {
        auto v = defaultMemberValue(dispatch(), error);
        return v ? v->toBStr(error) : std::nullopt;
    }
    default:
        fail(error, err::TypeMismatch);
        return std::nullopt;
    }
}

std::optional<Variant> Variant::convert(VarType to, Error* error) const
{
    if (to == VarType::Variant || to == type())
        return *this;
    switch (to) {
    case VarType::I2: {
        auto v = toI4(error);
        if (!v)
            return std::nullopt;
        if (*v < std::numeric_limits<std::int16_t>::min() || *v > std::numeric_limits<std::int16_t>::max()) {
            fail(error, err::Overflow);
            return std::nullopt;
        }
        return Variant(std::int16_t(*v));
    }
    case VarType::I4: {
        auto v = toI4(error);
        return v ? std::optional<Variant>(Variant(*v)) : std::nullopt;
    }
    case VarType::Bool: {
        auto v = toBool(error);
        return v ? std::optional<Variant>(Variant::fromBool(*v)) : std::nullopt;
    }
    case VarType::R8: {
        auto v = toR8(error);
        return v ? std::optional<Variant>(Variant(*v)) : std::nullopt;
    }
    case VarType::BStr: {
        auto v = toBStr(error);
        return v ? std::optional<Variant>(Variant(*v)) : std::nullopt;
    }
    case VarType::Dispatch:
        fail(error, type() == VarType::Empty ? err::ObjectRequired : err::TypeMismatch);
        return std::nullopt;
    case VarType::Empty:
        return Variant();
    default:
        fail(error, err::TypeMismatch);
        return std::nullopt;
    }
}

QString Variant::describe() const
{
    switch (type()) {
    case VarType::Empty: return QStringLiteral("Empty");
    case VarType::Missing: return QStringLiteral("Missing");
    case VarType::I2: return QStringLiteral("I2:%1").arg(i2());
    case VarType::I4: return QStringLiteral("I4:%1").arg(i4());
    case VarType::Bool: return boolean() ? QStringLiteral("Bool:True") : QStringLiteral("Bool:False");
    case VarType::R8: return QStringLiteral("R8:%1").arg(QString::number(r8(), 'g', 15));
    case VarType::BStr: {
        QString s = bstr();
        s.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
        s.replace(QLatin1Char('\n'), QLatin1String("\\n")).replace(QLatin1Char('\r'), QLatin1String("\\r"));
        s.replace(QChar(0), QLatin1String("\\0"));
        return QStringLiteral("BStr:\"%1\"").arg(s);
    }
    case VarType::Dispatch:
        return dispatch() ? QStringLiteral("Object:%1").arg(dispatch()->typeInfo().name) : QStringLiteral("Object:Nothing");
    default: return {};
    }
}

} // namespace automation
