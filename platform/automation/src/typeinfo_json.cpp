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

namespace automation {

namespace {

struct TypeName {
    VarType type;
    const char* name;
};

// The first spelling of each type is the one written; the others are read.
constexpr TypeName TypeNames[] = {
    {VarType::Empty, "Empty"},     {VarType::I2, "I2"},         {VarType::I4, "I4"},
    {VarType::Bool, "Bool"},       {VarType::R8, "R8"},         {VarType::BStr, "BStr"},
    {VarType::Dispatch, "Object"}, {VarType::Variant, "Variant"},
    {VarType::I2, "Integer"},      {VarType::I4, "Long"},       {VarType::Bool, "Boolean"},
    {VarType::R8, "Double"},       {VarType::BStr, "String"},   {VarType::Dispatch, "Dispatch"},
    {VarType::Empty, "Void"},
};

QString typeText(VarType t)
{
    for (const TypeName& n : TypeNames)
        if (n.type == t)
            return QLatin1String(n.name);
    return QStringLiteral("Variant");
}

std::optional<VarType> typeOf(const QString& text)
{
    for (const TypeName& n : TypeNames)
        if (text.compare(QLatin1String(n.name), Qt::CaseInsensitive) == 0)
            return n.type;
    return std::nullopt;
}

QString kindText(InvokeKind k)
{
    switch (k) {
    case InvokeKind::Method: return QStringLiteral("method");
    case InvokeKind::PropertyGet: return QStringLiteral("propget");
    case InvokeKind::PropertyPut: return QStringLiteral("propput");
    }
    return {};
}

std::optional<InvokeKind> kindOf(const QString& text)
{
    for (InvokeKind k : {InvokeKind::Method, InvokeKind::PropertyGet, InvokeKind::PropertyPut})
        if (text == kindText(k))
            return k;
    return std::nullopt;
}

QString uuidText(const QUuid& id) { return id.toString(QUuid::WithBraces); }

// Collects the first problem found, with the path to the offending item.
struct Errors {
    QString* why;
    bool failed = false;
    bool fail(const QString& where, const QString& text)
    {
        if (!failed && why)
            *why = where.isEmpty() ? text : QStringLiteral("%1: %2").arg(where, text);
        failed = true;
        return false;
    }
};

bool readString(const QJsonObject& o, const char* key, QString* out, Errors& e, const QString& where, bool required)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined()) {
        if (required)
            return e.fail(where, QStringLiteral("\"%1\" is missing").arg(QLatin1String(key)));
        return true;
    }
    if (!v.isString())
        return e.fail(where, QStringLiteral("\"%1\" must be a string").arg(QLatin1String(key)));
    *out = v.toString();
    return true;
}

bool readUuid(const QJsonObject& o, const char* key, QUuid* out, Errors& e, const QString& where, bool required)
{
    QString text;
    if (!readString(o, key, &text, e, where, required))
        return false;
    if (text.isEmpty())
        return true;
    *out = QUuid::fromString(text);
    if (out->isNull())
        return e.fail(where, QStringLiteral("\"%1\" is not a GUID: %2").arg(QLatin1String(key), text));
    return true;
}

bool readBool(const QJsonObject& o, const char* key, bool* out, Errors& e, const QString& where)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return true;
    if (!v.isBool())
        return e.fail(where, QStringLiteral("\"%1\" must be true or false").arg(QLatin1String(key)));
    *out = v.toBool();
    return true;
}

// An integer that fits 32 bits (signed, or unsigned as in 0xFFFFFDD8), as a
// JSON number or as decimal or 0x-prefixed text.
bool readInt32(const QJsonValue& v, std::int32_t* out)
{
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (d != std::floor(d) || d < -2147483648.0 || d > 4294967295.0)
            return false;
        *out = std::int32_t(std::uint32_t(std::int64_t(d)));
        return true;
    }
    if (v.isString()) {
        bool ok = false;
        const qlonglong n = v.toString().trimmed().toLongLong(&ok, 0);
        if (!ok || n < -2147483648LL || n > 4294967295LL)
            return false;
        *out = std::int32_t(std::uint32_t(n));
        return true;
    }
    return false;
}

QJsonValue valueToJson(const Variant& v)
{
    switch (v.type()) {
    case VarType::I2: return int(v.i2());
    case VarType::I4: return int(v.i4());
    case VarType::Bool: return v.boolean();
    case VarType::R8: return v.r8();
    case VarType::BStr: return v.bstr();
    default: return QJsonValue();
    }
}

