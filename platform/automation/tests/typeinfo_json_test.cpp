#include <gtest/gtest.h>

#include "automation/typeinfo.h"

using namespace automation;

namespace {

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

// Every field a type library carries, in the form and order it is written
// (the build writes it into each control library, the published tables read
// most of it back from there): what is read is written out to the same bytes.
// A variant parameter's default keeps its type.
TEST(TypeLibraryJson, WhatIsReadIsWrittenToTheSameBytes) {
    const QByteArray written =
        R"({"coclass":{"clsid":"{6b1c2d3e-0000-4000-8000-000000000002}","name":"Sample"},)"
        R"("control":true,"defaultInterface":{"iid":"{6b1c2d3e-0000-4000-8000-000000000003}",)"
        R"("members":[{"helpString":"Picks.","id":1610809350,"kind":"method","name":"Pick",)"
        R"("params":[{"default":{"type":"I2","value":5},"name":"What","optional":true,)"
        R"("type":"Variant"},{"default":0.25,"name":"Ratio","optional":true,"type":"R8"},)"
        R"({"byRef":true,"name":"Counter","type":"I4"}],"returns":"BStr"}],"name":"_Sample"},)"
        R"("enums":[{"guid":"{6b1c2d3e-0000-4000-8000-000000000005}","members":[{"name":"Left",)"
        R"("value":1}],"name":"Buttons"}],"eventInterface":{"events":[{"id":1,)"
        R"("name":"Animation","params":[{"name":"Index","type":"I4"}]}],)"
        R"("iid":"{6b1c2d3e-0000-4000-8000-000000000004}",)"
        R"("name":"__Sample"},"helpString":"Sample 3.0","lcid":"0x409",)"
        R"("libid":"{6b1c2d3e-0000-4000-8000-000000000001}","name":"sample","version":"76.0"})";
    const auto lib = TypeLibrary::parse(written);
    ASSERT_TRUE(lib) << lib.error().description.toStdString();
    EXPECT_EQ(lib->serialize().toStdString(), written.toStdString()) << "written back the same";
}

TEST(TypeLibraryJson, HandWrittenSourcesReadNaturally) {
    // Type names as a library's author writes them; ids as text up to 0xFFFFFFFF.
    auto lib = TypeLibrary::parse(
        R"({"name": "pellago", "libid": "{6b1c2d3e-0000-4000-8000-0000000000aa}",)"
        R"("version": "34.0",)"
        R"("defaultInterface": {"name": "_Pellagon", "members": [)"
        R"({"name": "AboutBox", "id": "0xFFFFFDD8", "returns": "Long"},)"
        R"({"name": "Show", "id": 2, "params": [{"name": "Prompt", "type": "String"},)"
        R"({"name": "Hide", "type": "Boolean"}]}]}})");
    ASSERT_TRUE(lib) << lib.error().description.toStdString();
    EXPECT_EQ(lines(lib->defaultInterface),
              QStringList({"AboutBox -552 method() -> I4: ",
                           "Show 2 method(BStr Prompt, Bool Hide) -> Empty: "}))
        << "Long, String and Boolean read as I4, BStr and Bool";
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
