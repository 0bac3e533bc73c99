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

void expectSameParams(const std::vector<ParamInfo>& a, const std::vector<ParamInfo>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].name, b[i].name);
        EXPECT_EQ(a[i].type, b[i].type) << a[i].name.toStdString();
        EXPECT_EQ(a[i].optional, b[i].optional) << a[i].name.toStdString();
        EXPECT_EQ(a[i].byRef, b[i].byRef) << a[i].name.toStdString();
        EXPECT_TRUE(a[i].defaultValue == b[i].defaultValue) << a[i].name.toStdString();
    }
}

QString failure(const char* json)
{
    QString why;
    EXPECT_FALSE(TypeLibrary::parse(QByteArray(json), &why).has_value()) << json;
    return why;
}

} // namespace

TEST(TypeLibraryJson, EverythingSurvivesARoundTrip)
{
    const TypeLibrary lib = sampleLibrary();
    const QByteArray bytes = lib.serialize();
    QString why;
    auto back = TypeLibrary::parse(bytes, &why);
    ASSERT_TRUE(back.has_value()) << why.toStdString();
    EXPECT_EQ(back->name, lib.name);
    EXPECT_EQ(back->libid, lib.libid);
    EXPECT_EQ(back->majorVersion, 76);
    EXPECT_EQ(back->minorVersion, 0);
    EXPECT_EQ(back->lcid, 0x409u);
    EXPECT_TRUE(back->controlLibrary);
    EXPECT_EQ(back->helpString, lib.helpString);
    EXPECT_EQ(back->coclass, lib.coclass);
    EXPECT_EQ(back->coclassName, lib.coclassName);
    EXPECT_EQ(back->defaultInterface.iid, lib.defaultInterface.iid);
    ASSERT_EQ(back->defaultInterface.members.size(), lib.defaultInterface.members.size());
    for (size_t i = 0; i < lib.defaultInterface.members.size(); ++i) {
        const MemberInfo& a = back->defaultInterface.members[i];
        const MemberInfo& b = lib.defaultInterface.members[i];
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.id, b.id);
        EXPECT_EQ(a.kind, b.kind);
        EXPECT_EQ(a.returnType, b.returnType);
        EXPECT_EQ(a.helpString, b.helpString);
        expectSameParams(a.params, b.params);
    }
    ASSERT_EQ(back->eventInterface.events.size(), 2u);
    EXPECT_EQ(back->eventInterface.events[0].name, QStringLiteral("Animation"));
    expectSameParams(back->eventInterface.events[0].params, lib.eventInterface.events[0].params);
    EXPECT_EQ(back->eventInterface.events[1].id, 5);
    ASSERT_EQ(back->enums.size(), 1u);
    EXPECT_EQ(back->enums[0].guid, lib.enums[0].guid);
    EXPECT_EQ(back->enums[0].members, lib.enums[0].members);

    // The bytes are stable: the same library always serializes the same way.
    EXPECT_EQ(back->serialize(), bytes);
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
    QString why;
    auto lib = TypeLibrary::parse(json, &why);
    ASSERT_TRUE(lib.has_value()) << why.toStdString();
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
    EXPECT_TRUE(failure("{").contains(QLatin1String("not valid JSON")));
    EXPECT_TRUE(failure("[]").contains(QLatin1String("JSON object")));
    EXPECT_TRUE(failure(R"({"name":"x"})").contains(QLatin1String("\"libid\" is missing")));
    EXPECT_TRUE(failure(R"({"name":"x","libid":"nonsense"})").contains(QLatin1String("not a GUID")));
    EXPECT_TRUE(failure(R"({"name":"x","libid":"{6b1c2d3e-0000-4000-8000-0000000000aa}","version":"3"})")
                    .contains(QLatin1String("major.minor")));

    const QString kind = failure(R"({"name":"x","libid":"{6b1c2d3e-0000-4000-8000-0000000000aa}",
        "defaultInterface":{"name":"_X","members":[{"name":"Go","id":1,"kind":"call"}]}})");
    EXPECT_TRUE(kind.contains(QLatin1String("_X.Go"))) << kind.toStdString();
    EXPECT_TRUE(kind.contains(QLatin1String("propget"))) << kind.toStdString();

    const QString def = failure(R"({"name":"x","libid":"{6b1c2d3e-0000-4000-8000-0000000000aa}",
        "defaultInterface":{"name":"_X","members":[{"name":"Go","id":1,"params":[{"name":"N","type":"I2","default":"many"}]}]}})");
    EXPECT_TRUE(def.contains(QLatin1String("parameter 1"))) << def.toStdString();
    EXPECT_TRUE(def.contains(QLatin1String("I2"))) << def.toStdString();

    const QString twice = failure(R"({"name":"x","libid":"{6b1c2d3e-0000-4000-8000-0000000000aa}",
        "defaultInterface":{"name":"_X","members":[{"name":"A","id":7},{"name":"B","id":7}]}})");
    EXPECT_TRUE(twice.contains(QLatin1String("used twice"))) << twice.toStdString();

    const QString range = failure(R"({"name":"x","libid":"{6b1c2d3e-0000-4000-8000-0000000000aa}",
        "defaultInterface":{"name":"_X","members":[{"name":"A","id":"0x100000000"}]}})");
    EXPECT_TRUE(range.contains(QLatin1String("32-bit"))) << range.toStdString();

    const QString put = failure(R"({"name":"x","libid":"{6b1c2d3e-0000-4000-8000-0000000000aa}",
        "defaultInterface":{"name":"_X","members":[{"name":"A","id":3,"kind":"propput"}]}})");
    EXPECT_TRUE(put.contains(QLatin1String("value parameter"))) << put.toStdString();
}

TEST(TypeInfoJson, VariantParametersKeepTheTypeOfTheirDefault)
{
    const TypeInfo info = sampleLibrary().defaultInterface;
    const QJsonObject o = info.toJson();
    auto back = TypeInfo::fromJson(o);
    ASSERT_TRUE(back.has_value());
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
