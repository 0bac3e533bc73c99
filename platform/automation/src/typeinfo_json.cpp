// Type information as JSON: the form a type library takes inside a control
// library file, and the form its source is written in.
//
// A parameter default is written as a plain JSON value when the parameter has
// a fixed type (the value is read in that type), and as {"type", "value"} when
// the parameter takes any variant. Dispatch ids are integers; when read, the
// text form "0x60030005" is accepted too.
#include "automation/typeinfo.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <optional>

namespace automation {

namespace {

struct TypeName {
    VarType type;
    const char *name;
};

// The first spelling of each type is the one written; the others are read.
constexpr TypeName TypeNames[] = {
    {VarType::Empty, "Empty"},
    {VarType::I2, "I2"},
    {VarType::I4, "I4"},
    {VarType::Bool, "Bool"},
    {VarType::R8, "R8"},
    {VarType::BStr, "BStr"},
    {VarType::Dispatch, "Object"},
    {VarType::Variant, "Variant"},
    {VarType::I2, "Integer"},
    {VarType::I4, "Long"},
    {VarType::Bool, "Boolean"},
    {VarType::R8, "Double"},
    {VarType::BStr, "String"},
    {VarType::Dispatch, "Dispatch"},
    {VarType::Empty, "Void"},
};

QString typeText(VarType t) {
    for (const TypeName &n : TypeNames)
        if (n.type == t)
            return QLatin1String(n.name);
    return QStringLiteral("Variant");
}

std::optional<VarType> typeOf(const QString &text) {
    for (const TypeName &n : TypeNames)
        if (text.compare(QLatin1String(n.name), Qt::CaseInsensitive) == 0)
            return n.type;
    return std::nullopt;
}

QString kindText(InvokeKind k) {
    switch (k) {
    case InvokeKind::Method:
        return QStringLiteral("method");
    case InvokeKind::PropertyGet:
        return QStringLiteral("propget");
    case InvokeKind::PropertyPut:
        return QStringLiteral("propput");
    }
    return {};
}

std::optional<InvokeKind> kindOf(const QString &text) {
    for (InvokeKind k : {InvokeKind::Method, InvokeKind::PropertyGet, InvokeKind::PropertyPut})
        if (text == kindText(k))
            return k;
    return std::nullopt;
}

QString uuidText(const QUuid &id) {
    return id.toString(QUuid::WithBraces);
}

// A mistake in the JSON, with the path to the offending item.
Error invalid(const QString &where, const QString &text) {
    return makeError(err::InvalidFileFormat,
                     where.isEmpty() ? text : QStringLiteral("%1: %2").arg(where, text),
                     QStringLiteral("type library"));
}

// A string member; `fallback` when it is absent and may be.
Result<QString> readString(const QJsonObject &o, const char *key, const QString &where,
                           bool required, const QString &fallback = {}) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined()) {
        if (required)
            return invalid(where, QStringLiteral("\"%1\" is missing").arg(QLatin1String(key)));
        return fallback;
    }
    if (!v.isString())
        return invalid(where, QStringLiteral("\"%1\" must be a string").arg(QLatin1String(key)));
    return v.toString();
}

// A GUID member; the null GUID when it is absent (and may be) or empty.
Result<QUuid> readUuid(const QJsonObject &o, const char *key, const QString &where, bool required) {
    const QString text = TRY(readString(o, key, where, required));
    if (text.isEmpty())
        return QUuid();
    const QUuid id = QUuid::fromString(text);
    if (id.isNull())
        return invalid(where,
                       QStringLiteral("\"%1\" is not a GUID: %2").arg(QLatin1String(key), text));
    return id;
}

Result<bool> readBool(const QJsonObject &o, const char *key, const QString &where, bool fallback) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return fallback;
    if (!v.isBool())
        return invalid(where,
                       QStringLiteral("\"%1\" must be true or false").arg(QLatin1String(key)));
    return v.toBool();
}

