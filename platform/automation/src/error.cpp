#include "automation/error.h"

namespace automation {

QString standardDescription(std::int32_t number) {
    switch (number) {
    case err::InvalidCall:
        return QStringLiteral("Invalid procedure call or argument");
    case err::Overflow:
        return QStringLiteral("Overflow");
    case err::TypeMismatch:
        return QStringLiteral("Type mismatch");
    case err::FileNotFound:
        return QStringLiteral("File not found");
    case err::PermissionDenied:
        return QStringLiteral("Permission denied");
    case err::FileAccessError:
        return QStringLiteral("Path/File access error");
    case err::PathNotFound:
        return QStringLiteral("Path not found");
    case err::InvalidFileFormat:
        return QStringLiteral("Invalid file format");
    case err::ResourceNotFound:
        return QStringLiteral("Resource with this identifier not found");
    case err::InvalidPropertyValue:
        return QStringLiteral("Invalid property value");
    case err::ObjectRequired:
        return QStringLiteral("Object required");
    case err::CannotCreateObject:
        return QStringLiteral("Can't create object");
    case err::NoSuchMember:
        return QStringLiteral("Object doesn't support this property or method");
    case err::ArgumentNotOptional:
        return QStringLiteral("Argument not optional");
    case err::WrongArgumentCount:
        return QStringLiteral("Wrong number of arguments or invalid property assignment");
    default:
        return QStringLiteral("Application-defined or object-defined error");
    }
}

Error makeError(std::int32_t number, const QString &description, const QString &source) {
    return Error{number, description.isEmpty() ? standardDescription(number) : description, source};
}

} // namespace automation
