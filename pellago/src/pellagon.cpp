// Pellagon: the dispatch interface, the balloon record, persistence and sizing.
#include "pellagon.h"

#include "about/aboutbox.h"
#include "automation/resources.h"
#include "log.h"
#include "shell/notifyicon.h"
#include "shell/records.h"
#include "windowing/handles.h"

Q_LOGGING_CATEGORY(lcPellago, "velmora.pellago", QtWarningMsg)

using namespace automation;
namespace rec = shell::balloon_record;
namespace icon = shell::icon_record;

namespace pellago {

namespace {

constexpr std::uint32_t IconId = 1; // the icon the owner registered
const QString MessageTypeKey = QStringLiteral("MessageType");

} // namespace

const QString Pellagon::ProgId = QStringLiteral("pellago.Pellagon");

const TypeLibrary &Pellagon::library() {
    static const TypeLibrary lib = [] {
        Result<TypeLibrary> own = ownTypeLibrary();
        if (!own)
            qCCritical(lcPellago) << "the library's type library is unreadable:"
                                  << own.error().description;
        return own.value_or(TypeLibrary{});
    }();
    return lib;
}

Pellagon::Pellagon()
    : TrayControl(library(), ProgId, QStringLiteral("Pellagon"), facePicture),
      notifyData_(rec::Size, '\0') {}

Result<> Pellagon::invokeChecked(const MemberInfo &m, std::vector<Variant> &a) {
    switch (m.id) {
    case DispIdAboutBox:
        return about::showAboutBox(
            {QStringLiteral("Pellagon 1.0"), QStringLiteral(" for Windows Me/2000/XP")});
    case dispid::MessageType:
        if (m.kind == InvokeKind::PropertyGet)
            return Variant(messageType_);
        // Any value is kept and later sent as the balloon's icon flags.
        messageType_ = a[0].i4();
        if (site())
            site()->propertyChanged(m.id);
        return {};
    case dispid::ShowBalloonMessage:
        showBalloonMessage(a[0].bstr(), a[1].bstr(), a[2].i4());
        return {};
    }
    return Result<>::fail(err::NoSuchMember, {}, ProgId);
}

// Only the header, the two texts and the icon flags are ever written; every
// other field of the record stays zero. The shell's answer is not examined: a
// handle with no icon 1 shows nothing and the call still succeeds.
void Pellagon::showBalloonMessage(const QString &prompt, const QString &title,
                                  std::int32_t handle) {
    shell::writeU32(notifyData_, icon::CbSize, rec::Size);
    shell::writeU32(notifyData_, icon::Window, std::uint32_t(handle));
    shell::writeU32(notifyData_, icon::Id, IconId);
    shell::writeU32(notifyData_, icon::Flags, rec::InfoFlag);
    shell::writeU32(notifyData_, rec::InfoFlags, std::uint32_t(messageType_));
    shell::writeTextField(notifyData_, rec::Info, rec::InfoWidth, prompt);
    shell::writeTextField(notifyData_, rec::InfoTitle, rec::InfoTitleWidth, title);
    if (const Result<> shown = shell::notifyIconResult(shell::Operation::Modify, notifyData_);
        !shown)
        qCDebug(lcPellago) << "no balloon over icon 1 of window" << handle << ":"
                           << shown.error().description;
}

Result<> Pellagon::load(const PropertyBag &bag) {
    const Result<Variant> stored =
        bag.read(MessageTypeKey, Variant(std::int32_t(0))).convert(VarType::I4);
    if (!stored)
        return Error{stored.error().number, stored.error().description, ProgId};
    messageType_ = stored->i4();
    return {};
}

Result<> Pellagon::save(PropertyBag &bag) {
    bag.write(MessageTypeKey, Variant(messageType_), Variant(std::int32_t(0)));
    return {};
}

} // namespace pellago
