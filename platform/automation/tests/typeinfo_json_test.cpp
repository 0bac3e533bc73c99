#include <gtest/gtest.h>

#include "automation/typeinfo.h"

using namespace automation;

namespace {

TypeLibrary sampleLibrary() {
    TypeLibrary lib;
    lib.name = QStringLiteral("sample");
    lib.libid = QUuid::fromString(QLatin1String("{6b1c2d3e-0000-4000-8000-000000000001}"));
    lib.majorVersion = 76;
    lib.minorVersion = 0;
    lib.helpString = QStringLiteral("Sample 3.0");
    lib.coclass = QUuid::fromString(QLatin1String("{6b1c2d3e-0000-4000-8000-000000000002}"));
    lib.coclassName = QStringLiteral("Sample");
    lib.defaultInterface = TypeInfo{
        QStringLiteral("_Sample"),
        QUuid::fromString(QLatin1String("{6b1c2d3e-0000-4000-8000-000000000003}")),
        {
            MemberInfo{QStringLiteral("AboutBox"),
                       DispIdAboutBox,
                       InvokeKind::Method,
                       {},
                       VarType::Empty,
                       {}},
            MemberInfo{
                QStringLiteral("AddToTray"),
                0x60030005,
                InvokeKind::Method,
                {ParamInfo{QStringLiteral("TrayIcon"), VarType::Dispatch},
                 ParamInfo{QStringLiteral("TrayToolTipText"), VarType::BStr},
                 ParamInfo{
                     QStringLiteral("HideWindow"), VarType::Bool, true, Variant::fromBool(false)}}},
            MemberInfo{
                QStringLiteral("Pick"),
                0x60030006,
                InvokeKind::Method,
                {ParamInfo{
                     QStringLiteral("What"), VarType::Variant, true, Variant(std::int16_t(5))},
                 ParamInfo{QStringLiteral("Ratio"), VarType::R8, true, Variant(0.25)},
                 ParamInfo{QStringLiteral("Counter"), VarType::I4, false, {}, true}},
                VarType::BStr},
            MemberInfo{QStringLiteral("AnimationInterval"),
                       0x68030001,
                       InvokeKind::PropertyGet,
                       {},
                       VarType::I4,
                       QStringLiteral("Returns/sets the number of milliseconds.")},
            MemberInfo{QStringLiteral("AnimationInterval"),
                       0x68030001,
                       InvokeKind::PropertyPut,
                       {ParamInfo{QStringLiteral("Value"), VarType::I4}},
                       VarType::Empty,
                       {}},
        },
        {}};
    lib.eventInterface =
        TypeInfo{QStringLiteral("__Sample"),
                 QUuid::fromString(QLatin1String("{6b1c2d3e-0000-4000-8000-000000000004}")),
                 {},
                 {
                     EventInfo{QStringLiteral("Animation"),
                               1,
                               {ParamInfo{QStringLiteral("Index"), VarType::I4, false, {}, true}}},
                     EventInfo{QStringLiteral("Click"), 5, {}},
                 }};
    lib.enums.push_back({QStringLiteral("TrayMouseButtons"),
                         QUuid::fromString(QLatin1String("{6b1c2d3e-0000-4000-8000-000000000005}")),
                         {{QStringLiteral("LeftButton"), 1},
                          {QStringLiteral("MiddleButton"), 2},
                          {QStringLiteral("RightButton"), 3}}});
    return lib;
}

// An interface's members and events as one line each, to compare whole:
// "Name id kind(Type Param = default, ...) -> Type: help".
QStringList lines(const TypeInfo &t) {
    auto params = [](const std::vector<ParamInfo> &ps) {
        QStringList out;
        for (const ParamInfo &p : ps)
            out << varTypeName(p.type) + (p.byRef ? " ByRef " : " ") + p.name +
                       (p.optional ? " = " + p.defaultValue.describe() : QString());
        return out.join(", ");
    };
    QStringList out;
    for (const MemberInfo &m : t.members)
        out << QStringLiteral("%1 %2 %3(%4) -> %5: %6")
                   .arg(m.name)
                   .arg(m.id)
                   .arg(invokeKindName(m.kind),
                        params(m.params),
                        varTypeName(m.returnType),
                        m.helpString);
    for (const EventInfo &e : t.events)
        out << QStringLiteral("%1 %2 event(%3)").arg(e.name).arg(e.id).arg(params(e.params));
    return out;
}

} // namespace

