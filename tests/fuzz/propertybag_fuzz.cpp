// The property bag's text form. Arbitrary text either reads or fails with a
// line number, and what reads writes back to text that reads the same. And a
// bag of arbitrary values (any UTF-16 text, lone surrogates and control
// characters included; any double, -0, infinities and NaNs included) comes
// back from its text exactly: same names, same spellings, same values.
#include "common.h"

#include "automation/control.h"

#include <cmath>
#include <cstring>

using namespace automation;

namespace {

bool sameValue(const Variant& a, const Variant& b)
{
    if (a.type() == VarType::R8 && b.type() == VarType::R8)
        return fuzz::sameDouble(a.r8(), b.r8());
    return a == b;
}

bool sameBag(const PropertyBag& a, const PropertyBag& b)
{
    if (a.values().size() != b.values().size())
        return false;
    for (auto i = a.values().begin(), j = b.values().begin(); i != a.values().end(); ++i, ++j)
        if (i->first != j->first || !sameValue(i->second, j->second))
            return false;
    return true;
}

// A property name as a control writes one.
QString propertyName(fuzz::Input& in)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    static const char more[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
    QString name = QChar(QLatin1Char(letters[in.byte() % (sizeof letters - 1)]));
    for (int n = in.byte() % 12; n > 0; --n)
        name += QLatin1Char(more[in.byte() % (sizeof more - 1)]);
    return name;
}

Variant value(fuzz::Input& in)
{
    switch (in.byte() % 5) {
    case 0: return Variant(in.value<std::int16_t>());
    case 1: return Variant(in.value<std::int32_t>());
    case 2: return Variant::fromBool(in.byte() & 1);
    case 3: return Variant(in.value<double>());
    default: return Variant(in.text(40));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    if (in.byte() & 1) {
        const QByteArray text = in.rest();
        const auto bag = PropertyBag::fromText(text);
        if (!bag) {
            fuzz::check(bag.error().description.startsWith(QLatin1String("line ")), "a bad line is named", text.toHex());
            return 0;
        }
        const QByteArray written = bag->toText();
        const auto again = PropertyBag::fromText(written);
        fuzz::check(again.ok(), "written text reads", written);
        fuzz::check(sameBag(*bag, *again), "written text reads the same", written);
        fuzz::check(again->toText() == written, "the text form is stable", written);
        return 0;
    }
    PropertyBag bag;
    while (!in.empty())
        bag.write(propertyName(in), value(in));
    const QByteArray written = bag.toText();
    const auto back = PropertyBag::fromText(written);
    fuzz::check(back.ok(), "a bag's text reads", written);
    fuzz::check(sameBag(bag, *back), "a bag comes back exactly", written);
    return 0;
}
