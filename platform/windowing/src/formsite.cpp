#include "windowing/formsite.h"

#include "automation/server.h"
#include "windowing/handles.h"

#include "logging.h"

namespace windowing {

using namespace automation;

namespace {

constexpr std::uint32_t MiscInvisibleAtRuntime = 0x400;

const TypeInfo &formTypeInfo() {
    static const TypeInfo info{QStringLiteral("Form"),
                               QUuid(),
                               {
                                   MemberInfo{QStringLiteral("Visible"),
                                              FormDispIdVisible,
                                              InvokeKind::PropertyGet,
                                              {},
                                              VarType::Bool,
                                              {}},
                                   MemberInfo{QStringLiteral("Visible"),
                                              FormDispIdVisible,
                                              InvokeKind::PropertyPut,
                                              {ParamInfo{QStringLiteral("Value"), VarType::Bool}},
                                              VarType::Empty,
                                              {}},
                                   MemberInfo{QStringLiteral("Caption"),
                                              FormDispIdCaption,
                                              InvokeKind::PropertyGet,
                                              {},
                                              VarType::BStr,
                                              {}},
                                   MemberInfo{QStringLiteral("Caption"),
                                              FormDispIdCaption,
                                              InvokeKind::PropertyPut,
                                              {ParamInfo{QStringLiteral("Value"), VarType::BStr}},
                                              VarType::Empty,
                                              {}},
                               },
                               {}};
    return info;
}

} // namespace

DispatchPtr makeFormObject(QWidget *form) {
    auto obj = std::make_shared<FunctionObject>(formTypeInfo());
    QPointer<QWidget> w(form);
    auto gone = [] {
        return Result<>::fail(err::ObjectRequired, {}, QStringLiteral("Form"));
    };
    obj->on(FormDispIdVisible, InvokeKind::PropertyGet, [w, gone](std::vector<Variant> &) {
        return w ? Result<>(Variant::fromBool(w->isVisible())) : gone();
    });
    obj->on(FormDispIdVisible, InvokeKind::PropertyPut, [w, gone](std::vector<Variant> &a) {
        if (!w)
            return gone();
        w->setVisible(a[0].boolean());
        return Result<>();
    });
    obj->on(FormDispIdCaption, InvokeKind::PropertyGet, [w, gone](std::vector<Variant> &) {
        return w ? Result<>(Variant(w->windowTitle())) : gone();
    });
    obj->on(FormDispIdCaption, InvokeKind::PropertyPut, [w, gone](std::vector<Variant> &a) {
        if (!w)
            return gone();
        w->setWindowTitle(a[0].bstr());
        return Result<>();
    });
    return obj;
}

FormSite::FormSite(QWidget *form) : form_(form) {}

DispatchPtr FormSite::container() {
    if (!formObject_)
        formObject_ = makeFormObject(form_);
    return formObject_;
}

void FormSite::propertyChanged(DispId id) {
    changed_.push_back(id);
    if (onChanged_)
        onChanged_(id);
}

// ---------------------------------------------------------------------------

class HostedControl::Sink : public IEventSink {
  public:
    Sink(HostedControl *owner, EventHandler handler)
        : owner_(owner), handler_(std::move(handler)) {}
    void onEvent(DispId id, std::vector<Variant> &args) override {
        if (handler_)
            handler_(owner_->eventName(id), id, args);
    }

  private:
    HostedControl *owner_;
    EventHandler handler_;
};

HostedControl::HostedControl(QWidget *form, ControlPtr control, ClassRegistration registration)
    : site_(form), control_(std::move(control)), registration_(std::move(registration)) {}

Result<std::unique_ptr<HostedControl>>
HostedControl::create(QWidget *form, const QString &progIdOrClsid, Options options) {
    // Looked up once: the registration gives the control and its misc status.
    ClassRegistration reg = TRY(findClass(progIdOrClsid));
    ControlPtr control = TRY(createObject(reg));
    qCDebug(lcWindowing).noquote() << "hosting" << progIdOrClsid << "from" << reg.library;

    std::unique_ptr<HostedControl> h(new HostedControl(form, control, std::move(reg)));
    h->site_.setUserMode(options.userMode);
    h->site_.setPropertyChangedHandler(std::move(options.onPropertyChanged));
    // The site comes first: a control may ask its container during
    // initialisation. Events raised while it loads reach the handler.
    control->setSite(&h->site_);
    h->sink_ = std::make_unique<Sink>(h.get(), std::move(options.onEvent));
    control->advise(h->sink_.get());
    TRY(options.bag ? control->load(*options.bag) : control->initNew());
    h->size_ = options.size ? control->resize(*options.size) : SizeTwips{};
    h->placeWindow();
    return h;
}

HostedControl::~HostedControl() {
    if (control_) {
        control_->unadvise(sink_.get());
        control_->setSite(nullptr);
    }
}

void HostedControl::placeWindow() {
    QWidget *w = control_->window();
    QWidget *form = site_.containerWidget();
    if (!w)
        return;
    if (form && w->parentWidget() != form && w != form)
        w->setParent(form);
    if (size_.width > 0 && size_.height > 0)
        w->resize(twipsToPixels(size_.width), twipsToPixels(size_.height));
    const bool hidden = site_.userMode() && (registration_.miscStatus & MiscInvisibleAtRuntime);
    w->setVisible(!hidden);
}

SizeTwips HostedControl::resize(SizeTwips proposed) {
    size_ = control_->resize(proposed);
    placeWindow();
    return size_;
}

Result<> HostedControl::load(const PropertyBag &bag) {
    return control_->load(bag);
}

Result<> HostedControl::save(PropertyBag &bag) {
    return control_->save(bag);
}

QString HostedControl::eventName(DispId id) const {
    if (const TypeInfo *info = control_->eventInfo())
        if (const EventInfo *ev = info->findEvent(id))
            return ev->name;
    return QStringLiteral("#%1").arg(id);
}

} // namespace windowing
