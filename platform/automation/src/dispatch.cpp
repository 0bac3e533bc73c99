#include "automation/dispatch.h"

#include <algorithm>

namespace automation {

// The interfaces' key functions: their vtables and type information live in
// this library only, whichever library implements or uses them.
IDispatch::~IDispatch() = default;
IEventSink::~IEventSink() = default;

Result<> IDispatch::call(DispId id, std::vector<Variant> args) { return invoke(id, InvokeKind::Method, args); }

Result<> IDispatch::get(DispId id)
{
    std::vector<Variant> none;
    return invoke(id, InvokeKind::PropertyGet, none);
}

Result<> IDispatch::put(DispId id, Variant value)
{
    // Puts come in long runs (a command word is some thirty of them): the
    // argument list reuses this thread's spare buffer instead of allocating
    // one each time. A put made while another is under way finds no spare
    // and allocates; whichever ends last leaves its buffer as the spare.
    thread_local std::vector<Variant> spare;
    std::vector<Variant> args = std::move(spare);
    args.clear();
    args.push_back(std::move(value));
    Result<> r = invoke(id, InvokeKind::PropertyPut, args);
    args.clear();
    spare = std::move(args);
    return r;
}

Result<> IDispatch::callByName(const QString& name, InvokeKind kind, std::vector<Variant>& args)
{
    const auto id = idOfName(name);
    if (!id)
        return Result<>::fail(err::NoSuchMember, {}, typeInfo().name);
    return invoke(*id, kind, args);
}

void EventSource::advise(IEventSink* sink)
{
    if (sink && std::find(sinks_.begin(), sinks_.end(), sink) == sinks_.end())
        sinks_.push_back(sink);
}

void EventSource::unadvise(IEventSink* sink)
{
    sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), sink), sinks_.end());
}

Result<> EventSource::raise(const TypeInfo* events, DispId id, std::vector<Variant>& args, const QString& source)
{
    const EventInfo* event = events ? events->findEvent(id) : nullptr;
    if (!event)
        return Result<>::fail(err::NoSuchMember, QStringLiteral("raised event #%1 is not in the event interface").arg(id), source);
    if (args.size() != event->params.size())
        return Result<>::fail(err::WrongArgumentCount,
                              QStringLiteral("event %1 raised with %2 arguments, declared with %3")
                                  .arg(event->name).arg(args.size()).arg(event->params.size()),
                              source);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const ParamInfo& p = event->params[i];
        if (p.type != VarType::Variant && args[i].type() != p.type)
            return Result<>::fail(err::TypeMismatch,
                                  QStringLiteral("event %1: argument %2 (%3) is %4, declared %5")
                                      .arg(event->name).arg(i + 1).arg(p.name, varTypeName(args[i].type()), varTypeName(p.type)),
                                  source);
    }
    const std::vector<IEventSink*> snapshot = sinks_;
    for (IEventSink* sink : snapshot)
        if (std::find(sinks_.begin(), sinks_.end(), sink) != sinks_.end())
            sink->onEvent(id, args);
    return {};
}

Result<> DispatchObject::invoke(DispId id, InvokeKind kind, std::vector<Variant>& args)
{
    return checkedInvoke(typeInfo(), id, kind, args, errorSource(),
                         [this](const MemberInfo& m, std::vector<Variant>& a) { return invokeChecked(m, a); });
}

Result<> checkedInvoke(const TypeInfo& info, DispId id, InvokeKind kind, std::vector<Variant>& args,
                     const QString& errorSource,
                     const std::function<Result<>(const MemberInfo&, std::vector<Variant>&)>& body)
{
    const MemberInfo* member = info.find(id, kind);
    if (!member)
        return Result<>::fail(err::NoSuchMember, {}, errorSource);
    const std::size_t n = member->params.size();
    if (args.size() > n)
        return Result<>::fail(err::WrongArgumentCount, {}, errorSource);

    std::vector<Variant> checked(n);
    for (std::size_t i = 0; i < n; ++i) {
        const ParamInfo& p = member->params[i];
        if (i >= args.size() || args[i].isMissing()) {
            if (!p.optional)
                return Result<>::fail(err::ArgumentNotOptional, {}, errorSource);
            checked[i] = p.defaultValue.isEmpty() ? Variant::missing() : p.defaultValue;
            continue;
        }
        Result<> v = args[i].convert(p.type);
        if (!v.ok()) {
            Error e = v.error();
            e.source = errorSource;
            return e;
        }
        checked[i] = std::move(*v);
    }

    Result<> r = body(*member, checked);
    for (std::size_t i = 0; i < args.size() && i < n; ++i)
        if (member->params[i].byRef)
            args[i] = checked[i];
    return r;
}

void FunctionObject::on(DispId id, InvokeKind kind, Handler h) { handlers_.emplace_back(id, kind, std::move(h)); }

Result<> FunctionObject::invokeChecked(const MemberInfo& member, std::vector<Variant>& args)
{
    for (auto& [id, kind, handler] : handlers_)
        if (id == member.id && kind == member.kind)
            return handler(args);
    return Result<>::fail(err::NoSuchMember, {}, errorSource());
}

} // namespace automation
