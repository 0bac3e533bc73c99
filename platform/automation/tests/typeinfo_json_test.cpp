#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include "automation/typeinfo.h"

using namespace automation;

namespace {

TypeLibrary sampleLibrary()
{
    TypeLibrary lib;
    lib.name = QStringLiteral("sample");
    lib.libid = QUuid::fromString(QLatin1String("{6b1c2d3e-0000-4000-8000-000000000001}"));
    lib.majorVersion = 76;
    lib.minorVersion = 0;
    lib.helpString = QStringLiteral("Sample 3.0");
    lib.coclass = QUuid::fromString(QLatin1String("{6b1c2d3e-0000-4000-8000-000000000002}"));
    lib.coclassName = QStringLiteral("Sample");
    lib.defaultInterface = TypeInfo{QStringLiteral("_Sample"), QUuid::fromString(QLatin1String("{6b1c2d3e-0000-4000-8000-000000000003}")), {
        MemberInfo{QStringLiteral("AboutBox"), DispIdAboutBox, InvokeKind::Method, {}, VarType::Empty, {}},
        MemberInfo{QStringLiteral("AddToTray"), 0x60030005, InvokeKind::Method,
                   {ParamInfo{QStringLiteral("TrayIcon"), VarType::Dispatch},
                    ParamInfo{QStringLiteral("TrayToolTipText"), VarType::BStr},
                    ParamInfo{QStringLiteral("HideWindow"), VarType::Bool, true, Variant::fromBool(false)}}},
        MemberInfo{QStringLiteral("Pick"), 0x60030006, InvokeKind::Method,
                   {ParamInfo{QStringLiteral("What"), VarType::Variant, true, Variant(std::int16_t(5))},
                    ParamInfo{QStringLiteral("Ratio"), VarType::R8, true, Variant(0.25)},
                    ParamInfo{QStringLiteral("Counter"), VarType::I4, false, {}, true}}, VarType::BStr},
        MemberInfo{QStringLiteral("AnimationInterval"), 0x68030001, InvokeKind::PropertyGet, {}, VarType::I4,
                   QStringLiteral("Returns/sets the number of milliseconds.")},
        MemberInfo{QStringLiteral("AnimationInterval"), 0x68030001, InvokeKind::PropertyPut,
                   {ParamInfo{QStringLiteral("Value"), VarType::I4}}, VarType::Empty, {}},
    }, {}};
    lib.eventInterface = TypeInfo{QStringLiteral("__Sample"), QUuid::fromString(QLatin1String("{6b1c2d3e-0000-4000-8000-000000000004}")), {}, {
        EventInfo{QStringLiteral("Animation"), 1, {ParamInfo{QStringLiteral("Index"), VarType::I4, false, {}, true}}},
        EventInfo{QStringLiteral("Click"), 5, {}},
    }};
    lib.enums.push_back({QStringLiteral("TrayMouseButtons"), QUuid::fromString(QLatin1String("{6b1c2d3e-0000-4000-8000-000000000005}")),
                         {{QStringLiteral("LeftButton"), 1}, {QStringLiteral("MiddleButton"), 2}, {QStringLiteral("RightButton"), 3}}});
    return lib;
}

} // namespace

TEST(TypeLibraryJson, EverythingSurvivesARoundTrip)
{
    const TypeLibrary lib = sampleLibrary();
    const QByteArray bytes = lib.serialize();
    auto back = TypeLibrary::parse(bytes);
    ASSERT_TRUE(back) << back.error().description.toStdString();
    // The bytes are stable: what was read serializes to the same bytes.
    EXPECT_EQ(back->serialize(), bytes);
    // And what was read is what was written.
    EXPECT_EQ(std::tuple(back->name, back->libid, back->majorVersion, back->lcid, back->coclass, back->helpString),
              std::tuple(lib.name, lib.libid, 76, 0x409u, lib.coclass, lib.helpString));
    ASSERT_EQ(back->defaultInterface.members.size(), lib.defaultInterface.members.size());
    const MemberInfo* add = back->defaultInterface.find(0x60030005, InvokeKind::Method);
    ASSERT_NE(add, nullptr);
    ASSERT_EQ(add->params.size(), 3u);
    EXPECT_EQ(add->params[0].type, VarType::Dispatch);
    EXPECT_TRUE(add->params[2].optional);
    EXPECT_EQ(add->params[2].defaultValue, Variant::fromBool(false));
    EXPECT_EQ(back->defaultInterface.find(0x68030001, InvokeKind::PropertyGet)->helpString,
              QStringLiteral("Returns/sets the number of milliseconds."));
    ASSERT_EQ(back->eventInterface.events.size(), 2u);
    EXPECT_TRUE(back->eventInterface.events[0].params[0].byRef);
    ASSERT_EQ(back->enums.size(), 1u);
    EXPECT_EQ(back->enums[0].members, lib.enums[0].members);
}

