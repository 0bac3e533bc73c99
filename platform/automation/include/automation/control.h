// Hosting: what a container and a control give each other.
#pragma once

#include <QString>
#include <map>
#include <memory>

#include "automation/dispatch.h"

class QWidget;

namespace automation {

struct SizeTwips {
    int width = 0;
    int height = 0;
    bool operator==(const SizeTwips &) const = default;
};

// Compares property names as automation compares member names: ignoring case.
struct PropertyNameLess {
    bool operator()(const QString &a, const QString &b) const {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    }
};

// A control's stored properties, as the container keeps them between sessions.
// Names are case-insensitive ("animationinterval" finds "AnimationInterval");
// a write under another spelling replaces the entry and the bag keeps the
// spelling last written, so a control's save sets the spelling the text form
// carries.
class PropertyBag {
  public:
    using Entries = std::map<QString, Variant, PropertyNameLess>;

    // The stored value, or def when the bag has no entry of that name.
    Variant read(const QString &name, const Variant &def = {}) const;
    bool contains(const QString &name) const;
    // Writes the value; a value equal to def is stored as no entry at all.
    void write(const QString &name, const Variant &value, const Variant &def = {});
    void clear() { values_.clear(); }
    const Entries &values() const { return values_; }

    // Text form, one "Name = Type:Value" line per entry, Type I2, I4, Bool, R8
    // or BStr; fromText reads back exactly what toText wrote. R8 is written in
    // its shortest exact form ("R8:0.1", "R8:-0", "R8:3", "R8:inf"); BStr in
    // double quotes, escaped as ctlhost's quoted text is (\\, \", \n, \r, \t,
    // \0, and "\x" plus two hex digits for the other control characters),
    // a lone surrogate as "\u" plus four hex digits; all other text as UTF-8.
    QByteArray toText() const;
    // A line that does not read so fails with its line number; of two lines
    // naming one property the later counts.
    static Result<PropertyBag> fromText(const QByteArray &text);

  private:
    Entries values_;
};

// What the container offers a control.
class IControlSite {
  public:
    virtual ~IControlSite();
    // The containing form's automation object (by-name access to Visible, ...).
    virtual DispatchPtr container() = 0;
    // A persisted property changed (a designer marks its form as modified).
    virtual void propertyChanged(DispId id) = 0;
    // True at run time, False in a designer.
    virtual bool userMode() const = 0;
    // The window the control's own window is placed in (may be null).
    virtual QWidget *containerWidget() = 0;
};

// A control: a dispatch object with events, a site, persistence and a size.
class IControl : public IDispatch {
  public:
    virtual void setSite(IControlSite *site) { site_ = site; }
    IControlSite *site() const { return site_; }

    virtual Result<> initNew() { return {}; }
    virtual Result<> load(const PropertyBag &) { return {}; }
    virtual Result<> save(PropertyBag &) { return {}; }
    // The container proposes a size; the control answers the size it takes.
    virtual SizeTwips resize(SizeTwips proposed) { return proposed; }

    // Events: the control's event interface, and its sinks.
    virtual const TypeInfo *eventInfo() const { return nullptr; }
    void advise(IEventSink *sink) { events_.advise(sink); }
    void unadvise(IEventSink *sink) { events_.unadvise(sink); }

    // The control's own window, if it has one.
    virtual QWidget *window() { return nullptr; }

  protected:
    // Raises one of the events of eventInfo() to the sinks, checked as
    // EventSource::raise checks it: a mismatch is returned, no sink called.
    Result<> raiseEvent(DispId id, std::vector<Variant> &args) {
        return events_.raise(eventInfo(), id, args, errorSource());
    }
    Result<> raiseEvent(DispId id) {
        std::vector<Variant> none;
        return raiseEvent(id, none);
    }
    // Source text for the errors the runtime's checks return (event raising included).
    virtual QString errorSource() const { return typeInfo().name; }

  private:
    IControlSite *site_ = nullptr;
    EventSource events_;
};

extern template class Checked<IControl>;

// Base for controls implemented in C++: calls are checked as DispatchObject checks them.
class ControlObject : public Checked<IControl> {};

using ControlPtr = std::shared_ptr<IControl>;

} // namespace automation