// An integer that fits 32 bits (signed, or unsigned as in 0xFFFFFDD8), as a
// JSON number or as decimal or 0x-prefixed text.
std::optional<std::int32_t> readInt32(const QJsonValue &v) {
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (d != std::floor(d) || d < -2147483648.0 || d > 4294967295.0)
            return std::nullopt;
        return std::int32_t(std::uint32_t(std::int64_t(d)));
    }
    if (v.isString()) {
        bool ok = false;
        const qlonglong n = v.toString().trimmed().toLongLong(&ok, 0);
        if (!ok || n < -2147483648LL || n > 4294967295LL)
            return std::nullopt;
        return std::int32_t(std::uint32_t(n));
    }
    return std::nullopt;
}

QJsonValue valueToJson(const Variant &v) {
    switch (v.type()) {
    case VarType::I2:
        return int(v.i2());
    case VarType::I4:
        return int(v.i4());
    case VarType::Bool:
        return v.boolean();
    case VarType::R8:
        return v.r8();
    case VarType::BStr:
        return v.bstr();
    default:
        return QJsonValue();
    }
}

// A JSON value read as the given type (Variant: from the JSON kind).
Result<Variant> valueFromJson(const QJsonValue &j, VarType type, const QString &where) {
    Variant raw;
    if (j.isBool())
        raw = Variant::fromBool(j.toBool());
    else if (j.isString())
        raw = Variant(j.toString());
    else if (j.isDouble()) {
        const double d = j.toDouble();
        if (d == std::floor(d) && std::fabs(d) <= 2147483647.0)
            raw = Variant(std::int32_t(d));
        else
            raw = Variant(d);
    } else {
        return invalid(where, QStringLiteral("a default must be a number, a string or true/false"));
    }
    if (type == VarType::Variant)
        return raw;
    Result<> converted = raw.convert(type);
    if (!converted)
        return invalid(where,
                       QStringLiteral("the default cannot be read as %1 (%2)")
                           .arg(typeText(type), converted.error().description));
    return converted;
}

QJsonObject paramToJson(const ParamInfo &p) {
    QJsonObject o;
    o.insert(QStringLiteral("name"), p.name);
    o.insert(QStringLiteral("type"), typeText(p.type));
    if (p.optional)
        o.insert(QStringLiteral("optional"), true);
    if (p.byRef)
        o.insert(QStringLiteral("byRef"), true);
    const VarType dt = p.defaultValue.type();
    if (dt != VarType::Empty && dt != VarType::Missing) {
        if (dt == p.type)
            o.insert(QStringLiteral("default"), valueToJson(p.defaultValue));
        else
            o.insert(QStringLiteral("default"),
                     QJsonObject{{QStringLiteral("type"), typeText(dt)},
                                 {QStringLiteral("value"), valueToJson(p.defaultValue)}});
    }
    return o;
}

Result<ParamInfo> paramFromJson(const QJsonObject &o, const QString &where) {
    ParamInfo p;
    p.name = TRY(readString(o, "name", where, true));
    const QString type = TRY(readString(o, "type", where, false, QStringLiteral("Variant")));
    p.optional = TRY(readBool(o, "optional", where, false));
    p.byRef = TRY(readBool(o, "byRef", where, false));
    const auto t = typeOf(type);
    if (!t || *t == VarType::Empty)
        return invalid(where, QStringLiteral("unknown parameter type \"%1\"").arg(type));
    p.type = *t;
    const QJsonValue def = o.value(QLatin1String("default"));
    if (!def.isUndefined()) {
        QJsonValue value = def;
        VarType as = p.type;
        if (def.isObject()) {
            const QJsonObject d = def.toObject();
            const auto dt = typeOf(d.value(QLatin1String("type")).toString());
            if (!dt || *dt == VarType::Empty || *dt == VarType::Variant || *dt == VarType::Dispatch)
                return invalid(
                    where,
                    QStringLiteral("the default's \"type\" must be I2, I4, Bool, R8 or BStr"));
            as = *dt;
            value = d.value(QLatin1String("value"));
        }
        p.defaultValue = TRY(valueFromJson(value, as, where));
        p.optional = true;
    }
    return p;
}