// A JSON value read as the given type (Variant: from the JSON kind).
std::optional<Variant> valueFromJson(const QJsonValue& j, VarType type, QString* why)
{
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
        *why = QStringLiteral("a default must be a number, a string or true/false");
        return std::nullopt;
    }
    if (type == VarType::Variant)
        return raw;
    Error error;
    auto converted = raw.convert(type, &error);
    if (!converted)
        *why = QStringLiteral("the default cannot be read as %1 (%2)").arg(typeText(type), error.description);
    return converted;
}

QJsonObject paramToJson(const ParamInfo& p)
{
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
            o.insert(QStringLiteral("default"), QJsonObject{{QStringLiteral("type"), typeText(dt)},
                                                            {QStringLiteral("value"), valueToJson(p.defaultValue)}});
    }
    return o;
}

std::optional<ParamInfo> paramFromJson(const QJsonObject& o, Errors& e, const QString& where)
{
    ParamInfo p;
    QString type = QStringLiteral("Variant");
    if (!readString(o, "name", &p.name, e, where, true) || !readString(o, "type", &type, e, where, false)
        || !readBool(o, "optional", &p.optional, e, where) || !readBool(o, "byRef", &p.byRef, e, where))
        return std::nullopt;
    const auto t = typeOf(type);
    if (!t || *t == VarType::Empty) {
        e.fail(where, QStringLiteral("unknown parameter type \"%1\"").arg(type));
        return std::nullopt;
    }
    p.type = *t;
    const QJsonValue def = o.value(QLatin1String("default"));
    if (!def.isUndefined()) {
        QJsonValue value = def;
        VarType as = p.type;
        if (def.isObject()) {
            const QJsonObject d = def.toObject();
            const auto dt = typeOf(d.value(QLatin1String("type")).toString());
            if (!dt || *dt == VarType::Empty || *dt == VarType::Variant || *dt == VarType::Dispatch) {
                e.fail(where, QStringLiteral("the default's \"type\" must be I2, I4, Bool, R8 or BStr"));
                return std::nullopt;
            }
            as = *dt;
            value = d.value(QLatin1String("value"));
        }
        QString why;
        auto v = valueFromJson(value, as, &why);
        if (!v) {
            e.fail(where, why);
            return std::nullopt;
        }
        p.defaultValue = *v;
        p.optional = true;
    }
    return p;
}

bool paramsFromJson(const QJsonObject& o, std::vector<ParamInfo>* out, Errors& e, const QString& where)
{
    const QJsonValue v = o.value(QLatin1String("params"));
    if (v.isUndefined())
        return true;
    if (!v.isArray())
        return e.fail(where, QStringLiteral("\"params\" must be an array"));
    const QJsonArray a = v.toArray();
    for (qsizetype i = 0; i < a.size(); ++i) {
        const QString at = QStringLiteral("%1, parameter %2").arg(where).arg(i + 1);
        if (!a[i].isObject())
            return e.fail(at, QStringLiteral("must be an object"));
        auto p = paramFromJson(a[i].toObject(), e, at);
        if (!p)
            return false;
        out->push_back(*p);
    }
    return true;
}

QJsonArray paramsToJson(const std::vector<ParamInfo>& params)
{
    QJsonArray a;
    for (const ParamInfo& p : params)
        a.append(paramToJson(p));
    return a;
}

bool readId(const QJsonObject& o, DispId* id, Errors& e, const QString& where)
{
    const QJsonValue v = o.value(QLatin1String("id"));
    if (v.isUndefined())
        return e.fail(where, QStringLiteral("\"id\" is missing"));
    if (!readInt32(v, id))
        return e.fail(where, QStringLiteral("\"id\" must be a 32-bit integer"));
    return true;
}

