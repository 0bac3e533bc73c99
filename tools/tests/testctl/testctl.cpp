// A small control library for the tool tests, its type information read from
// the type library it carries: optional parameters, a persisted property with
// change notification, an event with a by-reference argument, calls into the
// containing form, a failing member, a reference kept to another control, and
// a message window whose mouse messages come back as an event.
#include <QWidget>

#include "automation/resources.h"
#include "automation/server.h"
#include "testctl_dispids.h"
#include "windowing/handles.h"

using namespace automation;
namespace dispid = testctl::dispid;

namespace {

constexpr std::int16_t DefaultLevel = 3;
const QString Source = QStringLiteral("VelmoraTest.Widget");

const TypeLibrary &library() {
    static const TypeLibrary lib = ownTypeLibrary().value_or(TypeLibrary{});
    return lib;
}

class Widget : public ControlObject {
  public:
    Widget() {
        messages_.onMouseMessage = [this](int button, int shift, double x, double y) {
            std::vector<Variant> args{Variant(std::int16_t(button)),
                                      Variant(std::int16_t(shift)),
                                      Variant(x),
                                      Variant(y)};
            // a mismatch would show as a missing event in the transcripts
            (void)raiseEvent(dispid::MouseEvent, args);
        };
    }
    const TypeInfo &typeInfo() const override { return library().defaultInterface; }
    const TypeInfo *eventInfo() const override { return &library().eventInterface; }
    QString errorSource() const override { return Source; }
    SizeTwips resize(SizeTwips) override { return {465, 465}; }
    QWidget *window() override { return &window_; }
    Result<> initNew() override { return ready(DefaultLevel, false); }
    Result<> load(const PropertyBag &bag) override {
        auto v = bag.read(QStringLiteral("Level"), Variant(DefaultLevel)).convert(VarType::I2);
        return v ? ready(v->i2(), true)
                 : Result<>(Error{v.error().number, v.error().description, Source});
    }
    Result<> save(PropertyBag &bag) override {
        bag.write(QStringLiteral("Level"), Variant(level_), Variant(DefaultLevel));
        return {};
    }

  protected:
    Result<> invokeChecked(const MemberInfo &m, std::vector<Variant> &a) override {
        std::vector<Variant> none;
        switch (m.id) {
        case dispid::Add:
            return Variant(a[0].i4() + a[1].i4());
        case dispid::Echo:
            return a[0];
        case dispid::Level:
            if (m.kind == InvokeKind::PropertyGet)
                return Variant(level_);
            level_ = a[0].i2();
            site()->propertyChanged(m.id);
            return {};
        case dispid::Fire: {
            std::vector<Variant> args{a[0], Variant(QStringLiteral("tick"))};
            TRY(raiseEvent(dispid::TickedEvent, args));
            return Variant(args[0].toI4().value_or(-1)); // the sink may have answered through Count
        }
        case dispid::FormCaption:
            return site()->container()->callByName(
                QStringLiteral("Caption"), InvokeKind::PropertyGet, none);
        case dispid::Fail:
            return Result<>::fail(err::InvalidCall, a[0].bstr(), Source);
        case dispid::Placement:
            return Variant(
                QStringLiteral("%1 x %2 px%3%4, %5 mode")
                    .arg(window_.width())
                    .arg(window_.height())
                    .arg(window_.parentWidget() == site()->containerWidget()
                             ? QStringLiteral(" on the form")
                             : QString())
                    .arg(window_.isHidden() ? QStringLiteral(", hidden") : QString())
                    .arg(site()->userMode() ? QStringLiteral("run") : QStringLiteral("design")));
        case dispid::Keep:
            kept_ = a[0];
            return {};
        case dispid::Relay:
            return kept_.dispatch()->callByName(QStringLiteral("Fire"), InvokeKind::Method, a);
        }
        QStringList text; // Describe
        for (const Variant &v : a)
            if (v.type() != VarType::Missing)
                text << v.describe();
        return Variant(text.join(QStringLiteral(", ")));
    }

  private:
    Result<> ready(std::int16_t level, bool fromBag) {
        std::vector<Variant> args{Variant::fromBool(fromBag)};
        level_ = level;
        return raiseEvent(dispid::ReadyEvent, args);
    }

    std::int16_t level_ = DefaultLevel;
    Variant kept_;
    QWidget window_;
    windowing::MessageWindow messages_{&window_};
};

std::vector<ServedClass> classes() {
    const TypeLibrary &lib = library();
    const QString version = QStringLiteral("%1.%2").arg(lib.majorVersion).arg(lib.minorVersion);
    return {{{.clsid = lib.coclass,
              .progId = Source,
              .name = lib.coclassName,
              .miscStatus = 0x20591,
              .toolboxBitmap = QStringLiteral("30000"),
              .typeLib = lib.libid,
              .typeLibVersion = version},
             [] {
                 return std::make_shared<Widget>();
             }}};
}

} // namespace

VELMORA_CONTROL_SERVER(classes)
