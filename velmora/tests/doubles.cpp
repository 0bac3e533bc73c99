// Test doubles of the controls the panel hosts, served by one control library:
//   lumora.Lumorel            the icon control: AddToTray (hides the form when
//                             asked, as the real one does), DeleteFromTray,
//                             Handle, and the DoubleClick event
//   pellago.Pellagon          the balloon control: MessageType, ShowBalloonMessage
//   VelmoraTest.RefusingComm  a serial-port control that refuses to open a
//                             port that is already open (registered under
//                             MSCommLib.MSComm by the test that needs it)
// Each records every call; a test reads the record through the hidden member
// Calls (dispid 0x7001) and makes the icon raise DoubleClick with
// RaiseDoubleClick (0x7003).
#include <QStringList>

#include "automation/server.h"
#include "windowing/formsite.h"

namespace {

using namespace automation;

constexpr DispId Calls = 0x7001;
constexpr DispId ClearCalls = 0x7002;
constexpr DispId RaiseDoubleClick = 0x7003;

MemberInfo method(const char* name, DispId id, std::vector<ParamInfo> params = {})
{
    return {QString::fromLatin1(name), id, InvokeKind::Method, std::move(params), VarType::Empty, {}};
}
MemberInfo getter(const char* name, DispId id, VarType type)
{
    return {QString::fromLatin1(name), id, InvokeKind::PropertyGet, {}, type, {}};
}
MemberInfo putter(const char* name, DispId id, VarType type)
{
    return {QString::fromLatin1(name), id, InvokeKind::PropertyPut, {ParamInfo{QStringLiteral("value"), type}},
            VarType::Empty, {}};
}
ParamInfo param(const char* name, VarType type) { return ParamInfo{QString::fromLatin1(name), type}; }

QString show(const Variant& v)
{
    switch (v.type()) {
    case VarType::Bool: return v.boolean() ? QStringLiteral("True") : QStringLiteral("False");
    case VarType::BStr: return QLatin1Char('"') + v.bstr() + QLatin1Char('"');
    case VarType::Dispatch: {
        // A picture: its icon handle.
        const Result<> h = v.dispatch() ? v.dispatch()->get(DispIdValue) : Result<>();
        return QStringLiteral("picture:") + (h.ok() ? h.value().describe() : QStringLiteral("?"));
    }
    default: return v.describe();
    }
}

// Records "Member(arg, ...)" for methods and "Member=value" for puts.
class Recorder : public ControlObject {
protected:
    Result<> invokeChecked(const MemberInfo& m, std::vector<Variant>& args) override
    {
        if (m.id == Calls)
            return Variant(calls_.join(QLatin1Char('\n')));
        if (m.id == ClearCalls) {
            calls_.clear();
            return {};
        }
        if (m.kind == InvokeKind::PropertyPut) {
            calls_ << m.name + QLatin1Char('=') + show(args[0]);
        } else if (m.kind == InvokeKind::Method && m.id != RaiseDoubleClick) {
            QStringList shown;
            for (const Variant& a : args)
                shown << show(a);
            calls_ << m.name + QLatin1Char('(') + shown.join(QStringLiteral(", ")) + QLatin1Char(')');
        }
        return member(m, args);
    }
    virtual Result<> member(const MemberInfo& m, std::vector<Variant>& args) = 0;

    QStringList calls_;
};

class TrayDouble : public Recorder {
public:
    static constexpr std::int32_t HandleValue = 4242;

