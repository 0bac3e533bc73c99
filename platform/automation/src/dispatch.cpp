#include "automation/dispatch.h"

#include "callchecker.h"

#include <algorithm>
#include <memory>

namespace automation {

// The interfaces' key functions: their vtables and type information live in
// this library only, whichever library implements or uses them.
IDispatch::~IDispatch() = default;
IEventSink::~IEventSink() = default;

Result<> IDispatch::call(DispId id, std::vector<Variant> args) {
    return invoke(id, InvokeKind::Method, args);
}

Result<> IDispatch::get(DispId id) {
    std::vector<Variant> none;
    return invoke(id, InvokeKind::PropertyGet, none);
}

Result<> IDispatch::putValue(DispId id, Variant &value) {
    std::vector<Variant> args(1);
    args.front() = std::move(value);
    return invoke(id, InvokeKind::PropertyPut, args);
}

Result<> IDispatch::callByName(const QString &name, InvokeKind kind, std::vector<Variant> &args) {
    const auto id = idOfName(name);
    if (!id)
        return Result<>::fail(err::NoSuchMember, {}, typeInfo().name);
    return invoke(*id, kind, args);
}

void EventSource::advise(IEventSink *sink) {
    if (sink && std::find(sinks_.begin(), sinks_.end(), sink) == sinks_.end())
        sinks_.push_back(sink);
}

void EventSource::unadvise(IEventSink *sink) {
    sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), sink), sinks_.end());
}

Result<> EventSource::raise(const TypeInfo *events, DispId id, std::vector<Variant> &args,
                            const QString &source) {
    const EventInfo *event = events ? events->findEvent(id) : nullptr;
    if (!event)
        return Result<>::fail(
            err::NoSuchMember,
            QStringLiteral("raised event #%1 is not in the event interface").arg(id),
            source);
    if (args.size() != event->params.size())
        return Result<>::fail(err::WrongArgumentCount,
                              QStringLiteral("event %1 raised with %2 arguments, declared with %3")
                                  .arg(event->name)
                                  .arg(args.size())
                                  .arg(event->params.size()),
                              source);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const ParamInfo &p = event->params[i];
        if (p.type != VarType::Variant && args[i].type() != p.type)
            return Result<>::fail(
                err::TypeMismatch,
                QStringLiteral("event %1: argument %2 (%3) is %4, declared %5")
                    .arg(event->name)
                    .arg(i + 1)
                    .arg(p.name, varTypeName(args[i].type()), varTypeName(p.type)),
                source);
    }
    const std::vector<IEventSink *> snapshot = sinks_;
    for (IEventSink *sink : snapshot)
        if (std::find(sinks_.begin(), sinks_.end(), sink) != sinks_.end())
            sink->onEvent(id, args);
    return {};
}

namespace {

// Dispatch ids up to this one are indexed; larger ones are rare (and looked up in turn).
constexpr DispId MaxIndexedId = 1023;

// One argument brought to its parameter: an omitted one (absent or Missing)
// gets the recorded default, the others are converted to the declared type.
// `arg` is null for an argument past the end of the list.
Result<> checkedArgument(const ParamInfo &p, const Variant *arg, Variant &out) {
    if (!arg || arg->isMissing()) {
        if (!p.optional)
            return Result<>::fail(err::ArgumentNotOptional);
        out = p.defaultValue.isEmpty() ? Variant::missing() : p.defaultValue;
        return {};
    }
    if (p.type == VarType::Variant || arg->type() == p.type) {
        if (&out != arg)
            out = *arg;
        return {};
    }
    out = TRY(arg->convert(p.type));
    return {};
}

} // namespace

void CallChecker::buildIndex(const TypeInfo &info) {
    byId_.clear();
    indexed_ = &info;
    indexedBegin_ = std::to_address(info.members.cbegin());
    indexedEnd_ = std::to_address(info.members.cend());
    if (info.members.size() >= 0xFFFF)
        return; // positions would not fit: every id is looked up in turn
    DispId top = -1;
    for (const MemberInfo &m : info.members)
        if (m.id <= MaxIndexedId)
            top = std::max(top, m.id);
    byId_.assign(std::size_t(top + 1), {0, 0, 0});
    for (std::size_t i = 0; i < info.members.size(); ++i) {
        const MemberInfo &m = info.members[i];
        const int slot = kindSlot(m.kind);
        if (m.id >= 0 && m.id <= MaxIndexedId && slot >= 0 &&
            !byId_[std::size_t(m.id)][std::size_t(slot)])
            byId_[std::size_t(m.id)][std::size_t(slot)] =
                std::uint16_t(i + 1); // the first of that id and kind, as TypeInfo::find answers
    }
}

const MemberInfo *CallChecker::findSlow(const TypeInfo &info, DispId id, InvokeKind kind) {
    if (&info != indexed_ || std::to_address(info.members.cbegin()) != indexedBegin_ ||
        std::to_address(info.members.cend()) != indexedEnd_)
        buildIndex(info);
    const int slot = kindSlot(kind);
    if (id < 0 || std::size_t(id) >= byId_.size() || slot < 0)
        return info.find(id, kind);
    const std::uint16_t at = byId_[std::size_t(id)][std::size_t(slot)];
    return at ? indexedBegin_ + (at - 1) : nullptr;
}

void CallChecker::resetSpare() {
    spare_.assign(1, Variant());
}

Result<> CallChecker::convertedCopy(const MemberInfo &member, const std::vector<Variant> &args,
                                    std::vector<Variant> &out) {
    const std::size_t n = member.params.size();
    if (args.size() > n)
        return Result<>::fail(err::WrongArgumentCount);
    out.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        TRY(checkedArgument(member.params[i], i < args.size() ? &args[i] : nullptr, out[i]));
    return {};
}

Result<> CallChecker::convertInPlace(const MemberInfo &member, std::vector<Variant> &args) {
    const std::size_t n = member.params.size();
    const std::size_t given = args.size();
    if (given > n)
        return Result<>::fail(err::WrongArgumentCount);
    args.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        TRY(checkedArgument(member.params[i], i < given ? &args[i] : nullptr, args[i]));
    return {};
}

void CallChecker::writeBack(const MemberInfo &member, const std::vector<Variant> &checked,
                            std::vector<Variant> &args) {
    for (std::size_t i = 0; i < args.size() && i < checked.size(); ++i)
        if (member.params[i].byRef)
            args[i] = checked[i];
}

Error CallChecker::withSource(const Error &e, const QString &source) {
    Error r = e;
    r.source = source;
    return r;
}

template class Checked<NamedDispatch>;

void FunctionObject::on(DispId id, InvokeKind kind, Handler h) {
    handlers_.emplace_back(id, kind, std::move(h));
}

Result<> FunctionObject::invokeChecked(const MemberInfo &member, std::vector<Variant> &args) {
    for (auto &[id, kind, handler] : handlers_)
        if (id == member.id && kind == member.kind)
            return handler(args);
    return Result<>::fail(err::NoSuchMember, {}, errorSource());
}

} // namespace automation
