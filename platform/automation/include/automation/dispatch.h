// Objects called by dispatch id, and the events they raise.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "automation/result.h"
#include "automation/typeinfo.h"

namespace automation {

// An object callable late-bound: by dispatch id as a method, property get or
// property put. Arguments are in call order; by-reference arguments are
// written back into args.
class IDispatch {
  public:
    virtual ~IDispatch();
    virtual const TypeInfo &typeInfo() const = 0;
    virtual Result<> invoke(DispId id, InvokeKind kind, std::vector<Variant> &args) = 0;

    std::optional<DispId> idOfName(const QString &name) const { return typeInfo().idOfName(name); }

    // Shorthands for hosts.
    Result<> call(DispId id, std::vector<Variant> args = {});
    Result<> get(DispId id);
    Result<> put(DispId id, Variant value) { return putValue(id, value); }
    Result<> callByName(const QString &name, InvokeKind kind, std::vector<Variant> &args);

  protected:
    // A property put of a value that is the object's own: no caller sees
    // what becomes of it. By default a list of one argument, invoked.
    virtual Result<> putValue(DispId id, Variant &value);
};

// Receives the events of a control, synchronously, with every parameter by
// reference: what the sink writes into args is seen by the raiser.
class IEventSink {
  public:
    virtual ~IEventSink();
    virtual void onEvent(DispId id, std::vector<Variant> &args) = 0;
};

// Holds the sinks of one object and raises events to them.
class EventSource {
  public:
    void advise(IEventSink *sink);
    void unadvise(IEventSink *sink);
    // Raises event `id` of the event interface `events`, after checking the
    // arguments against its type information: an event the interface does not
    // have (or no interface) is error 438, an argument count other than the
    // declared one 450, an argument whose type is not its parameter's declared
    // type 13 (no conversion: parameters are by reference, so the raiser passes
    // its own variable of that type; a Variant parameter takes any value). On
    // a mismatch no sink is called and the error, with `source`, is returned.
    // Otherwise each sink in turn, in the order they were advised; a sink that
    // unadvises during the event is not called again.
    Result<> raise(const TypeInfo *events, DispId id, std::vector<Variant> &args,
                   const QString &source = {});
    bool hasSinks() const { return !sinks_.empty(); }

  private:
    std::vector<IEventSink *> sinks_;
};

// The checks DispatchObject and ControlObject make before a call reaches the
// object: the member found by dispatch id and kind (error 438 if none), the
// arguments brought to its parameters (see DispatchObject). The members are
// found through an index by dispatch id, made at the first call from the
// object's type information, which stays the same for the object's life.
// A property put needs no list of its own per call: its value is the put's,
// converted in place, in a list kept between puts.
class CallChecker {
  public:
    // `source()` gives the errors' source (asked only on a failure); `body`
    // is called with a checked, complete and converted copy of args, whose
    // by-reference arguments are then written back into args; what body does
    // to a by-value argument stays with body.
    template <class Source, class Body>
    Result<> invoke(const TypeInfo &info, DispId id, InvokeKind kind, std::vector<Variant> &args,
                    const Source &source, const Body &body) {
        const MemberInfo *member = find(info, id, kind);
        if (!member)
            return Result<>::fail(err::NoSuchMember, {}, source());
        std::vector<Variant> checked;
        if (Result<> converted = convertedCopy(*member, args, checked); !converted)
            return withSource(converted.error(), source());
        Result<> r = body(*member, checked);
        writeBack(*member, checked, args);
        return r;
    }

    // A property put of `value`, which the put owns. Inlined into the
    // object's put: a command word is some thirty of them.
    template <class Source, class Body>
    [[gnu::always_inline]] Result<> put(const TypeInfo &info, DispId id, Variant &value,
                                        const Source &source, const Body &body) {
        const MemberInfo *member = find(info, id, InvokeKind::PropertyPut);
        if (!member)
            return Result<>::fail(err::NoSuchMember, {}, source());
        if (putting_ || spare_.size() != 1 || !asDeclared(*member, value))
            return putInOwnList(*member, value, source, body);
        // The usual put: the value goes to the object in the list kept for
        // puts, which holds one argument between them.
        const Putting putting(*this);
        spare_.front() = std::move(value);
        return body(*member, spare_);
    }

  private:
    // The usual put: one parameter, and a value given, of its type.
    static bool asDeclared(const MemberInfo &member, const Variant &value) {
        if (member.params.size() != 1 || value.isMissing())
            return false;
        const VarType declared = member.params.front().type;
        return declared == VarType::Variant || declared == value.type();
    }