    const TypeInfo& typeInfo() const override
    {
        static const TypeInfo info{QStringLiteral("Lumorel"), QUuid(), {
            method("AddToTray", 0x60030005, {param("TrayIcon", VarType::Dispatch), param("TrayToolTipText", VarType::BStr),
                                             ParamInfo{QStringLiteral("HideWindow"), VarType::Bool, true, Variant::fromBool(false)}}),
            method("DeleteFromTray", 0x60030008),
            getter("Handle", 0x68030000, VarType::I4),
            getter("Calls", Calls, VarType::BStr),
            method("ClearCalls", ClearCalls),
            method("RaiseDoubleClick", RaiseDoubleClick, {param("Button", VarType::I4)}),
        }, {}};
        return info;
    }
    const TypeInfo* eventInfo() const override
    {
        static const TypeInfo info{QStringLiteral("LumorelEvents"), QUuid(), {},
                                   {EventInfo{QStringLiteral("DoubleClick"), 6,
                                              {ParamInfo{QStringLiteral("Button"), VarType::I4, false, {}, true}}}}};
        return &info;
    }

protected:
    Result<> member(const MemberInfo& m, std::vector<Variant>& args) override
    {
        switch (m.id) {
        case 0x60030005:
            if (args[2].boolean() && site())
                if (DispatchPtr form = site()->container())
                    return form->put(windowing::FormDispIdVisible, Variant::fromBool(false));
            return {};
        case 0x68030000:
            return Variant(HandleValue);
        case RaiseDoubleClick: {
            std::vector<Variant> eventArgs{args[0]};
            events().raise(6, eventArgs);
            return {};
        }
        }
        return {};
    }
};

class BalloonDouble : public Recorder {
public:
    const TypeInfo& typeInfo() const override
    {
        static const TypeInfo info{QStringLiteral("Pellagon"), QUuid(), {
            putter("MessageType", 0x68030000, VarType::I4),
            getter("MessageType", 0x68030000, VarType::I4),
            method("ShowBalloonMessage", 0x60030005, {param("Prompt", VarType::BStr), param("Title", VarType::BStr),
                                                      param("Handle", VarType::I4)}),
            getter("Calls", Calls, VarType::BStr),
            method("ClearCalls", ClearCalls),
        }, {}};
        return info;
    }

protected:
    Result<> member(const MemberInfo& m, std::vector<Variant>& args) override
    {
        if (m.id == 0x68030000) {
            if (m.kind == InvokeKind::PropertyPut)
                type_ = args[0].i4();
            return Variant(type_);
        }
        return {};
    }

private:
    std::int32_t type_ = 0;
};

// A serial port that exists (every number opens) and never sees a carrier,
// but refuses an open request while it is open.
class RefusingComm : public Recorder {
public:
    const TypeInfo& typeInfo() const override
    {
        static const TypeInfo info{QStringLiteral("IMSComm"), QUuid(), {
            getter("CDHolding", 1, VarType::Bool),
            getter("CommPort", 4, VarType::I2), putter("CommPort", 4, VarType::I2),
            putter("DTREnable", 9, VarType::Bool),
            getter("PortOpen", 20, VarType::Bool), putter("PortOpen", 20, VarType::Bool),
            putter("RTSEnable", 22, VarType::Bool),
            putter("Settings", 23, VarType::BStr),
            putter("Output", 25, VarType::Variant),
            getter("Calls", Calls, VarType::BStr),
            method("ClearCalls", ClearCalls),
        }, {}};
        return info;
    }

protected:
    Result<> member(const MemberInfo& m, std::vector<Variant>& args) override
    {
        const bool put = m.kind == InvokeKind::PropertyPut;
        switch (m.id) {
        case 1: return Variant::fromBool(false);
        case 4:
            if (!put)
                return Variant(port_);
            if (open_)
                return refuse(8000, QStringLiteral("port open"));
            port_ = args[0].i2();
            return {};
        case 20:
            if (!put)
                return Variant::fromBool(open_);
            if (args[0].boolean() && open_)
                return refuse(8005, QStringLiteral("port already open"));
            open_ = args[0].boolean();
            return {};
        case 25:
            if (!open_)
                return refuse(8018, QStringLiteral("port not open"));
            return {};
        }
        return {};
    }

private:
    Result<> refuse(std::int32_t number, const QString& text)
    {
        calls_.last() += QStringLiteral(" -> error %1").arg(number);
        return Result<>::fail(number, text, QStringLiteral("MSCommLib.MSComm"));
    }
    std::int16_t port_ = 1;
    bool open_ = false;
};

ClassRegistration registration(const char* clsid, const char* progId, const char* name)
{
    ClassRegistration reg;
    reg.clsid = QUuid(QString::fromLatin1(clsid));
    reg.progId = QString::fromLatin1(progId);
    reg.name = QString::fromLatin1(name);
    reg.miscStatus = 0x20400;   // invisible at run time
    return reg;
}

std::vector<ServedClass> classes()
{
    return {
        {registration("{6a1d2f9e-3b7c-4c58-9e0b-51d8a2c4e701}", "lumora.Lumorel", "Lumorel"),
         [] { return std::make_shared<TrayDouble>(); }},
        {registration("{6a1d2f9e-3b7c-4c58-9e0b-51d8a2c4e702}", "pellago.Pellagon", "Pellagon"),
         [] { return std::make_shared<BalloonDouble>(); }},
        {registration("{6a1d2f9e-3b7c-4c58-9e0b-51d8a2c4e703}", "VelmoraTest.RefusingComm", "RefusingComm"),
         [] { return std::make_shared<RefusingComm>(); }},
    };
}

} // namespace

VELMORA_CONTROL_SERVER(classes)
