#pragma once

#include <optional>

#include "automation/error.h"
#include "automation/variant.h"

namespace automation {

// The outcome of an automation call: a value, or an error.
class Result {
public:
    Result() = default;
    Result(Variant value) : value_(std::move(value)) {}
    Result(Error error) : error_(std::move(error)) {}
    static Result fail(std::int32_t number, const QString& description = {}, const QString& source = {})
    { return Result(makeError(number, description, source)); }

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    const Variant& value() const { return value_; }
    const Error& error() const { return *error_; }

private:
    Variant value_;
    std::optional<Error> error_;
};

} // namespace automation
