// Doubles of the panel's controls in one control library, recording in order
// what they are asked, as tokens the tests take with takeRecord() (end of file):
//   lumora.Lumorel    "icon" (AddToTray: a picture, the form's caption, hiding it), "noicon";
//                     ProgID $VELMORA_DOUBLES_ICON_PROGID (where the real icon control is
//                     registered)
//   pellago.Pellagon  "tip-on", "tip-off", "tip-failed" (type, form's caption, icon's handle)
//   a serial port     "open", "open!" (refused while open), "close", "port<n>", "<speed>",
//                     "rts0|1", "dtr0|1", "out"; no carrier; ProgID $VELMORA_DOUBLES_COMM_PROGID
// Anything else as "Class.Member(arguments)"; property reads are not recorded.
#include <QStringList>

#include "automation/server.h"
#include "dispids.h"
#include "windowing/formsite.h"

namespace {

using namespace automation;
// The dispatch ids of the controls the doubles stand in for.
namespace comm = velmora::comm;
namespace tray = velmora::tray;
namespace balloon = velmora::balloon;
QStringList record;

class Double : public ControlObject {
  public:
    Double(const QString &name, std::vector<MemberInfo> members)
        : info_{name, {}, std::move(members), {}} {}
    const TypeInfo &typeInfo() const override { return info_; }
    const TypeInfo *eventInfo() const override {
        static const TypeInfo events{
            {},
            {},
            {},
            {EventInfo{QStringLiteral("DoubleClick"),
                       tray::DoubleClickEvent,
                       {ParamInfo{QStringLiteral("Button"), VarType::I4}}},
             EventInfo{QStringLiteral("Error"),
                       tray::ErrorEvent,
                       {ParamInfo{QStringLiteral("ErrNumber"), VarType::I4},
                        ParamInfo{QStringLiteral("ErrDescription"), VarType::BStr},
                        ParamInfo{QStringLiteral("ErrSource"), VarType::BStr}}}}};
        return info_.name == QLatin1String("Tray") ? &events : nullptr;
    }
    void raise(DispId id, std::vector<Variant> args) {
        if (Result<> r = raiseEvent(id, args); !r)
            qFatal("%s", qPrintable(r.error().description));
    }
    static inline Double *tray = nullptr;

