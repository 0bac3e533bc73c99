// Lumorel: construction, the dispatch interface, the icon record and the four
// shell methods, persistence and sizing.
#include "lumorel.h"

#include <QWidget>

#include "about/aboutbox.h"
#include "automation/resources.h"
#include "log.h"
#include "shell/mousemessages.h"
#include "shell/records.h"

Q_LOGGING_CATEGORY(lcLumora, "velmora.lumora", QtWarningMsg)

using namespace automation;
namespace rec = shell::icon_record;

namespace lumora {

namespace {

constexpr std::uint32_t IconId = 1;
constexpr std::uint32_t CallbackMessage =
    shell::mouse::Move; // the shell's notifications arrive as mouse moves
constexpr std::int32_t DefaultInterval = 200;
const QString IntervalKey = QStringLiteral("AnimationInterval");

} // namespace

const QString Lumorel::ProgId = QStringLiteral("lumora.Lumorel");

const TypeLibrary &Lumorel::library() {
    static const TypeLibrary lib = [] {
        Result<TypeLibrary> own = ownTypeLibrary();
        if (!own)
            qCCritical(lcLumora) << "the library's type library is unreadable:"
                                 << own.error().description;
        return own.value_or(TypeLibrary{});
    }();
    return lib;
}

Lumorel::Lumorel()
    : TrayControl(library(), ProgId, QStringLiteral("Lumorel"), facePicture),
      messages_(new windowing::MessageWindow(window_)), notifyData_(rec::Size, '\0') {
    messages_->onMouseMessage = [this](int, int, double xTwips, double) {
        mouseMessage(xTwips);
    };
    tmrAnima_.setInterval(DefaultInterval);
    tmrAnima_.onTimer = [this] {
        tick();
    };
}

windowing::WindowHandle Lumorel::handle() const {
    return messages_ ? messages_->handle() : 0;
}

Result<> Lumorel::invokeChecked(const MemberInfo &m, std::vector<Variant> &a) {
    switch (m.id) {
    case DispIdAboutBox:
        return about::showAboutBox(
            {QStringLiteral("Lumorel 3.0"), QStringLiteral(" for Windows 9x/Me/NT/2000/XP")});
    case dispid::AddToTray:
        return trapped("AddToTray", addToTray(a[0], a[1].bstr(), a[2].boolean()));
    case dispid::ModifyTrayIcon:
        return trapped("ModifyTrayIcon", modifyTrayIcon(a[0], a[1].bstr()));
    case dispid::ReturnTrayIcon:
        return trapped("ReturnTrayIcon", returnTrayIcon());
    case dispid::DeleteFromTray:
        return trapped("DeleteFromTray", deleteFromTray());
    case dispid::StartAnimation:
        return startAnimation(a[0].i4(), a[1].i4());
    case dispid::PauseAnimation:
        return pauseAnimation();
    case dispid::StopAnimation:
        return stopAnimation(a[0].boolean());
    case dispid::AnimationInterval:
        if (m.kind == InvokeKind::PropertyGet)
            return Variant(std::int32_t(tmrAnima_.interval()));
        TRY(setAnimationInterval(a[0].i4()));
        if (site())
            site()->propertyChanged(m.id);
        return {};
    case dispid::Handle:
        return Variant(std::int32_t(handle()));
    }
    return Result<>::fail(err::NoSuchMember, {}, ProgId);
}

// A failure while a shell method ran becomes its Error event; the caller sees
// success. What the host writes into the event's arguments is not read back.
Result<> Lumorel::trapped(const char *method, const Result<> &outcome) {
    if (outcome)
        return {};
    std::vector<Variant> args{Variant(outcome.error().number),
                              Variant(outcome.error().description),
                              Variant(QStringLiteral("lumora.") + QLatin1String(method))};
    (void)raiseLogged(dispid::ErrorEvent, args);
    return {};
}

Result<> Lumorel::raiseLogged(DispId event, std::vector<Variant> &args) {
    Result<> raised = raiseEvent(event, args);
    if (!raised)
        qCWarning(lcLumora) << "event" << int(event) << "not raised:" << raised.error().description;
    return raised;
}

// Fills the record as each method but DeleteFromTray does, field by field, so
// that a picture whose handle cannot be read leaves the fields before it set.
// With no picture, the icon and tip of the last AddToTray go in.
Result<> Lumorel::fillRecord(const Variant *icon, QStringView tip) {
    shell::writeU32(notifyData_, rec::CbSize, rec::Size);
    shell::writeU32(notifyData_, rec::Window, handle());
    savedWnd_ = handle();
    shell::writeU32(notifyData_, rec::Id, IconId);
    shell::writeU32(notifyData_, rec::Flags, rec::MessageFlag | rec::IconFlag | rec::TipFlag);
    shell::writeU32(notifyData_, rec::CallbackMessage, CallbackMessage);
    const std::uint32_t hIcon = icon ? std::uint32_t(TRY(icon->toI4())) : savedIcon_;
    shell::writeU32(notifyData_, rec::Icon, hIcon);
    shell::writeTextField(notifyData_, rec::Tip, rec::TipWidth, tip);
    return {};
}

// The shell's answer is not examined: a refused record raises the success
// event all the same.
void Lumorel::callShell(shell::Operation op) {
    (void)shell::notifyIcon(op, notifyData_);
}

Result<> Lumorel::addToTray(const Variant &icon, const QString &tip, bool hideWindow) {
    std::vector<Variant> visible{Variant::fromBool(!hideWindow)};
    const DispatchPtr form = site() ? site()->container() : nullptr;
    if (!form)
        return Result<>::fail(err::ObjectRequired);
    TRY(form->callByName(QStringLiteral("Visible"), InvokeKind::PropertyPut, visible));
    TRY(fillRecord(&icon, tip));
    savedIcon_ = windowing::IconHandle(TRY(icon.toI4()));
    savedTip_ = tip + QChar(u'\0');
    callShell(shell::Operation::Add);
    std::vector<Variant> none;
    return raiseLogged(dispid::AddIconEvent, none);
}

Result<> Lumorel::modifyTrayIcon(const Variant &icon, const QString &tip) {
    TRY(fillRecord(&icon, tip));
    callShell(shell::Operation::Modify);
    std::vector<Variant> none;
    return raiseLogged(dispid::ModifyconEvent, none);
}

Result<> Lumorel::returnTrayIcon() {
    TRY(fillRecord(nullptr, QStringView(savedTip_).chopped(savedTip_.isEmpty() ? 0 : 1)));
    callShell(shell::Operation::Modify);
    std::vector<Variant> none;
    return raiseLogged(dispid::ReturnIconEvent, none);
}

// Names the window of the last add, modify or return; the other fields keep
// what the last call left in them.
Result<> Lumorel::deleteFromTray() {
    shell::writeU32(notifyData_, rec::CbSize, rec::Size);
    shell::writeU32(notifyData_, rec::Window, savedWnd_);
    shell::writeU32(notifyData_, rec::Id, IconId);
    callShell(shell::Operation::Delete);
    std::vector<Variant> none;
    return raiseLogged(dispid::DeleteIconEvent, none);
}

Result<> Lumorel::load(const PropertyBag &bag) {
    const Result<Variant> stored =
        bag.read(IntervalKey, Variant(DefaultInterval)).convert(VarType::I4);
    if (!stored)
        return Error{stored.error().number, stored.error().description, ProgId};
    return setAnimationInterval(stored->i4());
}

Result<> Lumorel::save(PropertyBag &bag) {
    bag.write(IntervalKey, Variant(std::int32_t(tmrAnima_.interval())), Variant(DefaultInterval));
    return {};
}

} // namespace lumora
