#include "automation/picture.h"

namespace automation {

const TypeInfo &Picture::typeInfo() const {
    static const TypeInfo info{
        QStringLiteral("Picture"),
        QUuid(QStringLiteral("{e522b58a-a0a8-4814-8425-262c6449232b}")),
        {MemberInfo{
            QStringLiteral("Handle"), DispIdValue, InvokeKind::PropertyGet, {}, VarType::I4, {}}},
        {}};
    return info;
}

Result<> Picture::invokeChecked(const MemberInfo &, std::vector<Variant> &) {
    return Variant(static_cast<std::int32_t>(handle_));
}

DispatchPtr makePicture(std::uint32_t iconHandle) {
    return std::make_shared<Picture>(iconHandle);
}

} // namespace automation
