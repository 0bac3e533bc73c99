// The dispatch fast path behind Checked (automation/dispatch.h): the runtime's
// own, instantiated for DispatchObject here and for ControlObject in
// control.cpp.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "automation/dispatch.h"

namespace automation {

// The checks a Checked object (DispatchObject, ControlObject) makes before a
// call reaches it: the member found by dispatch id and kind (error 438 if
// none), the arguments brought to its parameters (see Checked). The members are
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

template <class Interface>
Checked<Interface>::Checked() : checker_(std::make_unique<CallChecker>()) {}

template <class Interface> Checked<Interface>::~Checked() = default;

template <class Interface>
Result<> Checked<Interface>::invoke(DispId id, InvokeKind kind, std::vector<Variant> &args) {
    return checker_->invoke(
        this->typeInfo(),
        id,
        kind,
        args,
        [this] { return this->errorSource(); },
        [this](const MemberInfo &m, std::vector<Variant> &a) { return invokeChecked(m, a); });
}

template <class Interface> Result<> Checked<Interface>::putValue(DispId id, Variant &value) {
    return checker_->put(
        this->typeInfo(),
        id,
        value,
        [this] { return this->errorSource(); },
        [this](const MemberInfo &m, std::vector<Variant> &a) { return invokeChecked(m, a); });
}

} // namespace automation
