// A minimal control library: one class with a method, a property and an event.
#include "automation/server.h"

namespace {

const QUuid kClsid(QStringLiteral("{3f0e6a52-6f41-4b7e-9a38-0d3c3f2f8a11}"));

class Counter : public automation::ControlObject {
  public:
    const automation::TypeInfo &typeInfo() const override {
        using namespace automation;
        static const TypeInfo info{
            QStringLiteral("Counter"),
            QUuid(),
            {
                MemberInfo{
                    QStringLiteral("Add"),
                    1,
                    InvokeKind::Method,
                    {ParamInfo{QStringLiteral("By"), VarType::I4, true, Variant(std::int32_t(1))}},
                    VarType::I4},
                MemberInfo{QStringLiteral("Value"), 2, InvokeKind::PropertyGet, {}, VarType::I4},
            },
            {}};
        return info;
    }

  protected:
    automation::Result<> invokeChecked(const automation::MemberInfo &m,
                                       std::vector<automation::Variant> &args) override {
        if (m.id == 1)
            value_ += args[0].i4();
        return automation::Variant(value_);
    }

  private:
    std::int32_t value_ = 0;
};

std::vector<automation::ServedClass> classes() {
    automation::ClassRegistration reg;
    reg.clsid = kClsid;
    reg.progId = QStringLiteral("TestLib.Counter");
    reg.name = QStringLiteral("Counter");
    reg.miscStatus = 0x20591;
    reg.toolboxBitmap = QStringLiteral("30000");
    reg.typeLibVersion = QStringLiteral("1.0");
    return {{reg, [] {
                 return std::make_shared<Counter>();
             }}};
}

} // namespace

VELMORA_CONTROL_SERVER(classes)
