// Type information: the members of a dispatch interface, their dispatch ids,
// parameters and defaults; the events of an event interface; a type library.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QUuid>
#include <optional>
#include <vector>

#include "automation/result.h"
#include "automation/variant.h"

namespace automation {

using DispId = std::int32_t;

constexpr DispId DispIdValue = 0; // the default member
constexpr DispId DispIdAboutBox = -552;

enum class InvokeKind : std::uint8_t { Method = 1, PropertyGet = 2, PropertyPut = 4 };
QString invokeKindName(InvokeKind k);

struct ParamInfo {
    QString name;
    VarType type = VarType::Variant; // Variant accepts anything
    bool optional = false;
    Variant defaultValue; // filled in when an optional parameter is omitted
    bool byRef = false;
};

struct MemberInfo {
    QString name;
    DispId id = 0;
    InvokeKind kind = InvokeKind::Method;
    std::vector<ParamInfo> params; // for a property put: the one value parameter
    VarType returnType = VarType::Empty;
    QString helpString;
};

struct EventInfo {
    QString name;
    DispId id = 0;
    std::vector<ParamInfo> params; // event parameters are always by reference
};

// One interface: the members of a dispatch interface, or the events of an
// event interface.
struct TypeInfo {
    QString name;
    QUuid iid;
    std::vector<MemberInfo> members;
    std::vector<EventInfo> events;

    const MemberInfo *find(DispId id, InvokeKind kind) const;
    // Name lookup is case-insensitive, as automation names are.
    std::optional<DispId> idOfName(const QString &name) const;
    const EventInfo *findEvent(DispId id) const;
    std::optional<DispId> eventIdOfName(const QString &name) const;

    QJsonObject toJson() const;
    static Result<TypeInfo> fromJson(const QJsonObject &o);
};

// A type library: identity, version and the interfaces of one control library.
struct TypeLibrary {
    QString name;
    QUuid libid;
    int majorVersion = 1;
    int minorVersion = 0;
    std::uint32_t lcid = 0x409;
    bool controlLibrary = true;
    QString helpString;
    QUuid coclass;
    QString coclassName;
    TypeInfo defaultInterface;
    TypeInfo eventInterface;
    // Enumerations: name -> (member name, value).
    struct Enum {
        QString name;
        QUuid guid;
        std::vector<std::pair<QString, std::int32_t>> members;
    };
    std::vector<Enum> enums;

    QByteArray serialize() const; // stable JSON bytes, as carried in the library file
    static Result<TypeLibrary> parse(const QByteArray &bytes);
};

} // namespace automation
