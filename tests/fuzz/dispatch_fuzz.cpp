// Argument conversion of a dispatched call: arbitrary values (any double,
// NaNs and infinities included; any text; objects whose default member gives
// an arbitrary value) against a member of arbitrary parameters. The call
// either fails with one of the argument errors or reaches the member with
// every argument of its parameter's type, and by-reference arguments come
// back as the member left them. The first value is then put, twice, to a
// property of the same parameters, with the same outcome.
#include "common.h"

#include "automation/dispatch.h"

using namespace automation;

namespace {

constexpr VarType ParamTypes[] = {VarType::I2,
                                  VarType::I4,
                                  VarType::Bool,
                                  VarType::R8,
                                  VarType::BStr,
                                  VarType::Dispatch,
                                  VarType::Variant};

Variant value(fuzz::Input &in, int depth = 0);

// An object with only a default member, which answers `v`.
DispatchPtr objectAnswering(const Variant &v) {
    auto object = std::make_shared<FunctionObject>(TypeInfo{
        QStringLiteral("Answer"),
        QUuid(),
        {{QStringLiteral("Value"), DispIdValue, InvokeKind::PropertyGet, {}, VarType::Variant, {}}},
        {}});
    object->on(DispIdValue, InvokeKind::PropertyGet, [v](std::vector<Variant> &) -> Result<> {
        return v;
    });
    return object;
}

QString numberText(fuzz::Input &in) {
    static const char chars[] = "0123456789+-.eE xXTrueFalsnif";
    QString s;
    for (int n = in.byte() % 24; n > 0; --n)
        s += QLatin1Char(chars[in.byte() % (sizeof chars - 1)]);
    return s;
}

Variant value(fuzz::Input &in, int depth) {
    switch (in.byte() % 10) {
    case 0:
        return Variant();
    case 1:
        return Variant::missing();
    case 2:
        return Variant(in.value<std::int16_t>());
    case 3:
        return Variant(in.value<std::int32_t>());
    case 4:
        return Variant::fromBool(in.byte() & 1);
    case 5:
        return Variant(in.value<double>());
    case 6:
        return Variant(in.text(16));
    case 7:
        return Variant(numberText(in));
    case 8:
        return Variant(DispatchPtr());
    default:
        return depth < 2 ? Variant(objectAnswering(value(in, depth + 1))) : Variant();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz::Input in(data, size);
    MemberInfo member{QStringLiteral("Member"), 1, InvokeKind::Method, {}, VarType::Empty, {}};
    for (int n = in.byte() % 5; n > 0; --n) {
        ParamInfo p{QStringLiteral("P%1").arg(member.params.size()),
                    ParamTypes[in.byte() % std::size(ParamTypes)]};
        const std::uint8_t flags = in.byte();
        p.optional = flags & 1, p.byRef = flags & 2;
        if (p.optional &&
            (flags &
             4)) { // a default of the parameter's type, as the type information reader makes it
            const Result<Variant> def = value(in).convert(p.type);
            if (def && !def->isMissing() && def->type() != VarType::Dispatch)
                p.defaultValue = *def;
        }
        member.params.push_back(p);
    }
    TypeInfo info{QStringLiteral("Fuzzed"), QUuid(), {member, member}, {}};
    info.members.back().kind = InvokeKind::PropertyPut;

    std::vector<Variant> args;
    for (int n = in.byte() % 6; n > 0; --n)
        args.push_back(value(in));
    std::vector<Variant> original = args;

    bool reached = false;
    auto object = std::make_shared<FunctionObject>(info);
    const auto body = [&](std::vector<Variant> &a) -> Result<> {
        reached = true;
        fuzz::check(a.size() == member.params.size(), "one argument per parameter");
        for (std::size_t i = 0; i < a.size(); ++i) {
            const ParamInfo &p = member.params[i];
            const bool omitted = i >= original.size() || original[i].isMissing();
            if (omitted) {
                fuzz::check(p.optional, "only optional parameters omitted");
                fuzz::check(p.defaultValue.isEmpty() ? a[i].isMissing()
                                                     : fuzz::same(a[i], p.defaultValue),
                            "the default filled in");
            } else if (p.type != VarType::Variant) {
                fuzz::check(a[i].type() == p.type, "an argument of its parameter's type");
            } else {
                fuzz::check(fuzz::same(a[i], original[i]),
                            "a Variant parameter takes the value as it is");
            }
            a[i] = Variant(QStringLiteral("written %1").arg(i));
        }
        return {};
    };
    object->on(1, InvokeKind::Method, body);
    object->on(1, InvokeKind::PropertyPut, body);
    // Whether the call succeeded; a failure is one of the argument errors.
    const auto succeeded = [&](const Result<> &r) {
        if (!r) {
            const std::int32_t e = r.error().number;
            fuzz::check(!reached, "a failed call never reaches the member");
            fuzz::check(e == err::TypeMismatch || e == err::Overflow || e == err::ObjectRequired ||
                            e == err::ArgumentNotOptional || e == err::WrongArgumentCount,
                        "an argument error",
                        QByteArray::number(e));
            return false;
        }
        fuzz::check(reached, "a call that succeeds reaches the member");
        reached = false;
        return true;
    };

    const Variant first = args.empty() ? Variant::missing() : args.front();
    const bool called = succeeded(object->invoke(1, InvokeKind::Method, args));
    for (std::size_t i = 0; called && i < args.size(); ++i) {
        const bool byRef = i < member.params.size() && member.params[i].byRef;
        const Variant expected = byRef ? Variant(QStringLiteral("written %1").arg(i)) : original[i];
        fuzz::check(fuzz::same(args[i], expected),
                    byRef ? "a by-reference argument comes back" : "a by-value argument stays");
    }
    // The second put goes through the list the object keeps for puts.
    original = {first};
    reached = false;
    const bool put = succeeded(object->put(1, first));
    fuzz::check(succeeded(object->put(1, first)) == put, "a put has the same outcome each time");
    return 0;
}
