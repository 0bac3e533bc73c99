#include <gtest/gtest.h>

#include <QStringList>
#include <cmath>

#include "automation/control.h"
#include "automation/dispatch.h"

using namespace automation;

namespace {

// An object with a required, an optional and a by-reference parameter.
std::shared_ptr<FunctionObject> makeObject(std::vector<Variant> *seen) {
    TypeInfo info{
        QStringLiteral("Thing"),
        QUuid(),
        {
            MemberInfo{
                QStringLiteral("Show"),
                7,
                InvokeKind::Method,
                {ParamInfo{QStringLiteral("Text"), VarType::BStr},
                 ParamInfo{QStringLiteral("Hide"), VarType::Bool, true, Variant::fromBool(false)},
                 ParamInfo{QStringLiteral("Count"), VarType::I2, true, Variant(std::int16_t(3))}}},
            MemberInfo{QStringLiteral("Bump"),
                       8,
                       InvokeKind::Method,
                       {ParamInfo{QStringLiteral("N"), VarType::I4, false, {}, true}}},
            MemberInfo{QStringLiteral("Level"), 9, InvokeKind::PropertyGet, {}, VarType::I2},
        },
        {}};
    auto obj = std::make_shared<FunctionObject>(info);
    obj->on(7, InvokeKind::Method, [seen](std::vector<Variant> &a) {
        *seen = a;
        return Result<>();
    });
    obj->on(8, InvokeKind::Method, [](std::vector<Variant> &a) {
        a[0] = Variant(a[0].i4() + 1);
        return Result<>();
    });
    obj->on(9, InvokeKind::PropertyGet, [](std::vector<Variant> &) {
        return Result<>(Variant(std::int16_t(4)));
    });
    return obj;
}

} // namespace

// A call that does not fit the member: its error, and the handler not run.
struct BadCall {
    const char *name;
    DispId id;
    InvokeKind kind;
    std::vector<Variant> args;
    std::int32_t number;
};

class BadCalls : public ::testing::TestWithParam<BadCall> {};

TEST_P(BadCalls, AreErrorsNotCrashes) {
    const BadCall &c = GetParam();
    std::vector<Variant> seen, args = c.args;
    const Result<> r = makeObject(&seen)->invoke(c.id, c.kind, args);
    ASSERT_FALSE(r.ok()) << c.name << ": expected to fail";
    EXPECT_EQ(r.error().number, c.number) << c.name << ": its error number";
    EXPECT_EQ(r.error().source, QStringLiteral("Thing")) << c.name << ": the object's error";
    EXPECT_FALSE(r.error().description.isEmpty()) << c.name << ": a description";
    EXPECT_TRUE(seen.empty()) << c.name << ": the handler never ran";
}

