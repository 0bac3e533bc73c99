// Doubles of the controls the panel hosts, in one control library:
//   lumora.Lumorel    the icon: AddToTray (hides the form when asked), DeleteFromTray, Handle
//   pellago.Pellagon  the balloon tips: MessageType, ShowBalloonMessage
//   a serial port     every number opens, no carrier, an open port refuses an open
//                     request; its ProgID is $VELMORA_DOUBLES_COMM_PROGID at registration
// Every call is recorded in order ("Tray.DeleteFromTray()", "MSComm.RTSEnable=True")
// and read by the test through the exported functions at the end.
#include <QStringList>

#include "automation/server.h"
#include "windowing/formsite.h"

namespace {

using namespace automation;

QStringList record;

MemberInfo member(const char* name, DispId id, InvokeKind kind, std::vector<VarType> params = {})
{
    MemberInfo m{QString::fromLatin1(name), id, kind, {}, kind == InvokeKind::PropertyGet ? VarType::Variant : VarType::Empty, {}};
    for (VarType t : params)
        m.params.push_back(ParamInfo{QStringLiteral("p%1").arg(m.params.size()), t});
    return m;
}
constexpr auto Get = InvokeKind::PropertyGet, Put = InvokeKind::PropertyPut, Call = InvokeKind::Method;

QString show(const Variant& v)
{
    if (v.type() == VarType::Bool)
        return v.boolean() ? QStringLiteral("True") : QStringLiteral("False");
    if (v.type() == VarType::BStr)
        return QLatin1Char('"') + v.bstr() + QLatin1Char('"');
    if (v.type() == VarType::Dispatch && v.dispatch())   // a picture: its handle
        return QStringLiteral("picture:") + v.dispatch()->get(DispIdValue).value().describe();
    return v.describe();
}

class Double : public ControlObject {
public:
    Double(const char* name, std::vector<MemberInfo> members) : info_{QString::fromLatin1(name), QUuid(), std::move(members), {}} {}
    const TypeInfo& typeInfo() const override { return info_; }

protected:
    Result<> invokeChecked(const MemberInfo& m, std::vector<Variant>& args) override
    {
        QStringList shown;
        for (const Variant& a : args)
            shown << show(a);
        const QString call = info_.name + QLatin1Char('.') + m.name;
        if (m.kind == Put)
            record << call + QLatin1Char('=') + shown.join(QString());
        else if (m.kind == Call)
            record << call + QLatin1Char('(') + shown.join(QStringLiteral(", ")) + QLatin1Char(')');
        Result<> r = act(m.name, args);
        if (!r.ok())
            record.last() += QStringLiteral(" -> error");
        return r;
    }
    virtual Result<> act(const QString& name, std::vector<Variant>& args) = 0;
    TypeInfo info_;
};

class Tray : public Double {
public:
    Tray() : Double("Tray", {member("AddToTray", 0x60030005, Call, {VarType::Dispatch, VarType::BStr, VarType::Bool}),
                             member("DeleteFromTray", 0x60030008, Call), member("Handle", 0x68030000, Get)}) { last = this; }
    ~Tray() override { if (last == this) last = nullptr; }
    const TypeInfo* eventInfo() const override
    {
        static const TypeInfo info{QStringLiteral("LumorelEvents"), QUuid(), {},
                                   {EventInfo{QStringLiteral("DoubleClick"), 6, {ParamInfo{QStringLiteral("Button"), VarType::I4}}}}};
        return &info;
    }
    void doubleClick(int button)
    {
        std::vector<Variant> args{Variant(std::int32_t(button))};
        events().raise(6, args);
    }
    static inline Tray* last = nullptr;

private:
    Result<> act(const QString& name, std::vector<Variant>& args) override
    {
        if (name == QLatin1String("Handle"))
            return Variant(std::int32_t(4242));
        if (name == QLatin1String("AddToTray") && args[2].boolean() && site() && site()->container())
            return site()->container()->put(windowing::FormDispIdVisible, Variant::fromBool(false));
        return {};
    }
};

class Balloon : public Double {
public:
    Balloon() : Double("Balloon", {member("MessageType", 0x68030000, Put, {VarType::I4}),
                                   member("ShowBalloonMessage", 0x60030005, Call, {VarType::BStr, VarType::BStr, VarType::I4})}) {}

private:
    Result<> act(const QString&, std::vector<Variant>&) override { return {}; }
};

class Comm : public Double {
public:
    Comm() : Double("MSComm", {member("CDHolding", 1, Get), member("CommPort", 4, Get), member("CommPort", 4, Put, {VarType::I2}),
                               member("DTREnable", 9, Put, {VarType::Bool}), member("PortOpen", 20, Put, {VarType::Bool}),
                               member("RTSEnable", 22, Put, {VarType::Bool}), member("Settings", 23, Put, {VarType::BStr}),
                               member("Output", 25, Put, {VarType::Variant})}) {}

private:
    Result<> act(const QString& name, std::vector<Variant>& args) override
    {
        if (name == QLatin1String("CDHolding"))
            return Variant::fromBool(false);
        if (name == QLatin1String("CommPort") && args.empty())
            return Variant(port_);
        if (name == QLatin1String("CommPort"))
            port_ = args[0].i2();
        if (name == QLatin1String("PortOpen") && args[0].boolean() && open_)
            return Result<>::fail(8005, QStringLiteral("Port already open"));
        if (name == QLatin1String("PortOpen"))
            open_ = args[0].boolean();
        if (name == QLatin1String("Output") && !open_)
            return Result<>::fail(8018, QStringLiteral("Port is closed"));
        return {};
    }
    std::int16_t port_ = 1;
    bool open_ = false;
};

ServedClass served(const char* clsid, const QString& progId, std::function<ControlPtr()> make)
{
    ClassRegistration reg;
    reg.clsid = QUuid(QString::fromLatin1(clsid));
    reg.progId = progId;
    reg.name = progId.section(QLatin1Char('.'), -1);
    reg.miscStatus = 0x20400;   // invisible at run time
    return {reg, std::move(make)};
}

std::vector<ServedClass> classes()
{
    return {served("{6a1d2f9e-3b7c-4c58-9e0b-51d8a2c4e701}", QStringLiteral("lumora.Lumorel"), [] { return std::make_shared<Tray>(); }),
            served("{6a1d2f9e-3b7c-4c58-9e0b-51d8a2c4e702}", QStringLiteral("pellago.Pellagon"), [] { return std::make_shared<Balloon>(); }),
            served("{6a1d2f9e-3b7c-4c58-9e0b-51d8a2c4e703}",
                   qEnvironmentVariable("VELMORA_DOUBLES_COMM_PROGID", QStringLiteral("VelmoraTest.Comm")),
                   [] { return std::make_shared<Comm>(); })};
}

} // namespace

VELMORA_CONTROL_SERVER(classes)

extern "C" __attribute__((visibility("default"))) const char* velmora_doubles_record()
{
    static QByteArray text;
    text = record.join(QLatin1Char('\n')).toUtf8();
    return text.constData();
}
extern "C" __attribute__((visibility("default"))) void velmora_doubles_clear() { record.clear(); }
extern "C" __attribute__((visibility("default"))) void velmora_doubles_double_click(int button)
{
    if (Tray::last)
        Tray::last->doubleClick(button);
}
