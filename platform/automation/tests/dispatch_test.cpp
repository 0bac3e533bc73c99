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

TEST(Dispatch, BadCallsAreErrorsNotCrashes) {
    std::vector<Variant> seen;
    auto obj = makeObject(&seen);
    auto expectError = [](const Result<> &r, std::int32_t number) {
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error().number, number);
        EXPECT_EQ(r.error().source, QStringLiteral("Thing"));
        EXPECT_FALSE(r.error().description.isEmpty());
    };
    expectError(obj->call(99), err::NoSuchMember);
    expectError(obj->put(9, Variant(std::int16_t(1))), err::NoSuchMember); // read-only
    expectError(obj->call(7), err::ArgumentNotOptional);
    expectError(obj->call(7,
                          {Variant(QStringLiteral("a")),
                           Variant::fromBool(true),
                           Variant(std::int16_t(1)),
                           Variant()}),
                err::WrongArgumentCount);
    expectError(obj->call(7, {Variant(QStringLiteral("a")), Variant(QStringLiteral("maybe"))}),
                err::TypeMismatch);
    expectError(
        obj->call(7, {Variant(QStringLiteral("a")), Variant(), Variant(std::int32_t(70000))}),
        err::Overflow);
    EXPECT_TRUE(seen.empty());
}

TEST(Dispatch, ByReferenceArgumentsAreWrittenBackAndNamesResolve) {
    auto obj = makeObject(nullptr);
    std::vector<Variant> args{Variant(std::int32_t(41))};
    ASSERT_TRUE(obj->invoke(8, InvokeKind::Method, args).ok());
    EXPECT_EQ(args[0], Variant(std::int32_t(42)));

    EXPECT_EQ(obj->idOfName(QStringLiteral("level")), 9);
    EXPECT_FALSE(obj->idOfName(QStringLiteral("Nope")).has_value());
    std::vector<Variant> none;
    auto r = obj->callByName(QStringLiteral("LEVEL"), InvokeKind::PropertyGet, none);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value(), Variant(std::int16_t(4)));
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
    EXPECT_EQ(seen, QStringList({"7", "inner", "outer", "inner", "outer"}));
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
    EXPECT_EQ(args[0], Variant(std::int16_t(5))); // the raiser sees what a sink wrote
    ASSERT_EQ(a.got.size(), 2u);
    ASSERT_EQ(b.got.size(), 1u);                             // b saw the first event only,
    EXPECT_EQ(b.got[0].second[0], Variant(std::int16_t(5))); // after a wrote its answer
}

TEST(Events, ArgumentsNotMatchingTheEventInterfaceAreAnErrorAndReachNoSink) {
    const struct {
        DispId id;
        std::vector<Variant> args;
        std::int32_t number;
    } cases[] = {
        {1, {}, err::WrongArgumentCount},
        {1, {Variant(std::int32_t(1)), Variant(std::int32_t(2))}, err::WrongArgumentCount},
        {1, {Variant(QStringLiteral("1"))}, err::TypeMismatch},
        {3,
         {Variant(std::int32_t(1)), Variant()},
         err::TypeMismatch}, // I4 where the by-reference I2 is
        {2, {}, err::NoSuchMember},
    };
    EventSource source;
    RecordingSink sink;
    source.advise(&sink);
    for (auto c : cases) {
        const Result<> r = source.raise(&Events, c.id, c.args, QStringLiteral("Thing"));
        ASSERT_FALSE(r.ok()) << c.id << " " << c.args.size();
        EXPECT_EQ(std::pair(r.error().number, r.error().source),
                  std::pair(c.number, QStringLiteral("Thing")));
    }
    EXPECT_TRUE(sink.got.empty());
}

TEST(PropertyBag, NamesIgnoreCaseAndKeepTheSpellingLastWritten) {
    auto bag = PropertyBag::fromText("animationinterval = I4:5\nANIMATIONINTERVAL = I4:6\n");
    ASSERT_TRUE(bag);
    EXPECT_EQ(bag->read(QStringLiteral("AnimationINTERVAL")), Variant(std::int32_t(6)));
    bag->write(QStringLiteral("AnimationInterval"), Variant(std::int32_t(350)));
    EXPECT_EQ(bag->toText(), QByteArray("AnimationInterval = I4:350\n"));
}
