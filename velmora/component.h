// A control the main window hosts, created by ProgID and called by dispatch id.
//
// A control that cannot be created (its library is not installed or not
// registered) is reported once on stderr by reportIfMissing(); from then on
// every call on it does nothing and returns an empty value, so the rest of the
// panel keeps working without it. Calls listed with failWhenMissing are the
// exception: they fail with the creation error, for a caller whose trap has a
// sensible answer to it (the serial port's open and output).
#pragma once

#include <QString>
#include <initializer_list>
#include <memory>
#include <set>
#include <vector>

#include "automation/dispatch.h"
#include "automation/result.h"
#include "windowing/formsite.h"

class QWidget;

namespace velmora {

class Component {
  public:
    using EventHandler = windowing::HostedControl::EventHandler;

    Component(QString name, QString progId) : name_(std::move(name)), progId_(std::move(progId)) {}

    // Creates the control on `form`; events go to onEvent. Fails with the
    // reason when the control cannot be created; the component then stands in
    // for it as described above, and creationError() keeps the reason.
    automation::Result<> create(QWidget *form, EventHandler onEvent = {});
    // Says on stderr, once, that the control could not be created.
    void reportIfMissing();
    // Releases the control (its sink and site go with it).
    void release();

    void failWhenMissing(std::initializer_list<automation::DispId> putIds) { failing_ = putIds; }

    bool available() const { return hosted_ != nullptr; }
    const QString &name() const { return name_; }
    const QString &progId() const { return progId_; }
    automation::ControlPtr control() const;
    const automation::Error &creationError() const { return creationError_; }

    automation::Result<> put(automation::DispId id, automation::Variant value);
    automation::Result<> get(automation::DispId id);
    automation::Result<> call(automation::DispId id, std::vector<automation::Variant> args = {});

  private:
    QString name_;
    QString progId_;
    std::unique_ptr<windowing::HostedControl> hosted_;
    automation::Error creationError_;
    std::set<automation::DispId> failing_;
    bool reported_ = false;
};

} // namespace velmora
