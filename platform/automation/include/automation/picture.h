// Picture objects: a dispatch object whose default member (dispid 0) is the
// picture's icon handle.
#pragma once

#include "automation/dispatch.h"

namespace automation {

class Picture : public DispatchObject {
  public:
    explicit Picture(std::uint32_t iconHandle) : handle_(iconHandle) {}
    std::uint32_t handle() const { return handle_; }
    const TypeInfo &typeInfo() const override;

  protected:
    Result<> invokeChecked(const MemberInfo &member, std::vector<Variant> &args) override;

  private:
    std::uint32_t handle_;
};

DispatchPtr makePicture(std::uint32_t iconHandle);

} // namespace automation