const Variant A("a"), Yes = Variant::fromBool(true), Empty;
const auto Method = InvokeKind::Method;
INSTANTIATE_TEST_SUITE_P(
    Dispatch, BadCalls,
    ::testing::Values(
        BadCall{"NoSuchId", 99, Method, {}, err::NoSuchMember},
        BadCall{"PutOfReadOnly", 9, InvokeKind::PropertyPut, {Variant(1)}, err::NoSuchMember},
        BadCall{"RequiredMissing", 7, Method, {}, err::ArgumentNotOptional},
        BadCall{"OneTooMany", 7, Method, {A, Yes, Variant(1), Empty}, err::WrongArgumentCount},
        BadCall{"NotABoolean", 7, Method, {A, Variant("maybe")}, err::TypeMismatch},
        BadCall{"BeyondI2", 7, Method, {A, Empty, Variant(70000)}, err::Overflow}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Dispatch, ByReferenceArgumentsAreWrittenBack) {
    std::vector<Variant> args{Variant(std::int32_t(41))};
    ASSERT_TRUE(makeObject(nullptr)->invoke(8, InvokeKind::Method, args).ok());
    EXPECT_EQ(args[0], Variant(std::int32_t(42))) << "what the handler wrote";
}

TEST(Dispatch, APutMadeInsideAPutKeepsEachValueAndConvertsToTheDeclaredType) {
    const TypeInfo info{QStringLiteral("Thing"),
                        QUuid(),
                        {MemberInfo{QStringLiteral("Caption"),
                                    10,
                                    InvokeKind::PropertyPut,
                                    {ParamInfo{QStringLiteral("Value"), VarType::BStr}}}},
                        {}};
    auto obj = std::make_shared<FunctionObject>(info);
    QStringList seen;
    obj->on(10, InvokeKind::PropertyPut, [&](std::vector<Variant> &a) {
        if (a[0].bstr() == QLatin1String("outer")) {
            EXPECT_TRUE(
                obj->put(10, Variant(QStringLiteral("inner"))).ok()); // as an event handler may
        }
        seen << a[0].bstr();
        return Result<>();
    });
    for (const Variant &v : {Variant(std::int32_t(7)),
                             Variant(QStringLiteral("outer")),
                             Variant(QStringLiteral("outer"))})
        ASSERT_TRUE(obj->put(10, v).ok());
    EXPECT_EQ(seen, QStringList({"7", "inner", "outer", "inner", "outer"}))
        << "each put's own value, converted to text";
}

namespace {
struct RecordingSink : IEventSink {
    std::vector<std::pair<DispId, std::vector<Variant>>> got;
    std::function<void(std::vector<Variant> &)> reply;
    EventSource *unadviseFrom = nullptr;
    void onEvent(DispId id, std::vector<Variant> &args) override {
        got.emplace_back(id, args);
        if (reply)
            reply(args);
        if (unadviseFrom)
            unadviseFrom->unadvise(this);
    }
};
} // namespace

const auto byRef = [](VarType t) {
    return ParamInfo{QStringLiteral("p"), t, false, {}, true};
};
const TypeInfo Events{
    QStringLiteral("__Thing"),
    QUuid(),
    {},
    {EventInfo{QStringLiteral("Tick"), 1, {byRef(VarType::I4)}},
     EventInfo{QStringLiteral("Note"), 3, {byRef(VarType::I2), byRef(VarType::Variant)}}}};

TEST(Events, RaisedSynchronouslyToEachSinkOnceWithParametersByReference) {
    EventSource source;
    RecordingSink a, b;
    a.reply = [](std::vector<Variant> &args) {
        args[0] = Variant(std::int16_t(5));
    };
    b.unadviseFrom = &source; // a sink may unadvise while it handles an event
    source.advise(&a);
    source.advise(&b);
    source.advise(&a); // advising twice keeps one entry
    std::vector<Variant> args{Variant(std::int16_t(1)), Variant(QStringLiteral("any"))};
    ASSERT_TRUE(source.raise(&Events, 3, args).ok());
    ASSERT_TRUE(source.raise(&Events, 3, args).ok());
    EXPECT_EQ(args[0], Variant(std::int16_t(5))) << "the raiser sees what a sink wrote";
    ASSERT_EQ(a.got.size(), 2u) << "a, advised twice, gets each event once";
    ASSERT_EQ(b.got.size(), 1u) << "b unadvised while handling the first";
    EXPECT_EQ(b.got[0].second[0], Variant(std::int16_t(5))) << "b sees what a wrote before it";
}

// Event arguments that do not match the event interface: an error, and no
// sink reached.
struct BadEvent {
    const char *name;
    DispId id;
    std::vector<Variant> args;
    std::int32_t number;
};

class BadEvents : public ::testing::TestWithParam<BadEvent> {};

TEST_P(BadEvents, AreAnErrorAndReachNoSink) {
    const BadEvent &c = GetParam();
    EventSource source;
    RecordingSink sink;
    source.advise(&sink);
    std::vector<Variant> args = c.args;
    const Result<> r = source.raise(&Events, c.id, args, QStringLiteral("Thing"));
    ASSERT_FALSE(r.ok()) << c.name << ": expected to fail";
    EXPECT_EQ(r.error().number, c.number) << c.name << ": its error number";
    EXPECT_EQ(r.error().source, QStringLiteral("Thing")) << c.name << ": the raiser's error";
    EXPECT_TRUE(sink.got.empty()) << c.name << ": no sink reached";
}

INSTANTIATE_TEST_SUITE_P(
    Events, BadEvents,
    ::testing::Values(BadEvent{"TooFew", 1, {}, err::WrongArgumentCount},
                      BadEvent{"TooMany", 1, {Variant(1), Variant(2)}, err::WrongArgumentCount},
                      BadEvent{"TextForI4", 1, {Variant("1")}, err::TypeMismatch},
                      BadEvent{"I4ForByRefI2", 3, {Variant(1), Empty}, err::TypeMismatch},
                      BadEvent{"NoSuchEvent", 2, {}, err::NoSuchMember}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(PropertyBag, NamesIgnoreCaseAndKeepTheSpellingLastWritten) {
    auto bag = PropertyBag::fromText("animationinterval = I4:5\nANIMATIONINTERVAL = I4:6\n");
    ASSERT_TRUE(bag);
    EXPECT_EQ(bag->read(QStringLiteral("AnimationINTERVAL")), Variant(std::int32_t(6)))
        << "the last written, in any case";
    bag->write(QStringLiteral("AnimationInterval"), Variant(std::int32_t(350)));
    EXPECT_EQ(bag->toText(), QByteArray("AnimationInterval = I4:350\n"))
        << "one name, as last spelt";
}