Result<std::vector<ParamInfo>> paramsFromJson(const QJsonObject &o, const QString &where) {
    std::vector<ParamInfo> out;
    const QJsonValue v = o.value(QLatin1String("params"));
    if (v.isUndefined())
        return out;
    if (!v.isArray())
        return invalid(where, QStringLiteral("\"params\" must be an array"));
    const QJsonArray a = v.toArray();
    for (qsizetype i = 0; i < a.size(); ++i) {
        const QString at = QStringLiteral("%1, parameter %2").arg(where).arg(i + 1);
        if (!a[i].isObject())
            return invalid(at, QStringLiteral("must be an object"));
        out.push_back(TRY(paramFromJson(a[i].toObject(), at)));
    }
    return out;
}

QJsonArray paramsToJson(const std::vector<ParamInfo> &params) {
    QJsonArray a;
    for (const ParamInfo &p : params)
        a.append(paramToJson(p));
    return a;
}

Result<DispId> readId(const QJsonObject &o, const QString &where) {
    const QJsonValue v = o.value(QLatin1String("id"));
    if (v.isUndefined())
        return invalid(where, QStringLiteral("\"id\" is missing"));
    const auto id = readInt32(v);
    if (!id)
        return invalid(where, QStringLiteral("\"id\" must be a 32-bit integer"));
    return *id;
}

Result<TypeInfo> typeInfoFromJson(const QJsonObject &o, const QString &where) {
    TypeInfo info;
    info.name = TRY(readString(o, "name", where, true));
    info.iid = TRY(readUuid(o, "iid", where, false));
    const QString at = where.isEmpty() ? info.name : QStringLiteral("%1 %2").arg(where, info.name);

    const QJsonValue members = o.value(QLatin1String("members"));
    if (!members.isUndefined() && !members.isArray())
        return invalid(at, QStringLiteral("\"members\" must be an array"));
    for (const QJsonValue &mv : members.toArray()) {
        if (!mv.isObject())
            return invalid(at, QStringLiteral("a member must be an object"));
        const QJsonObject m = mv.toObject();
        MemberInfo mi;
        const QString mat =
            QStringLiteral("%1.%2").arg(at, m.value(QLatin1String("name")).toString());
        mi.name = TRY(readString(m, "name", at, true));
        mi.id = TRY(readId(m, mat));
        const QString kind = TRY(readString(m, "kind", mat, false, QStringLiteral("method")));
        const QString ret = TRY(readString(m, "returns", mat, false, QStringLiteral("Empty")));
        mi.helpString = TRY(readString(m, "helpString", mat, false));
        mi.params = TRY(paramsFromJson(m, mat));
        const auto k = kindOf(kind);
        if (!k)
            return invalid(mat,
                           QStringLiteral("\"kind\" must be method, propget or propput, not \"%1\"")
                               .arg(kind));
        const auto rt = typeOf(ret);
        if (!rt)
            return invalid(mat, QStringLiteral("unknown return type \"%1\"").arg(ret));
        mi.kind = *k;
        mi.returnType = *rt;
        if (mi.kind == InvokeKind::PropertyPut && mi.params.empty())
            return invalid(mat, QStringLiteral("a property put needs its value parameter"));
        if (info.find(mi.id, mi.kind))
            return invalid(
                mat, QStringLiteral("dispatch id %1 is used twice as %2").arg(mi.id).arg(kind));
        info.members.push_back(mi);
    }

    const QJsonValue events = o.value(QLatin1String("events"));
    if (!events.isUndefined() && !events.isArray())
        return invalid(at, QStringLiteral("\"events\" must be an array"));
    for (const QJsonValue &ev : events.toArray()) {
        if (!ev.isObject())
            return invalid(at, QStringLiteral("an event must be an object"));
        const QJsonObject eo = ev.toObject();
        EventInfo ei;
        const QString eat =
            QStringLiteral("%1.%2").arg(at, eo.value(QLatin1String("name")).toString());
        ei.name = TRY(readString(eo, "name", at, true));
        ei.id = TRY(readId(eo, eat));
        ei.params = TRY(paramsFromJson(eo, eat));
        if (info.findEvent(ei.id))
            return invalid(eat, QStringLiteral("event id %1 is used twice").arg(ei.id));
        // Events pass every parameter by reference.
        for (ParamInfo &p : ei.params)
            p.byRef = true;
        info.events.push_back(ei);
    }
    return info;
}

} // namespace

