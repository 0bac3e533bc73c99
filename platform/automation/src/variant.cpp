#include "automation/variant.h"

#include <cfenv>
#include <cmath>
#include <limits>
#include <optional>

#include "automation/dispatch.h"
#include "automation/escape.h"

namespace automation {

void Variant::copyFrom(const Variant &other) {
    if (other.type_ == VarType::BStr)
        new (&value_.bstr) QString(other.value_.bstr);
    else
        new (&value_.dispatch) DispatchPtr(other.value_.dispatch);
}

void Variant::moveFrom(Variant &&other) noexcept {
    if (other.type_ == VarType::BStr) {
        new (&value_.bstr) QString(std::move(other.value_.bstr));
        other.value_.bstr.~QString();
    } else {
        new (&value_.dispatch) DispatchPtr(std::move(other.value_.dispatch));
        other.value_.dispatch.~DispatchPtr();
    }
    other.type_ = VarType::Empty;
    other.value_.plain = 0;
}

void Variant::destroy() noexcept {
    if (type_ == VarType::BStr)
        value_.bstr.~QString();
    else
        value_.dispatch.~DispatchPtr();
    type_ = VarType::Empty;
    value_.plain = 0;
}

const QString &Variant::noString() {
    static const QString none;
    return none;
}

const DispatchPtr &Variant::noObject() {
    static const DispatchPtr none;
    return none;
}

bool Variant::operator==(const Variant &other) const {
    if (type_ != other.type_)
        return false;
    switch (type_) {
    case VarType::I2:
        return value_.i2 == other.value_.i2;
    case VarType::I4:
        return value_.i4 == other.value_.i4;
    case VarType::Bool:
        return value_.boolean == other.value_.boolean;
    case VarType::R8:
        return value_.r8 == other.value_.r8;
    case VarType::BStr:
        return value_.bstr == other.value_.bstr;
    case VarType::Dispatch:
        return value_.dispatch == other.value_.dispatch;
    default:
        return true; // Empty, Missing
    }
}

QString varTypeName(VarType t) {
    switch (t) {
    case VarType::Empty:
        return QStringLiteral("Empty");
    case VarType::Missing:
        return QStringLiteral("Missing");
    case VarType::I2:
        return QStringLiteral("I2");
    case VarType::I4:
        return QStringLiteral("I4");
    case VarType::Bool:
        return QStringLiteral("Bool");
    case VarType::R8:
        return QStringLiteral("R8");
    case VarType::BStr:
        return QStringLiteral("BStr");
    case VarType::Dispatch:
        return QStringLiteral("Object");
    case VarType::Variant:
        return QStringLiteral("Variant");
    }
    return {};
}

namespace {

// A string read as a number: blanks around it allowed, "True"/"False" too.
std::optional<double> parseNumber(const QString &s) {
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
double roundEven(double d) {
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(d);
    std::fesetround(saved);
    return r;
}

// An object converts through its default member (a picture to its handle).
Result<Variant> defaultMemberValue(const DispatchPtr &object) {
    if (!object)
        return Result<Variant>::fail(err::ObjectRequired);
    return object->get(DispIdValue);
}

} // namespace

Result<double> Variant::toR8() const {
    switch (type()) {
    case VarType::Empty:
        return 0.0;
    case VarType::I2:
        return double(i2());
    case VarType::I4:
        return double(i4());
    case VarType::Bool:
        return boolean() ? -1.0 : 0.0;
    case VarType::R8:
        return r8();
    case VarType::BStr:
        if (auto d = parseNumber(bstr()))
            return *d;
        return Result<double>::fail(err::TypeMismatch);
    case VarType::Dispatch:
        return TRY(defaultMemberValue(dispatch())).toR8();
    default:
        return Result<double>::fail(err::TypeMismatch);
    }
}

Result<std::int32_t> Variant::toI4() const {
    if (type() == VarType::I4)
        return i4();
    const double r = roundEven(TRY(toR8()));
    // Written so that a NaN fails too: it has no integer to convert to.
    if (!(r >= std::numeric_limits<std::int32_t>::min() &&
          r <= std::numeric_limits<std::int32_t>::max()))
        return Result<std::int32_t>::fail(err::Overflow);
    return std::int32_t(r);
}

Result<bool> Variant::toBool() const {
    if (type() == VarType::Bool)
        return boolean();
    return TRY(toR8()) != 0.0;
}

Result<QString> Variant::toBStr() const {
    switch (type()) {
    case VarType::Empty:
        return QString();
    case VarType::I2:
        return QString::number(i2());
    case VarType::I4:
        return QString::number(i4());
    case VarType::Bool:
        return boolean() ? QStringLiteral("True") : QStringLiteral("False");
    case VarType::R8:
        return QString::number(r8(), 'g', 15);
    case VarType::BStr:
        return bstr();
    case VarType::Dispatch:
        return TRY(defaultMemberValue(dispatch())).toBStr();
    default:
        return Result<QString>::fail(err::TypeMismatch);
    }
}

Result<Variant> Variant::convert(VarType to) const {
    if (to == VarType::Variant || to == type())
        return *this;
    switch (to) {
    case VarType::I2: {
        const std::int32_t v = TRY(toI4());
        if (v < std::numeric_limits<std::int16_t>::min() ||
            v > std::numeric_limits<std::int16_t>::max())
            return Result<Variant>::fail(err::Overflow);
        return Variant(std::int16_t(v));
    }
    case VarType::I4:
        return Variant(TRY(toI4()));
    case VarType::Bool:
        return Variant::fromBool(TRY(toBool()));
    case VarType::R8:
        return Variant(TRY(toR8()));
    case VarType::BStr:
        return Variant(TRY(toBStr()));
    case VarType::Dispatch:
        return Result<Variant>::fail(type() == VarType::Empty ? err::ObjectRequired
                                                              : err::TypeMismatch);
    case VarType::Empty:
        return Variant();
    default:
        return Result<Variant>::fail(err::TypeMismatch);
    }
}

QString Variant::describe() const {
    switch (type()) {
    case VarType::Empty:
        return QStringLiteral("Empty");
    case VarType::Missing:
        return QStringLiteral("Missing");
    case VarType::I2:
        return QStringLiteral("I2:%1").arg(i2());
    case VarType::I4:
        return QStringLiteral("I4:%1").arg(i4());
    case VarType::Bool:
        return boolean() ? QStringLiteral("Bool:True") : QStringLiteral("Bool:False");
    case VarType::R8:
        return QStringLiteral("R8:%1").arg(QString::number(r8(), 'g', 15));
    case VarType::BStr:
        return QStringLiteral("BStr:") + quoting::escape(bstr(), quoting::Form::Quoted);
    case VarType::Dispatch:
        return dispatch() ? QStringLiteral("Object:%1").arg(dispatch()->typeInfo().name)
                          : QStringLiteral("Object:Nothing");
    default:
        return {};
    }
}

} // namespace automation
