// Automation values: what crosses a dispatch call, an event or a property bag.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <variant>

#include "automation/error.h"
#include "automation/result.h"

namespace automation {

class IDispatch;
using DispatchPtr = std::shared_ptr<IDispatch>;

// The kinds of value a variant holds. Empty is an unset value; Missing stands
// for an optional argument the caller left out.
enum class VarType : std::uint16_t { Empty, Missing, I2, I4, Bool, R8, BStr, Dispatch, Variant };

// Automation Booleans are 16-bit: True is -1, False is 0.
constexpr std::int16_t VariantTrue = -1;
constexpr std::int16_t VariantFalse = 0;

class Variant {
public:
    Variant() = default;
    Variant(std::int16_t v) : v_(v) {}
    Variant(std::int32_t v) : v_(v) {}
    Variant(double v) : v_(v) {}
    Variant(const QString& v) : v_(v) {}
    Variant(const char* v) : v_(QString::fromUtf8(v)) {}
    Variant(DispatchPtr v) : v_(std::move(v)) {}
    Variant(bool) = delete;  // Booleans are made with fromBool, never by accident
    static Variant fromBool(bool b) { Variant r; r.v_ = Bool{b}; return r; }
    static Variant missing() { Variant r; r.v_ = Missing{}; return r; }

    // The alternatives of v_ are in VarType's order.
    VarType type() const { return static_cast<VarType>(v_.index()); }
    bool isEmpty() const { return type() == VarType::Empty; }
    bool isMissing() const { return type() == VarType::Missing; }

    // Direct access; call only when type() matches.
    std::int16_t i2() const { return std::get<std::int16_t>(v_); }
    std::int32_t i4() const { return std::get<std::int32_t>(v_); }
    bool boolean() const { return std::get<Bool>(v_).value; }
    double r8() const { return std::get<double>(v_); }
    const QString& bstr() const { return std::get<QString>(v_); }
    const DispatchPtr& dispatch() const { return std::get<DispatchPtr>(v_); }

    // Conversion with the automation rules: numbers and Booleans convert into
    // each other (True is -1), strings parse as numbers ("True"/"False" as
    // Booleans), doubles round half to even into integers. Fails with
    // "Type mismatch" (13) or "Overflow" (6); Empty converts to 0, False or "".
    Result<Variant> convert(VarType to) const;

    // Convenience conversions; they fail the same way.
    Result<std::int32_t> toI4() const;
    Result<bool> toBool() const;
    Result<double> toR8() const;
    Result<QString> toBStr() const;

    // Short human form for tools and messages: I2:5, Bool:True, BStr:"x".
    QString describe() const;

    bool operator==(const Variant& other) const;

private:
    struct Missing { bool operator==(const Missing&) const { return true; } };
    struct Bool { bool value; bool operator==(const Bool& o) const { return value == o.value; } };
    std::variant<std::monostate, Missing, std::int16_t, std::int32_t, Bool, double, QString, DispatchPtr> v_;
};

QString varTypeName(VarType t);

} // namespace automation