QJsonObject TypeInfo::toJson() const {
    QJsonObject o;
    o.insert(QStringLiteral("name"), name);
    if (!iid.isNull())
        o.insert(QStringLiteral("iid"), uuidText(iid));
    QJsonArray ms;
    for (const MemberInfo &m : members) {
        QJsonObject j;
        j.insert(QStringLiteral("name"), m.name);
        j.insert(QStringLiteral("id"), m.id);
        j.insert(QStringLiteral("kind"), kindText(m.kind));
        if (!m.params.empty())
            j.insert(QStringLiteral("params"), paramsToJson(m.params));
        if (m.returnType != VarType::Empty)
            j.insert(QStringLiteral("returns"), typeText(m.returnType));
        if (!m.helpString.isEmpty())
            j.insert(QStringLiteral("helpString"), m.helpString);
        ms.append(j);
    }
    if (!ms.isEmpty())
        o.insert(QStringLiteral("members"), ms);
    QJsonArray es;
    for (const EventInfo &ev : events) {
        QJsonObject j;
        j.insert(QStringLiteral("name"), ev.name);
        j.insert(QStringLiteral("id"), ev.id);
        if (!ev.params.empty()) {
            QJsonArray ps;
            for (ParamInfo p : ev.params) {
                p.byRef = false; // implied for every event parameter
                ps.append(paramToJson(p));
            }
            j.insert(QStringLiteral("params"), ps);
        }
        es.append(j);
    }
    if (!es.isEmpty())
        o.insert(QStringLiteral("events"), es);
    return o;
}

Result<TypeInfo> TypeInfo::fromJson(const QJsonObject &o) {
    return typeInfoFromJson(o, QString());
}

