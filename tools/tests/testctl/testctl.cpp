// A small control library for the tool tests: optional parameters with
// defaults, a persisted property with change notification, an event with a
// by-reference argument, calls into the containing form, and a failing
// member. Its type information comes from the type library it carries as a
// resource, read from its own memory.
#include <QWidget>

#include "automation/resources.h"
#include "automation/server.h"

using namespace automation;

namespace {

constexpr std::int16_t DefaultLevel = 3;
const QString Source = QStringLiteral("VelmoraTest.Widget");

const TypeLibrary& library()
{
    static const TypeLibrary lib = ownTypeLibrary().value_or(TypeLibrary{});
    return lib;
}

class Widget : public ControlObject {
public:
    const TypeInfo& typeInfo() const override { return library().defaultInterface; }
    const TypeInfo* eventInfo() const override { return &library().eventInterface; }

    Result<> initNew() override
    {
        level_ = DefaultLevel;
        ready(false);
        return {};
    }

    Result<> load(const PropertyBag& bag) override
    {
        auto v = bag.read(QStringLiteral("Level"), Variant(DefaultLevel)).convert(VarType::I2);
        if (!v)
            return Result<>(Error{v.error().number, v.error().description, Source});
        level_ = v->i2();
        ready(true);
        return {};
    }

    Result<> save(PropertyBag& bag) override
    {
        bag.write(QStringLiteral("Level"), Variant(level_), Variant(DefaultLevel));
        return {};
    }

    SizeTwips resize(SizeTwips) override { return {465, 465}; }

    QWidget* window() override
    {
        if (!window_)
            window_ = std::make_unique<QWidget>();
        return window_.get();
    }

protected:
    Result<> invokeChecked(const MemberInfo& m, std::vector<Variant>& a) override
    {
        switch (m.id) {
        case 1: return Variant(a[0].i4() + a[1].i4());
        case 2: {
            const QString text = QStringLiteral("Hello, %1").arg(a[0].bstr());
            return Variant(a[1].boolean() ? text.toUpper() : text);
        }
        case 3:
            if (m.kind == InvokeKind::PropertyGet)
                return Variant(level_);
            level_ = a[0].i2();
            if (site())
                site()->propertyChanged(m.id);
            return {};
        case 4: {
            std::vector<Variant> args{a[0], Variant(QStringLiteral("tick"))};
            events().raise(1, args);
            // The sink may have answered through the by-reference Count.
            lastAnswer_ = args[0].toI4().value_or(-1);
            return {};
        }
        case 5: return Variant(lastAnswer_);
        case 6: {
            if (!site() || !site()->container())
                return Result<>::fail(err::ObjectRequired, {}, Source);
            std::vector<Variant> value{a[0]};
            return site()->container()->callByName(QStringLiteral("Visible"), InvokeKind::PropertyPut, value);
        }
        case 7: {
            if (!site() || !site()->container())
                return Result<>::fail(err::ObjectRequired, {}, Source);
            std::vector<Variant> none;
            return site()->container()->callByName(QStringLiteral("Caption"), InvokeKind::PropertyGet, none);
        }
        case 8: return Result<>::fail(err::InvalidCall, QStringLiteral("The widget refuses"), Source);
        case 9: return Variant::fromBool(site() && site()->userMode());
        case 0x60030005: return Variant(a[0].describe());
        }
        return Result<>::fail(err::NoSuchMember, {}, Source);
    }
    QString errorSource() const override { return Source; }

private:
    void ready(bool fromBag)
    {
        std::vector<Variant> args{Variant::fromBool(fromBag)};
        events().raise(2, args);
    }

    std::int16_t level_ = DefaultLevel;
    std::int32_t lastAnswer_ = 0;
    std::unique_ptr<QWidget> window_;
};

std::vector<ServedClass> classes()
{
    const TypeLibrary& lib = library();
    ClassRegistration reg;
    reg.clsid = lib.coclass;
    reg.progId = QStringLiteral("VelmoraTest.Widget");
    reg.name = lib.coclassName;
    reg.miscStatus = 0x20591;
    reg.toolboxBitmap = QStringLiteral("30000");
    reg.typeLib = lib.libid;
    reg.typeLibVersion = QStringLiteral("%1.%2").arg(lib.majorVersion).arg(lib.minorVersion);
    return {{reg, [] { return std::make_shared<Widget>(); }}};
}

} // namespace

VELMORA_CONTROL_SERVER(classes)