TEST(TypeLibraryJson, HandWrittenSourcesReadNaturally)
{
    const char* json = R"({
        "name": "pellago", "libid": "{6b1c2d3e-0000-4000-8000-0000000000aa}", "version": "34.0", "lcid": 1033,
        "defaultInterface": {"name": "_Pellagon", "members": [
            {"name": "AboutBox", "id": "0xFFFFFDD8"},
            {"name": "MessageType", "id": "0x68030000", "kind": "propget", "returns": "Long"},
            {"name": "ShowBalloonMessage", "id": 1610809349, "params": [
                {"name": "Prompt", "type": "String"}, {"name": "Hide", "type": "Boolean", "default": true}]}]},
        "eventInterface": {"name": "__Pellagon", "events": [{"name": "Tick", "id": 1, "params": [{"name": "N", "type": "I4"}]}]}
    })";
    auto lib = TypeLibrary::parse(json);
    ASSERT_TRUE(lib) << lib.error().description.toStdString();
    EXPECT_EQ(lib->majorVersion, 34);
    EXPECT_EQ(lib->lcid, 0x409u);
    const TypeInfo& d = lib->defaultInterface;
    ASSERT_NE(d.find(-552, InvokeKind::Method), nullptr);
    const MemberInfo* type = d.find(0x68030000, InvokeKind::PropertyGet);
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->returnType, VarType::I4);
    const MemberInfo* show = d.find(0x60030005, InvokeKind::Method);
    ASSERT_NE(show, nullptr);
    ASSERT_EQ(show->params.size(), 2u);
    EXPECT_EQ(show->params[0].type, VarType::BStr);
    EXPECT_FALSE(show->params[0].optional);
    // A default makes the parameter optional, read in the parameter's type.
    EXPECT_TRUE(show->params[1].optional);
    EXPECT_TRUE(show->params[1].defaultValue == Variant::fromBool(true));
    // Event parameters are by reference whether or not the source says so.
    ASSERT_EQ(lib->eventInterface.events.size(), 1u);
    EXPECT_TRUE(lib->eventInterface.events[0].params[0].byRef);
}

TEST(TypeLibraryJson, MistakesAreReportedWithWhereTheyAre)
{
#define LIB R"({"name":"x","libid":"{6b1c2d3e-0000-4000-8000-0000000000aa}",)"
#define MEMBERS(m) LIB R"("defaultInterface":{"name":"_X","members":[)" m "]}}"
    const std::pair<const char*, std::vector<const char*>> cases[] = {
        {"{", {"not valid JSON"}},
        {"[]", {"JSON object"}},
        {R"({"name":"x"})", {"\"libid\" is missing"}},
        {R"({"name":"x","libid":"nonsense"})", {"not a GUID"}},
        {LIB R"("version":"3"})", {"major.minor"}},
        {MEMBERS(R"({"name":"Go","id":1,"kind":"call"})"), {"_X.Go", "propget"}},
        {MEMBERS(R"({"name":"Go","id":1,"params":[{"name":"N","type":"I2","default":"many"}]})"), {"parameter 1", "I2"}},
        {MEMBERS(R"({"name":"A","id":7},{"name":"B","id":7})"), {"used twice"}},
        {MEMBERS(R"({"name":"A","id":"0x100000000"})"), {"32-bit"}},
        {MEMBERS(R"({"name":"A","id":3,"kind":"propput"})"), {"value parameter"}},
    };
#undef MEMBERS
#undef LIB
    for (const auto& [json, words] : cases) {
        auto r = TypeLibrary::parse(QByteArray(json));
        ASSERT_FALSE(r) << json;
        EXPECT_EQ(r.error().number, err::InvalidFileFormat);
        for (const char* word : words)
            EXPECT_TRUE(r.error().description.contains(QLatin1String(word))) << r.error().description.toStdString();
    }
}

TEST(TypeInfoJson, VariantParametersKeepTheTypeOfTheirDefault)
{
    const TypeInfo info = sampleLibrary().defaultInterface;
    const QJsonObject o = info.toJson();
    auto back = TypeInfo::fromJson(o);
    ASSERT_TRUE(back);
    const MemberInfo* pick = back->find(0x60030006, InvokeKind::Method);
    ASSERT_NE(pick, nullptr);
    EXPECT_EQ(pick->params[0].defaultValue.type(), VarType::I2);
    EXPECT_EQ(pick->params[0].defaultValue.i2(), 5);
    EXPECT_EQ(pick->params[1].defaultValue.type(), VarType::R8);
    EXPECT_TRUE(pick->params[2].byRef);
    // What the JSON looks like for the variant parameter's default.
    const QJsonObject what = o.value(QLatin1String("members")).toArray()[2].toObject()
                                 .value(QLatin1String("params")).toArray()[0].toObject();
    EXPECT_EQ(QJsonDocument(what.value(QLatin1String("default")).toObject()).toJson(QJsonDocument::Compact),
              QByteArray(R"({"type":"I2","value":5})"));
}
