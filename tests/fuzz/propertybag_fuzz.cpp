// The property bag's text form. Arbitrary text either reads or fails naming
// its line, and what reads writes back to text that reads the same; a bag of
// arbitrary values (any text, any double) comes back from its text exactly.
#include "common.h"

#include "automation/control.h"

using namespace automation;

namespace {

bool sameBag(const PropertyBag &a, const PropertyBag &b) {
    return std::equal(a.values().begin(),
                      a.values().end(),
                      b.values().begin(),
                      b.values().end(),
                      [](const auto &x, const auto &y) {
                          return x.first == y.first && fuzz::same(x.second, y.second);
                      });
}

// A property name as a control writes one.
QString propertyName(fuzz::Input &in) {
    static const char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
    QString name = QChar(QLatin1Char(chars[in.byte() % 52]));
    for (int n = in.byte() % 12; n > 0; --n)
        name += QLatin1Char(chars[in.byte() % (sizeof chars - 1)]);
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz::Input in(data, size);
    if (in.byte() & 1) {
        const QByteArray text = in.rest();
        const auto bag = PropertyBag::fromText(text);
        if (!bag) {
            fuzz::check(bag.error().description.startsWith(QLatin1String("line ")),
                        "a bad line is named",
                        text.toHex());
            return 0;
        }
        const QByteArray written = bag->toText();
        const auto again = PropertyBag::fromText(written);
        fuzz::check(again && sameBag(*bag, *again) && again->toText() == written,
                    "written text reads the same",
                    written);
        return 0;
    }
    PropertyBag bag;
    while (!in.empty())
        bag.write(propertyName(in), fuzz::scalar(in));
    const QByteArray written = bag.toText();
    const auto back = PropertyBag::fromText(written);
    fuzz::check(back && sameBag(bag, *back), "a bag comes back exactly", written);
    return 0;
}
