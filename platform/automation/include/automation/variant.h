// Automation values: what crosses a dispatch call, an event or a property bag.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>

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
    Variant() noexcept {}
    Variant(std::int16_t v) noexcept : type_(VarType::I2) { value_.i2 = v; }
    Variant(std::int32_t v) noexcept : type_(VarType::I4) { value_.i4 = v; }
    Variant(double v) noexcept : type_(VarType::R8) { value_.r8 = v; }
    Variant(const QString &v) : type_(VarType::BStr) { new (&value_.bstr) QString(v); }
    Variant(const char *v) : Variant(QString::fromUtf8(v)) {}
    Variant(DispatchPtr v) noexcept : type_(VarType::Dispatch) {
        new (&value_.dispatch) DispatchPtr(std::move(v));
    }
    Variant(bool) = delete; // Booleans are made with fromBool, never by accident
    static Variant fromBool(bool b) noexcept {
        Variant r;
        r.type_ = VarType::Bool;
        r.value_.boolean = b;
        return r;
    }
    static Variant missing() noexcept {
        Variant r;
        r.type_ = VarType::Missing;
        return r;
    }

    // Values cross every dispatch call: copying, moving and destroying one
    // that holds no string or object copies its few bytes and nothing else.
    Variant(const Variant &other) : type_(other.type_) {
        if (holdsPlain())
            value_.plain = other.value_.plain;
        else
            copyFrom(other);
    }
    Variant(Variant &&other) noexcept : type_(other.type_) {
        if (holdsPlain())
            value_.plain = other.value_.plain;
        else
            moveFrom(std::move(other));
    }
    Variant &operator=(const Variant &other) {
        if (this != &other) {
            if (holdsPlain() && other.holdsPlain()) {
                type_ = other.type_;
                value_.plain = other.value_.plain;
            } else {
                Variant copy(other);
                *this = std::move(copy);
            }
        }
        return *this;
    }
    Variant &operator=(Variant &&other) noexcept {
        if (this != &other) {
            if (!holdsPlain())
                destroy();
            type_ = other.type_;
            if (holdsPlain())
                value_.plain = other.value_.plain;
            else
                moveFrom(std::move(other));
        }
        return *this;
    }
    ~Variant() {
        if (!holdsPlain())
            destroy();
    }

    VarType type() const { return type_; }
    bool isEmpty() const { return type() == VarType::Empty; }
    bool isMissing() const { return type() == VarType::Missing; }

    // Direct access; call only when type() matches: a mismatch is the
    // caller's mistake, stopped by an assertion in a debug build, and reads as
    // the type's zero (0, False, "", no object) otherwise. Checked access that
    // can fail is the conversions below.
    std::int16_t i2() const { return holds(VarType::I2) ? value_.i2 : 0; }
    std::int32_t i4() const { return holds(VarType::I4) ? value_.i4 : 0; }
    bool boolean() const { return holds(VarType::Bool) && value_.boolean; }
    double r8() const { return holds(VarType::R8) ? value_.r8 : 0.0; }
    const QString &bstr() const { return holds(VarType::BStr) ? value_.bstr : noString(); }
    const DispatchPtr &dispatch() const {
        return holds(VarType::Dispatch) ? value_.dispatch : noObject();
    }

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

    // Same type and equal value: a NaN equals nothing, objects are equal when
    // they are the same object.
    bool operator==(const Variant &other) const;

  private:
    bool holdsPlain() const { return type_ != VarType::BStr && type_ != VarType::Dispatch; }
    bool holds(VarType t) const {
        Q_ASSERT_X(type_ == t, "Variant", "direct access to a value of another type");
        return type_ == t;
    }
    static const QString &noString();
    static const DispatchPtr &noObject();
    void copyFrom(const Variant &other);     // a string or an object, into raw storage
    void moveFrom(Variant &&other) noexcept; // the same, leaving other Empty
    void destroy() noexcept;                 // a string or an object

    VarType type_ = VarType::Empty;
    union Value {
        Value() noexcept : plain(0) {}
        ~Value() {}
        std::uint64_t plain; // the bytes of any of the next four
        std::int16_t i2;
        std::int32_t i4;
        bool boolean;
        double r8;
        QString bstr;
        DispatchPtr dispatch;
    } value_;
};

QString varTypeName(VarType t);

} // namespace automation