std::optional<TypeInfo> typeInfoFromJson(const QJsonObject& o, Errors& e, const QString& where)
{
    TypeInfo info;
    if (!readString(o, "name", &info.name, e, where, true) || !readUuid(o, "iid", &info.iid, e, where, false))
        return std::nullopt;
    const QString at = where.isEmpty() ? info.name : QStringLiteral("%1 %2").arg(where, info.name);

    const QJsonValue members = o.value(QLatin1String("members"));
    if (!members.isUndefined() && !members.isArray()) {
        e.fail(at, QStringLiteral("\"members\" must be an array"));
        return std::nullopt;
    }
    for (const QJsonValue& mv : members.toArray()) {
        const QJsonObject m = mv.toObject();
        MemberInfo mi;
        const QString mat = QStringLiteral("%1.%2").arg(at, m.value(QLatin1String("name")).toString());
        QString kind = QStringLiteral("method"), ret = QStringLiteral("Empty");
        if (!mv.isObject()) {
            e.fail(at, QStringLiteral("a member must be an object"));
            return std::nullopt;
        }
        if (!readString(m, "name", &mi.name, e, at, true) || !readId(m, &mi.id, e, mat)
            || !readString(m, "kind", &kind, e, mat, false) || !readString(m, "returns", &ret, e, mat, false)
            || !readString(m, "helpString", &mi.helpString, e, mat, false) || !paramsFromJson(m, &mi.params, e, mat))
            return std::nullopt;
        const auto k = kindOf(kind);
        if (!k) {
            e.fail(mat, QStringLiteral("\"kind\" must be method, propget or propput, not \"%1\"").arg(kind));
            return std::nullopt;
        }
        const auto rt = typeOf(ret);
        if (!rt) {
            e.fail(mat, QStringLiteral("unknown return type \"%1\"").arg(ret));
            return std::nullopt;
        }
        mi.kind = *k;
        mi.returnType = *rt;
        if (mi.kind == InvokeKind::PropertyPut && mi.params.empty()) {
            e.fail(mat, QStringLiteral("a property put needs its value parameter"));
            return std::nullopt;
        }
        if (info.find(mi.id, mi.kind)) {
            e.fail(mat, QStringLiteral("dispatch id %1 is used twice as %2").arg(mi.id).arg(kind));
            return std::nullopt;
        }
        info.members.push_back(mi);
    }

    const QJsonValue events = o.value(QLatin1String("events"));
    if (!events.isUndefined() && !events.isArray()) {
        e.fail(at, QStringLiteral("\"events\" must be an array"));
        return std::nullopt;
    }
    for (const QJsonValue& ev : events.toArray()) {
        if (!ev.isObject()) {
            e.fail(at, QStringLiteral("an event must be an object"));
            return std::nullopt;
        }
        const QJsonObject eo = ev.toObject();
        EventInfo ei;
        const QString eat = QStringLiteral("%1.%2").arg(at, eo.value(QLatin1String("name")).toString());
        if (!readString(eo, "name", &ei.name, e, at, true) || !readId(eo, &ei.id, e, eat)
            || !paramsFromJson(eo, &ei.params, e, eat))
            return std::nullopt;
        if (info.findEvent(ei.id)) {
            e.fail(eat, QStringLiteral("event id %1 is used twice").arg(ei.id));
            return std::nullopt;
        }
        // Events pass every parameter by reference.
        for (ParamInfo& p : ei.params)
            p.byRef = true;
        info.events.push_back(ei);
    }
    return info;
}

} // namespace

