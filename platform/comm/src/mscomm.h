// The serial-port control (class MSComm, ProgID MSCommLib.MSComm).
#pragma once

#include <QUuid>
#include <memory>

#include "automation/control.h"
#include "comm/lines.h"

namespace comm {

class LineTrace;

class MSComm : public automation::ControlObject {
  public:
    static const QUuid Clsid;
    static const QString ProgId;

    MSComm();
    ~MSComm() override;

    static const automation::TypeInfo &info();
    const automation::TypeInfo &typeInfo() const override { return info_; }

  protected:
    automation::Result<> invokeChecked(const automation::MemberInfo &member,
                                       std::vector<automation::Variant> &args) override;
    QString errorSource() const override { return ProgId; }

  private:
    automation::Result<> fail(std::int32_t number, const QString &description) const;
    // A line's failure as the control's: the port named, the source set.
    automation::Result<> onPort(automation::Result<> r) const;
    // The same for a step of opening the port, which names its file itself.
    template <class T> automation::Result<T> inPort(automation::Result<T> r) const {
        if (r)
            return r;
        return automation::Error{r.error().number, r.error().description, ProgId};
    }

    // A property get; the puts are invokeChecked's.
    automation::Result<> property(automation::DispId id);
    automation::Result<> putPort(std::int16_t port);
    automation::Result<> openPort();
    void closePort();
    automation::Result<> putSettings(const QString &text);
    automation::Result<> output(const automation::Variant &value);
    void setLine(bool rts, bool on);
    bool carrier();

    const automation::TypeInfo &info_ = info(); // asked at every call
    std::unique_ptr<LineBackend> line_;         // set while the port is open
    std::shared_ptr<LineTrace> trace_;          // kept: a reopen continues the file
    std::int16_t port_ = 1;
    int baud_ = 9600;
    bool rts_ = false;
    bool dtr_ = false;
};

} // namespace comm
