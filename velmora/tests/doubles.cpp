// Doubles of the panel's controls in one control library, recording in order
// what they are asked, as tokens the tests take through the exports at the end:
//   lumora.Lumorel    "icon" (AddToTray: a picture, the form's caption, hiding it), "noicon"
//   pellago.Pellagon  "tip-on", "tip-off", "tip-failed" (type, form's caption, icon's handle)
//   a serial port     "open", "open!" (refused while open), "close", "port<n>", "<speed>",
//                     "rts0|1", "dtr0|1", "out"; no carrier; ProgID $VELMORA_DOUBLES_COMM_PROGID
// Anything else as "Class.Member(arguments)".
#include <QStringList>

#include "automation/server.h"
#include "windowing/formsite.h"

namespace {

using namespace automation;
constexpr auto Get = InvokeKind::PropertyGet, Put = InvokeKind::PropertyPut, Call = InvokeKind::Method;
QStringList record;

class Double : public ControlObject {
public:
    using Act = std::function<Result<>(Double&, const QString&, std::vector<Variant>&)>;
    Double(const char* name, std::vector<MemberInfo> members, Act act) : info_{QString::fromLatin1(name), {}, std::move(members), {}}, act_(std::move(act)) {}
    const TypeInfo& typeInfo() const override { return info_; }
    const TypeInfo* eventInfo() const override
    {
        static const TypeInfo events{{}, {}, {}, {EventInfo{QStringLiteral("DoubleClick"), 6, {ParamInfo{QStringLiteral("Button"), VarType::I4}}}}};
        return info_.name == QLatin1String("Tray") ? &events : nullptr;
    }
    QString caption() { return site()->container()->get(windowing::FormDispIdCaption).value().bstr(); }
    void raise(DispId id, std::vector<Variant> args) { events().raise(id, args); }
    static inline Double* tray = nullptr;

protected:
    Result<> invokeChecked(const MemberInfo& m, std::vector<Variant>& args) override
    {
        QStringList shown;
        for (const Variant& a : args)
            shown << a.describe();
        record << info_.name + QLatin1Char('.') + m.name + QLatin1Char('(') + shown.join(QStringLiteral(", ")) + QLatin1Char(')');
        return act_(*this, m.name, args);
    }
    TypeInfo info_;
    Act act_;
};

MemberInfo member(const char* name, DispId id, InvokeKind kind, std::vector<VarType> params = {})
{
    MemberInfo m{QString::fromLatin1(name), id, kind, {}, kind == Get ? VarType::Variant : VarType::Empty, {}};
    for (VarType t : params)
        m.params.push_back(ParamInfo{QStringLiteral("p%1").arg(m.params.size()), t});
    return m;
}

Result<> tray(Double& d, const QString& name, std::vector<Variant>& args)
{
    Double::tray = &d;
    if (name == QLatin1String("Handle"))
        return record.removeLast(), Variant(std::int32_t(4242));
    if (name == QLatin1String("DeleteFromTray"))
        record.last() = QStringLiteral("noicon");
    if (name == QLatin1String("AddToTray") && args[0].dispatch() && args[0].dispatch()->get(DispIdValue).value().i4()
        && args[1].bstr() == d.caption() && args[2].boolean())
        return record.last() = QStringLiteral("icon"), d.site()->container()->put(windowing::FormDispIdVisible, Variant::fromBool(false));
    return {};
}

Result<> balloon(Double& d, const QString& name, std::vector<Variant>& args)
{
    static std::int32_t type = 0;
    if (name == QLatin1String("MessageType"))
        return type = args[0].i4(), record.removeLast(), Result<>();
    const std::map<QString, QString> tips = {{QStringLiteral("1Усилитель включен"), QStringLiteral("tip-on")},
                                             {QStringLiteral("1Усилитель выключен"), QStringLiteral("tip-off")},
                                             {QStringLiteral("3Не удалось включить усилитель"), QStringLiteral("tip-failed")}};
    const auto tip = tips.find(QString::number(type) + args[0].bstr());
    if (tip != tips.end() && args[1].bstr() == d.caption() && args[2].i4() == 4242)
        record.last() = tip->second;
    return {};
}

Double::Act comm()
{
    return [port = std::int16_t(1), open = false](Double&, const QString& name, std::vector<Variant>& args) mutable -> Result<> {
        QString& token = record.last();
        const bool on = !args.empty() && args[0].type() == VarType::Bool && args[0].boolean();
        if (name == QLatin1String("CDHolding") || (name == QLatin1String("CommPort") && args.empty()))
            return record.removeLast(), name == QLatin1String("CDHolding") ? Variant::fromBool(false) : Variant(port);
        if (name == QLatin1String("CommPort"))
            port = args[0].i2(), token = QStringLiteral("port%1").arg(port);
        if (name == QLatin1String("Settings"))
            token = args[0].bstr().section(QLatin1Char(','), 0, 0);
        if (name == QLatin1String("RTSEnable") || name == QLatin1String("DTREnable"))
            token = name.left(3).toLower() + QString::number(on);
        if (name == QLatin1String("Output"))
            token = open ? QStringLiteral("out") : QStringLiteral("out!");
        if (name == QLatin1String("PortOpen"))
            token = on && open ? QStringLiteral("open!") : on ? QStringLiteral("open") : QStringLiteral("close");
        if ((name == QLatin1String("PortOpen") && on && open) || (name == QLatin1String("Output") && !open))
            return Result<>::fail(on ? 8005 : 8018, QStringLiteral("refused"));
        open = name == QLatin1String("PortOpen") ? on : open;
        return {};
    };
}

std::vector<ServedClass> classes()
{
    using V = VarType;
    const auto served = [](int n, const QString& progId, const char* name, std::vector<MemberInfo> members, Double::Act act) {
        ClassRegistration reg;
        reg.clsid = QUuid(QStringLiteral("{6a1d2f9e-3b7c-4c58-9e0b-51d8a2c4e70%1}").arg(n));
        reg.progId = progId;
        reg.miscStatus = 0x20400;   // invisible at run time
        return ServedClass{reg, [=] { return std::make_shared<Double>(name, members, act); }};
    };
    return {served(1, QStringLiteral("lumora.Lumorel"), "Tray", {member("AddToTray", 0x60030005, Call, {V::Dispatch, V::BStr, V::Bool}),
                   member("DeleteFromTray", 0x60030008, Call), member("Handle", 0x68030000, Get)}, tray),
            served(2, QStringLiteral("pellago.Pellagon"), "Balloon", {member("MessageType", 0x68030000, Put, {V::I4}),
                   member("ShowBalloonMessage", 0x60030005, Call, {V::BStr, V::BStr, V::I4})}, balloon),
            served(3, qEnvironmentVariable("VELMORA_DOUBLES_COMM_PROGID", QStringLiteral("VelmoraTest.Comm")), "MSComm",
                   {member("CDHolding", 1, Get), member("CommPort", 4, Get), member("CommPort", 4, Put, {V::I2}), member("DTREnable", 9, Put, {V::Bool}),
                    member("PortOpen", 20, Put, {V::Bool}), member("RTSEnable", 22, Put, {V::Bool}), member("Settings", 23, Put, {V::BStr}),
                    member("Output", 25, Put, {V::Variant})}, comm())};
}

} // namespace

VELMORA_CONTROL_SERVER(classes)

extern "C" __attribute__((visibility("default"))) const char* velmora_doubles_take_record()
{
    static QByteArray text;
    text = record.join(QLatin1Char(' ')).toUtf8();
    record.clear();
    return text.constData();
}
extern "C" __attribute__((visibility("default"))) void velmora_doubles_double_click(int button)
{
    Double::tray->raise(6, {Variant(std::int32_t(button))});
}
