// Hosting controls on a Qt form: the site a control gets from its container,
// the form's automation object, and a helper that creates a control by ProgID
// and keeps it placed, initialised and listened to.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "automation/control.h"
#include "automation/registry.h"

namespace windowing {

// The automation object of a form, as a control sees its container:
//   Visible (get/put, Bool)  shows or hides the form
//   Caption (get/put, BStr)  the form's window title
// Calls after the form is gone fail with "Object required" (424).
automation::DispatchPtr makeFormObject(QWidget *form);

// Dispatch ids of the form object's members.
constexpr automation::DispId FormDispIdVisible = 1;
constexpr automation::DispId FormDispIdCaption = -518;

// The site of one control on a form.
class FormSite : public automation::IControlSite {
  public:
    explicit FormSite(QWidget *form);

    automation::DispatchPtr container() override;
    void propertyChanged(automation::DispId id) override;
    bool userMode() const override { return userMode_; }
    QWidget *containerWidget() override { return form_; }

    // Run mode (true, the default) or design mode.
    void setUserMode(bool run) { userMode_ = run; }
    // Called with each property-change notification of the control.
    void setPropertyChangedHandler(std::function<void(automation::DispId)> handler) {
        onChanged_ = std::move(handler);
    }
    // The notifications so far; a designer counts the form as modified.
    const std::vector<automation::DispId> &changedProperties() const { return changed_; }
    bool modified() const { return !changed_.empty(); }
    void clearModified() { changed_.clear(); }

  private:
    QPointer<QWidget> form_;
    automation::DispatchPtr formObject_;
    bool userMode_ = true;
    std::function<void(automation::DispId)> onChanged_;
    std::vector<automation::DispId> changed_;
};

// A control created by ProgID (or "{CLSID}") on a form: sited, initialised new
// or loaded from a property bag, given its size, and with an event sink that
// hands every event to onEvent by name (the event interface's name, or
// "#<dispid>" for an event it does not list). Destroying it releases the
// control: the sink is unadvised and the site withdrawn.
class HostedControl {
  public:
    using EventHandler = std::function<void(const QString &name, automation::DispId id,
                                            std::vector<automation::Variant> &args)>;

    struct Options {
        const automation::PropertyBag *bag = nullptr; // load from it; initNew when null
        std::optional<automation::SizeTwips> size;    // proposed extent
        bool userMode = true;
        EventHandler onEvent;
        std::function<void(automation::DispId)> onPropertyChanged;
    };

    static automation::Result<std::unique_ptr<HostedControl>>
    create(QWidget *form, const QString &progIdOrClsid, Options options);
    ~HostedControl();
    HostedControl(const HostedControl &) = delete;
    HostedControl &operator=(const HostedControl &) = delete;

    const automation::ControlPtr &control() const { return control_; }
    FormSite &site() { return site_; }
    // The registration the control was created from.
    const automation::ClassRegistration &registration() const { return registration_; }

    // Proposes a size; returns the size the control took and fits its window to it.
    automation::SizeTwips resize(automation::SizeTwips proposed);
    automation::SizeTwips size() const { return size_; }
    automation::Result<> load(const automation::PropertyBag &bag);
    automation::Result<> save(automation::PropertyBag &bag);
    // The name of an event of this control ("#<dispid>" when not listed).
    QString eventName(automation::DispId id) const;

  private:
    class Sink;
    HostedControl(QWidget *form, automation::ControlPtr control,
                  automation::ClassRegistration registration);
    void placeWindow();

    FormSite site_;
    automation::ControlPtr control_;
    automation::ClassRegistration registration_;
    std::unique_ptr<Sink> sink_;
    automation::SizeTwips size_;
};

} // namespace windowing
