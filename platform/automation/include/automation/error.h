// Run-time errors as values. They cross library boundaries as plain data
// (number, description, source), never as C++ exceptions.
#pragma once

#include <QString>
#include <cstdint>

namespace automation {

struct Error {
    std::int32_t number = 0;
    QString description;
    QString source;

    bool operator==(const Error &) const = default;
};

// Error numbers of the automation runtime.
namespace err {
constexpr std::int32_t InvalidCall = 5;            // Invalid procedure call or argument
constexpr std::int32_t Overflow = 6;               // Overflow
constexpr std::int32_t TypeMismatch = 13;          // Type mismatch
constexpr std::int32_t FileNotFound = 53;          // File not found
constexpr std::int32_t PermissionDenied = 70;      // Permission denied
constexpr std::int32_t FileAccessError = 75;       // Path/File access error
constexpr std::int32_t PathNotFound = 76;          // Path not found
constexpr std::int32_t InvalidFileFormat = 321;    // Invalid file format
constexpr std::int32_t ResourceNotFound = 326;     // Resource with this identifier not found
constexpr std::int32_t InvalidPropertyValue = 380; // Invalid property value
constexpr std::int32_t CannotCreateObject = 429;   // component can't create object
constexpr std::int32_t NoSuchMember = 438;         // Object doesn't support this property or method
constexpr std::int32_t ArgumentNotOptional = 449;
constexpr std::int32_t WrongArgumentCount =
    450; // Wrong number of arguments or invalid property assignment
constexpr std::int32_t ObjectRequired = 424;
} // namespace err

Error makeError(std::int32_t number, const QString &description = {}, const QString &source = {});
// The runtime's standard text for a number ("Type mismatch" for 13, ...).
QString standardDescription(std::int32_t number);

} // namespace automation