    // A put made from inside another (an event handler's), one whose value
    // needs converting, or the first: a list of its own.
    template <class Source, class Body>
    Result<> putInOwnList(const MemberInfo &member, Variant &value, const Source &source,
                          const Body &body) {
        if (!putting_)
            spare_.resize(1); // for the puts to come
        std::vector<Variant> args(1);
        args.front() = std::move(value);
        if (Result<> converted = convertInPlace(member, args); !converted)
            return withSource(converted.error(), source());
        return body(member, args);
    }

    // Marks the put's list in use; then leaves it as it was: one argument,
    // holding no string or object beyond the put.
    struct Putting {
        explicit Putting(CallChecker &c) : checker(c) { checker.putting_ = true; }
        ~Putting() {
            checker.putting_ = false;
            if (checker.spare_.size() != 1 || checker.spare_.front().type() >= VarType::BStr)
                checker.resetSpare();
        }
        CallChecker &checker;
    };
    void resetSpare();

    const MemberInfo *find(const TypeInfo &info, DispId id, InvokeKind kind) {
        const auto at = std::size_t(id);
        if (&info == indexed_ && std::to_address(info.members.cbegin()) == indexedBegin_ &&
            std::to_address(info.members.cend()) == indexedEnd_ && at < byId_.size()) {
            const int slot = kindSlot(kind);
            if (slot >= 0) {
                const std::uint16_t position = byId_[at][std::size_t(slot)];
                return position ? indexedBegin_ + (position - 1) : nullptr;
            }
        }
        return findSlow(info, id, kind);
    }
    static int kindSlot(InvokeKind kind) {
        switch (kind) {
        case InvokeKind::Method:
            return 0;
        case InvokeKind::PropertyGet:
            return 1;
        case InvokeKind::PropertyPut:
            return 2;
        }
        return -1;
    }
    const MemberInfo *findSlow(const TypeInfo &info, DispId id, InvokeKind kind);
    void buildIndex(const TypeInfo &info);
    static Result<> convertedCopy(const MemberInfo &member, const std::vector<Variant> &args,
                                  std::vector<Variant> &out);
    static Result<> convertInPlace(const MemberInfo &member, std::vector<Variant> &args);
    static void writeBack(const MemberInfo &member, const std::vector<Variant> &checked,
                          std::vector<Variant> &args);
    static Error withSource(const Error &e, const QString &source);

    // Members' positions + 1 (0: none) by dispatch id from 0, one per kind
    // (method, property get, property put); other ids are looked up in turn.
    std::vector<std::array<std::uint16_t, 3>> byId_;
    const TypeInfo *indexed_ = nullptr;
    const MemberInfo *indexedBegin_ = nullptr;
    const MemberInfo *indexedEnd_ = nullptr;
    std::vector<Variant> spare_; // one argument, once a put was made
    bool putting_ = false;
};

// Base for objects implemented in C++: checks a call against the type
// information before it reaches the object. An unknown dispid or kind is error
// 438, a missing required argument 449, too many arguments 450, an argument of
// the wrong type 13; omitted optional arguments get their recorded default and
// every argument arrives converted to its parameter's type.
class DispatchObject : public IDispatch {
  public:
    Result<> invoke(DispId id, InvokeKind kind, std::vector<Variant> &args) final {
        return checker_.invoke(
            typeInfo(),
            id,
            kind,
            args,
            [this] { return errorSource(); },
            [this](const MemberInfo &m, std::vector<Variant> &a) { return invokeChecked(m, a); });
    }

  protected:
    Result<> putValue(DispId id, Variant &value) final {
        return checker_.put(
            typeInfo(),
            id,
            value,
            [this] { return errorSource(); },
            [this](const MemberInfo &m, std::vector<Variant> &a) { return invokeChecked(m, a); });
    }
    // Called with a checked, complete and converted argument list.
    virtual Result<> invokeChecked(const MemberInfo &member, std::vector<Variant> &args) = 0;
    // Source text for errors raised by the checks, e.g. "MSCommLib.MSComm".
    virtual QString errorSource() const { return typeInfo().name; }

  private:
    CallChecker checker_;
};

// An object whose members are plain functions; handy for test doubles and forms.
class FunctionObject : public DispatchObject {
  public:
    using Handler = std::function<Result<>(std::vector<Variant> &args)>;
    explicit FunctionObject(TypeInfo info) : info_(std::move(info)) {}
    void on(DispId id, InvokeKind kind, Handler h);
    const TypeInfo &typeInfo() const override { return info_; }

  protected:
    Result<> invokeChecked(const MemberInfo &member, std::vector<Variant> &args) override;

  private:
    TypeInfo info_;
    std::vector<std::tuple<DispId, InvokeKind, Handler>> handlers_;
};

} // namespace automation