  protected:
    Result<> invokeChecked(const MemberInfo &m, std::vector<Variant> &args) override;
    TypeInfo info_;
    bool open_ = false;
    std::int16_t port_ = 1;
    std::int32_t type_ = 0;
};

Result<> Double::invokeChecked(const MemberInfo &m, std::vector<Variant> &args) {
    const QString &name = m.name;
    tray = name == QLatin1String("AddToTray") ? this : tray;
    if (m.kind == InvokeKind::PropertyGet)
        return name == QLatin1String("Handle")     ? Variant(std::int32_t(4242))
               : name == QLatin1String("CommPort") ? Variant(port_)
                                                   : Variant::fromBool(false);
    if (name == QLatin1String("MessageType"))
        return type_ = args[0].i4(), Result<>();
    QStringList shown;
    for (const Variant &a : args)
        shown << a.describe();
    QString token = info_.name + QLatin1Char('.') + name + QLatin1Char('(') +
                    shown.join(QStringLiteral(", ")) + QLatin1Char(')');
    const auto captioned = [&] {
        return args[1].bstr() ==
               site()->container()->get(windowing::FormDispIdCaption).value().bstr();
    };
    const bool on = !args.empty() && args[0].type() == VarType::Bool && args[0].boolean();
    const std::map<QString, QString> tips = {{"1Усилитель включен", "tip-on"},
                                             {"1Усилитель выключен", "tip-off"},
                                             {"3Не удалось включить усилитель", "tip-failed"}};
    if (name == "AddToTray" && args[0].dispatch() &&
        args[0].dispatch()->get(DispIdValue).value().i4() && captioned() && args[2].boolean())
        token = "icon";
    if (name == "ShowBalloonMessage" && tips.count(QString::number(type_) + args[0].bstr()) &&
        captioned() && args[2].i4() == 4242)
        token = tips.at(QString::number(type_) + args[0].bstr());
    if (name == "DeleteFromTray")
        token = "noicon";
    if (name == "CommPort")
        port_ = args[0].i2(), token = QStringLiteral("port%1").arg(port_);
    if (name == "Settings")
        token = args[0].bstr().section(QLatin1Char(','), 0, 0);
    if (name == "RTSEnable" || name == "DTREnable")
        token = name.left(3).toLower() + QString::number(on);
    if (name == "Output")
        token = open_ ? "out" : "out!";
    if (name == "PortOpen")
        token = on && open_ ? "open!" : on ? "open" : "close";
    record << token;
    if ((name == QLatin1String("PortOpen") && on && open_) ||
        (name == QLatin1String("Output") && !open_))
        return Result<>::fail(on ? 8005 : 8018, QStringLiteral("refused"));
    open_ = name == QLatin1String("PortOpen") ? on : open_;
    return token == QLatin1String("icon")
               ? site()->container()->put(windowing::FormDispIdVisible, Variant::fromBool(false))
               : Result<>();
}

std::vector<ServedClass> classes() {
    using V = VarType;
    constexpr auto Get = InvokeKind::PropertyGet, Put = InvokeKind::PropertyPut,
                   Call = InvokeKind::Method;
    const auto member =
        [](const char *name, DispId id, InvokeKind kind, std::vector<VarType> params = {}) {
            MemberInfo m{QString::fromLatin1(name),
                         id,
                         kind,
                         {},
                         kind == InvokeKind::PropertyGet ? VarType::Variant : VarType::Empty,
                         {}};
            for (VarType t : params)
                m.params.push_back(ParamInfo{QStringLiteral("p%1").arg(m.params.size()), t});
            return m;
        };
    const auto served =
        [](int n, const QString &progId, const char *name, std::vector<MemberInfo> members) {
            ClassRegistration reg{
                .clsid = QUuid(QStringLiteral("{6a1d2f9e-3b7c-4c58-9e0b-51d8a2c4e70%1}").arg(n)),
                .progId = progId,
                .miscStatus = 0x20400 /* invisible at run time */};
            return ServedClass{reg, [=] {
                                   return std::make_shared<Double>(QString::fromLatin1(name),
                                                                   members);
                               }};
        };
    return {served(1,
                   qEnvironmentVariable("VELMORA_DOUBLES_ICON_PROGID",
                                        QStringLiteral("lumora.Lumorel")),
                   "Tray",
                   {member("AddToTray", tray::AddToTray, Call, {V::Dispatch, V::BStr, V::Bool}),
                    member("DeleteFromTray", tray::DeleteFromTray, Call),
                    member("Handle", tray::Handle, Get)}),
            served(2,
                   QStringLiteral("pellago.Pellagon"),
                   "Balloon",
                   {member("MessageType", balloon::MessageType, Put, {V::I4}),
                    member("ShowBalloonMessage",
                           balloon::ShowBalloonMessage,
                           Call,
                           {V::BStr, V::BStr, V::I4})}),
            served(3,
                   qEnvironmentVariable("VELMORA_DOUBLES_COMM_PROGID",
                                        QStringLiteral("VelmoraTest.Comm")),
                   "MSComm",
                   {member("CDHolding", comm::CDHolding, Get),
                    member("CommPort", comm::CommPort, Get),
                    member("CommPort", comm::CommPort, Put, {V::I2}),
                    member("DTREnable", comm::DTREnable, Put, {V::Bool}),
                    member("PortOpen", comm::PortOpen, Put, {V::Bool}),
                    member("RTSEnable", comm::RTSEnable, Put, {V::Bool}),
                    member("Settings", comm::Settings, Put, {V::BStr}),
                    member("Output", comm::Output, Put, {V::Variant})})};
}

} // namespace

VELMORA_CONTROL_SERVER(classes)

// The panel's tests link this library; the runtime's loading of it finds the same copy.
namespace paneltest {
QString takeRecord() {
    return std::exchange(record, {}).join(QLatin1Char(' '));
}
void raiseTrayEvent(int id, std::vector<automation::Variant> args) {
    Double::tray->raise(id, std::move(args));
}
} // namespace paneltest
