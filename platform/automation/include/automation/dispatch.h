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

// The state of the checks a call passes before it reaches a Checked object
// (the runtime's own).
class CallChecker;

// Base for objects implemented in C++: checks a call against the type
// information before it reaches the object. An unknown dispid or kind is error
// 438, a missing required argument 449, too many arguments 450, an argument of
// the wrong type 13; omitted optional arguments get their recorded default and
// every argument arrives converted to its parameter's type. By-reference
// arguments are written back into the caller's list after the call.
// `Interface` gives errorSource(), the source of the checks' errors.
template <class Interface> class __attribute__((visibility("default"))) Checked : public Interface {
  public:
    Checked();
    ~Checked() override;
    Checked(const Checked &) = delete;
    Checked &operator=(const Checked &) = delete;

    Result<> invoke(DispId id, InvokeKind kind, std::vector<Variant> &args) final;

  protected:
    Result<> putValue(DispId id, Variant &value) final;
    // Called with a checked, complete and converted argument list.
    virtual Result<> invokeChecked(const MemberInfo &member, std::vector<Variant> &args) = 0;

  private:
    std::unique_ptr<CallChecker> checker_;
};

// A dispatch object that names itself in the errors of its checks.
class NamedDispatch : public IDispatch {
  protected:
    // Source text for errors raised by the checks, e.g. "MSCommLib.MSComm".
    virtual QString errorSource() const { return typeInfo().name; }
};

extern template class Checked<NamedDispatch>;

class DispatchObject : public Checked<NamedDispatch> {};

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
