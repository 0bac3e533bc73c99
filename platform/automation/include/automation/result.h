// The one way failure is reported, inside a room and across libraries: a
// Result is a value or an Error (number, description, source). Result<> holds
// a Variant, the value of a dispatch call.
//
// TRY(expr) propagates: when expr's Result failed, the enclosing function
// returns its error; otherwise TRY(expr) is expr's value. A handler then reads
// as a list of steps:
//
//     TRY(port.put(comm::RTSEnable, off));
//     const bool on = TRY(carrier());
//
// Use it as a statement, as a variable's initializer, as the right side of
// an assignment, or as a call's argument; never inside an expression that has
// already built other objects (a braced initializer `T{name, TRY(...)}`): a
// return out of a statement expression leaves those undestroyed (GCC).
#pragma once

#include <optional>
#include <type_traits>
#include <utility>

#include "automation/error.h"

namespace automation {

class Variant;

template <class T = Variant> class [[nodiscard]] Result {
  public:
    using value_type = T;

    Result() requires std::is_default_constructible_v<T> : value_(T()) {}
    Result(T value) : value_(std::move(value)) {}
    Result(Error error) : error_(std::move(error)) {}
    template <class U>
    requires(std::is_constructible_v<T, U &&> && !std::is_same_v<std::decay_t<U>, T> &&
             !std::is_same_v<std::decay_t<U>, Error> && !std::is_same_v<std::decay_t<U>, Result>)
        Result(U &&value)
        : value_(T(std::forward<U>(value))) {}

    static Result fail(std::int32_t number, const QString &description = {},
                       const QString &source = {}) {
        return Result(makeError(number, description, source));
    }

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }

    // The value; call only when ok().
    const T &value() const & { return *value_; }
    T &value() & { return *value_; }
    T &&value() && { return std::move(*value_); }
    const T &operator*() const & { return *value_; }
    T &operator*() & { return *value_; }
    const T *operator->() const { return &*value_; }
    T *operator->() { return &*value_; }
    template <class U> T value_or(U &&fallback) const & {
        return ok() ? *value_ : static_cast<T>(std::forward<U>(fallback));
    }

    // The error; call only when !ok().
    const Error &error() const { return *error_; }

  private:
    std::optional<T> value_;
    std::optional<Error> error_;
};

} // namespace automation

// See the top of this file. A GNU statement expression, so that it works both
// as a statement and as the value of a step.
#define TRY(expr)                                                                                  \
    ({                                                                                             \
        auto &&try_result_ = (expr);                                                               \
        if (!try_result_.ok())                                                                     \
            return ::automation::Error(try_result_.error());                                       \
        static_cast<decltype(try_result_) &&>(try_result_).value();                                \
    })

#include "automation/variant.h"