TEST(TypeLibraryJson, EverythingSurvivesARoundTrip) {
    const TypeLibrary lib = sampleLibrary();
    const QByteArray bytes = lib.serialize();
    auto back = TypeLibrary::parse(bytes);
    ASSERT_TRUE(back) << back.error().description.toStdString();
    // The bytes are stable: what was read serializes to the same bytes.
    EXPECT_EQ(back->serialize(), bytes);
    // And what was read is what was written; a variant parameter's default keeps its type.
    EXPECT_TRUE(bytes.contains(R"("default":{"type":"I2","value":5})")) << bytes.toStdString();
    EXPECT_EQ(std::tuple(back->name,
                         back->libid,
                         back->majorVersion,
                         back->lcid,
                         back->coclass,
                         back->helpString),
              std::tuple(lib.name, lib.libid, 76, 0x409u, lib.coclass, lib.helpString));
    EXPECT_EQ(lines(back->defaultInterface), lines(lib.defaultInterface));
    EXPECT_EQ(lines(back->eventInterface), lines(lib.eventInterface));
    ASSERT_EQ(back->enums.size(), 1u);
    EXPECT_EQ(back->enums[0].members, lib.enums[0].members);
}

TEST(TypeLibraryJson, HandWrittenSourcesReadNaturally) {
    // Type names as a library's author writes them; ids as text up to 0xFFFFFFFF.
    auto lib = TypeLibrary::parse(
        R"({"name": "pellago", "libid": "{6b1c2d3e-0000-4000-8000-0000000000aa}", "version": "34.0",
        "defaultInterface": {"name": "_Pellagon", "members": [{"name": "AboutBox", "id": "0xFFFFFDD8", "returns": "Long"},
            {"name": "Show", "id": 2, "params": [{"name": "Prompt", "type": "String"}, {"name": "Hide", "type": "Boolean"}]}]}})");
    ASSERT_TRUE(lib) << lib.error().description.toStdString();
    EXPECT_EQ(lines(lib->defaultInterface),
              QStringList({"AboutBox -552 method() -> I4: ",
                           "Show 2 method(BStr Prompt, Bool Hide) -> Empty: "}));
}

// A mistake in a type library's source: what its error says, where it is
// and what is wrong.
struct Mistake {
    const char *name;
    const char *json;
    const char *where;
    const char *what = "";
};

class Mistakes : public ::testing::TestWithParam<Mistake> {};

TEST_P(Mistakes, AreReportedWithWhereTheyAre) {
    const Mistake &c = GetParam();
    const auto r = TypeLibrary::parse(QByteArray(c.json));
    ASSERT_FALSE(r) << c.name << ": expected to fail";
    EXPECT_EQ(r.error().number, err::InvalidFileFormat) << c.name << ": its error number";
    const QString says = r.error().description;
    EXPECT_TRUE(says.contains(QLatin1String(c.where))) << c.name << ": " << says.toStdString();
    EXPECT_TRUE(says.contains(QLatin1String(c.what))) << c.name << ": " << says.toStdString();
}

#define LIB R"({"name":"x","libid":"{6b1c2d3e-0000-4000-8000-0000000000aa}",)"
#define MEMBERS(m) LIB R"("defaultInterface":{"name":"_X","members":[)" m "]}}"
INSTANTIATE_TEST_SUITE_P(
    TypeLibraryJson, Mistakes,
    ::testing::Values(
        Mistake{"NotJson", "{", "not valid JSON"}, Mistake{"NotAnObject", "[]", "JSON object"},
        Mistake{"NoLibid", R"({"name":"x"})", "\"libid\" is missing"},
        Mistake{"BadLibid", R"({"name":"x","libid":"nonsense"})", "not a GUID"},
        Mistake{"BadVersion", LIB R"("version":"3"})", "major.minor"},
        Mistake{"BadKind", MEMBERS(R"({"name":"Go","id":1,"kind":"call"})"), "_X.Go", "propget"},
        Mistake{
            "BadDefault",
            MEMBERS(R"({"name":"Go","id":1,"params":[{"name":"N","type":"I2","default":"x"}]})"),
            "parameter 1",
            "I2"},
        Mistake{"IdTwice", MEMBERS(R"({"name":"A","id":7},{"name":"B","id":7})"), "used twice"},
        Mistake{"IdBeyond32Bits", MEMBERS(R"({"name":"A","id":"0x100000000"})"), "32-bit"},
        Mistake{"PutWithoutValue",
                MEMBERS(R"({"name":"A","id":3,"kind":"propput"})"),
                "value parameter"}),
    [](const auto &info) { return std::string(info.param.name); });
#undef MEMBERS
#undef LIB