QJsonObject TypeInfo::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("name"), name);
    if (!iid.isNull())
        o.insert(QStringLiteral("iid"), uuidText(iid));
    QJsonArray ms;
    for (const MemberInfo& m : members) {
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
    for (const EventInfo& ev : events) {
        QJsonObject j;
        j.insert(QStringLiteral("name"), ev.name);
        j.insert(QStringLiteral("id"), ev.id);
        if (!ev.params.empty()) {
            QJsonArray ps;
            for (ParamInfo p : ev.params) {
                p.byRef = false;   // implied for every event parameter
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

std::optional<TypeInfo> TypeInfo::fromJson(const QJsonObject& o, QString* why)
{
    Errors e{why};
    return typeInfoFromJson(o, e, QString());
}

QByteArray TypeLibrary::serialize() const
{
    QJsonObject o;
    o.insert(QStringLiteral("name"), name);
    o.insert(QStringLiteral("libid"), uuidText(libid));
    o.insert(QStringLiteral("version"), QStringLiteral("%1.%2").arg(majorVersion).arg(minorVersion));
    o.insert(QStringLiteral("lcid"), QStringLiteral("0x%1").arg(lcid, 0, 16));
    o.insert(QStringLiteral("control"), controlLibrary);
    if (!helpString.isEmpty())
        o.insert(QStringLiteral("helpString"), helpString);
    o.insert(QStringLiteral("coclass"), QJsonObject{{QStringLiteral("name"), coclassName},
                                                    {QStringLiteral("clsid"), uuidText(coclass)}});
    o.insert(QStringLiteral("defaultInterface"), defaultInterface.toJson());
    o.insert(QStringLiteral("eventInterface"), eventInterface.toJson());
    if (!enums.empty()) {
        QJsonArray es;
        for (const Enum& en : enums) {
            QJsonArray ms;
            for (const auto& [member, value] : en.members)
                ms.append(QJsonObject{{QStringLiteral("name"), member}, {QStringLiteral("value"), value}});
            QJsonObject j{{QStringLiteral("name"), en.name}, {QStringLiteral("members"), ms}};
            if (!en.guid.isNull())
                j.insert(QStringLiteral("guid"), uuidText(en.guid));
            es.append(j);
        }
        o.insert(QStringLiteral("enums"), es);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<TypeLibrary> TypeLibrary::parse(const QByteArray& bytes, QString* why)
{
    Errors e{why};
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &pe);
    if (pe.error != QJsonParseError::NoError) {
        e.fail(QString(), QStringLiteral("not valid JSON at offset %1: %2").arg(pe.offset).arg(pe.errorString()));
        return std::nullopt;
    }
    if (!doc.isObject()) {
        e.fail(QString(), QStringLiteral("a type library must be a JSON object"));
        return std::nullopt;
    }
    const QJsonObject o = doc.object();
    TypeLibrary lib;
    const QString at = QStringLiteral("type library");
    QString version = QStringLiteral("1.0");
    if (!readString(o, "name", &lib.name, e, at, true) || !readUuid(o, "libid", &lib.libid, e, at, true)
        || !readString(o, "version", &version, e, at, false) || !readBool(o, "control", &lib.controlLibrary, e, at)
        || !readString(o, "helpString", &lib.helpString, e, at, false))
        return std::nullopt;
    if (lib.libid.isNull()) {
        e.fail(at, QStringLiteral("\"libid\" is empty"));
        return std::nullopt;
    }
    const QStringList vparts = version.split(QLatin1Char('.'));
    bool okMajor = false, okMinor = vparts.size() == 2;
    lib.majorVersion = vparts.value(0).toInt(&okMajor);
    if (okMinor)
        lib.minorVersion = vparts.value(1).toInt(&okMinor);
    if (!okMajor || !okMinor || lib.majorVersion < 0 || lib.minorVersion < 0 || lib.majorVersion > 0xFFFF
        || lib.minorVersion > 0xFFFF) {
        e.fail(at, QStringLiteral("\"version\" must read major.minor, not \"%1\"").arg(version));
        return std::nullopt;
    }
    if (const QJsonValue lcid = o.value(QLatin1String("lcid")); !lcid.isUndefined()) {
        std::int32_t v = 0;
        if (!readInt32(lcid, &v)) {
            e.fail(at, QStringLiteral("\"lcid\" must be an integer"));
            return std::nullopt;
        }
        lib.lcid = std::uint32_t(v);
    }

    const QJsonValue coclass = o.value(QLatin1String("coclass"));
    if (!coclass.isUndefined()) {
        if (!coclass.isObject()) {
            e.fail(at, QStringLiteral("\"coclass\" must be an object"));
            return std::nullopt;
        }
        const QString cat = QStringLiteral("coclass");
        if (!readString(coclass.toObject(), "name", &lib.coclassName, e, cat, true)
            || !readUuid(coclass.toObject(), "clsid", &lib.coclass, e, cat, true))
            return std::nullopt;
    }
    for (auto [key, target] : {std::pair{"defaultInterface", &lib.defaultInterface},
                               std::pair{"eventInterface", &lib.eventInterface}}) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            continue;
        if (!v.isObject()) {
            e.fail(at, QStringLiteral("\"%1\" must be an object").arg(QLatin1String(key)));
            return std::nullopt;
        }
        auto info = typeInfoFromJson(v.toObject(), e, QStringLiteral("interface"));
        if (!info)
            return std::nullopt;
        *target = *info;
    }

    const QJsonValue enums = o.value(QLatin1String("enums"));
    if (!enums.isUndefined() && !enums.isArray()) {
        e.fail(at, QStringLiteral("\"enums\" must be an array"));
        return std::nullopt;
    }
    for (const QJsonValue& ev : enums.toArray()) {
        const QJsonObject eo = ev.toObject();
        Enum en;
        const QString eat = QStringLiteral("enum %1").arg(eo.value(QLatin1String("name")).toString());
        if (!ev.isObject() || !readString(eo, "name", &en.name, e, QStringLiteral("enum"), true)
            || !readUuid(eo, "guid", &en.guid, e, eat, false)) {
            e.fail(at, QStringLiteral("an enum must be an object with a name"));
            return std::nullopt;
        }
        for (const QJsonValue& mv : eo.value(QLatin1String("members")).toArray()) {
            const QJsonObject m = mv.toObject();
            QString member;
            std::int32_t value = 0;
            if (!readString(m, "name", &member, e, eat, true))
                return std::nullopt;
            if (!readInt32(m.value(QLatin1String("value")), &value)) {
                e.fail(QStringLiteral("%1.%2").arg(eat, member), QStringLiteral("\"value\" must be a 32-bit integer"));
                return std::nullopt;
            }
            en.members.emplace_back(member, value);
        }
        lib.enums.push_back(en);
    }
    return lib;
}

} // namespace automation