QByteArray TypeLibrary::serialize() const {
    QJsonObject o;
    o.insert(QStringLiteral("name"), name);
    o.insert(QStringLiteral("libid"), uuidText(libid));
    o.insert(QStringLiteral("version"),
             QStringLiteral("%1.%2").arg(majorVersion).arg(minorVersion));
    o.insert(QStringLiteral("lcid"), QStringLiteral("0x%1").arg(lcid, 0, 16));
    o.insert(QStringLiteral("control"), controlLibrary);
    if (!helpString.isEmpty())
        o.insert(QStringLiteral("helpString"), helpString);
    o.insert(QStringLiteral("coclass"),
             QJsonObject{{QStringLiteral("name"), coclassName},
                         {QStringLiteral("clsid"), uuidText(coclass)}});
    o.insert(QStringLiteral("defaultInterface"), defaultInterface.toJson());
    o.insert(QStringLiteral("eventInterface"), eventInterface.toJson());
    if (!enums.empty()) {
        QJsonArray es;
        for (const Enum &en : enums) {
            QJsonArray ms;
            for (const auto &[member, value] : en.members)
                ms.append(QJsonObject{{QStringLiteral("name"), member},
                                      {QStringLiteral("value"), value}});
            QJsonObject j{{QStringLiteral("name"), en.name}, {QStringLiteral("members"), ms}};
            if (!en.guid.isNull())
                j.insert(QStringLiteral("guid"), uuidText(en.guid));
            es.append(j);
        }
        o.insert(QStringLiteral("enums"), es);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

Result<TypeLibrary> TypeLibrary::parse(const QByteArray &bytes) {
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &pe);
    if (pe.error != QJsonParseError::NoError)
        return invalid(
            QString(),
            QStringLiteral("not valid JSON at offset %1: %2").arg(pe.offset).arg(pe.errorString()));
    if (!doc.isObject())
        return invalid(QString(), QStringLiteral("a type library must be a JSON object"));
    const QJsonObject o = doc.object();
    TypeLibrary lib;
    const QString at = QStringLiteral("type library");
    lib.name = TRY(readString(o, "name", at, true));
    lib.libid = TRY(readUuid(o, "libid", at, true));
    const QString version = TRY(readString(o, "version", at, false, QStringLiteral("1.0")));
    lib.controlLibrary = TRY(readBool(o, "control", at, lib.controlLibrary));
    lib.helpString = TRY(readString(o, "helpString", at, false));
    if (lib.libid.isNull())
        return invalid(at, QStringLiteral("\"libid\" is empty"));
    const QStringList vparts = version.split(QLatin1Char('.'));
    bool okMajor = false, okMinor = vparts.size() == 2;
    lib.majorVersion = vparts.value(0).toInt(&okMajor);
    if (okMinor)
        lib.minorVersion = vparts.value(1).toInt(&okMinor);
    if (!okMajor || !okMinor || lib.majorVersion < 0 || lib.minorVersion < 0 ||
        lib.majorVersion > 0xFFFF || lib.minorVersion > 0xFFFF)
        return invalid(
            at, QStringLiteral("\"version\" must read major.minor, not \"%1\"").arg(version));
    if (const QJsonValue lcid = o.value(QLatin1String("lcid")); !lcid.isUndefined()) {
        const auto v = readInt32(lcid);
        if (!v)
            return invalid(at, QStringLiteral("\"lcid\" must be an integer"));
        lib.lcid = std::uint32_t(*v);
    }

    const QJsonValue coclass = o.value(QLatin1String("coclass"));
    if (!coclass.isUndefined()) {
        if (!coclass.isObject())
            return invalid(at, QStringLiteral("\"coclass\" must be an object"));
        const QString cat = QStringLiteral("coclass");
        lib.coclassName = TRY(readString(coclass.toObject(), "name", cat, true));
        lib.coclass = TRY(readUuid(coclass.toObject(), "clsid", cat, true));
    }
    for (auto [key, target] : {std::pair{"defaultInterface", &lib.defaultInterface},
                               std::pair{"eventInterface", &lib.eventInterface}}) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            continue;
        if (!v.isObject())
            return invalid(at, QStringLiteral("\"%1\" must be an object").arg(QLatin1String(key)));
        *target = TRY(typeInfoFromJson(v.toObject(), QStringLiteral("interface")));
    }

    const QJsonValue enums = o.value(QLatin1String("enums"));
    if (!enums.isUndefined() && !enums.isArray())
        return invalid(at, QStringLiteral("\"enums\" must be an array"));
    for (const QJsonValue &ev : enums.toArray()) {
        if (!ev.isObject())
            return invalid(at, QStringLiteral("an enum must be an object with a name"));
        const QJsonObject eo = ev.toObject();
        Enum en;
        const QString eat =
            QStringLiteral("enum %1").arg(eo.value(QLatin1String("name")).toString());
        en.name = TRY(readString(eo, "name", QStringLiteral("enum"), true));
        en.guid = TRY(readUuid(eo, "guid", eat, false));
        for (const QJsonValue &mv : eo.value(QLatin1String("members")).toArray()) {
            const QJsonObject m = mv.toObject();
            const QString member = TRY(readString(m, "name", eat, true));
            const auto value = readInt32(m.value(QLatin1String("value")));
            if (!value)
                return invalid(QStringLiteral("%1.%2").arg(eat, member),
                               QStringLiteral("\"value\" must be a 32-bit integer"));
            en.members.emplace_back(member, *value);
        }
        lib.enums.push_back(en);
    }
    return lib;
}

} // namespace automation
