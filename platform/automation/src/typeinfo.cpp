#include "automation/typeinfo.h"

namespace automation {

QString invokeKindName(InvokeKind k) {
    switch (k) {
    case InvokeKind::Method:
        return QStringLiteral("method");
    case InvokeKind::PropertyGet:
        return QStringLiteral("property get");
    case InvokeKind::PropertyPut:
        return QStringLiteral("property put");
    }
    return {};
}

const MemberInfo *TypeInfo::find(DispId id, InvokeKind kind) const {
    for (const MemberInfo &m : members)
        if (m.id == id && m.kind == kind)
            return &m;
    return nullptr;
}

std::optional<DispId> TypeInfo::idOfName(const QString &name) const {
    for (const MemberInfo &m : members)
        if (m.name.compare(name, Qt::CaseInsensitive) == 0)
            return m.id;
    return std::nullopt;
}

const EventInfo *TypeInfo::findEvent(DispId id) const {
    for (const EventInfo &e : events)
        if (e.id == id)
            return &e;
    return nullptr;
}

std::optional<DispId> TypeInfo::eventIdOfName(const QString &name) const {
    for (const EventInfo &e : events)
        if (e.name.compare(name, Qt::CaseInsensitive) == 0)
            return e.id;
    return std::nullopt;
}

} // namespace automation
