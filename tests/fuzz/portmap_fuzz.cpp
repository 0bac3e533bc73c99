// The port mapping reader on arbitrary text. Parsing only: nothing here opens
// a device. A mapping that reads holds ports 1-16 only, each a device path or
// a simulated amplifier with a valid name (as its description shows); one
// that does not names the file and line.
#include "common.h"
#include "portmap.h"

#include <QRegularExpression>

using comm::PortMap;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto map = PortMap::parse(text, QStringLiteral("/fuzz/comm.conf"));
    if (!map) {
        fuzz::check(map.error().description.startsWith(QLatin1String("/fuzz/comm.conf:")),
                    "a damaged mapping names the file and line",
                    map.error().description.toUtf8());
        return 0;
    }
    static const QRegularExpression target(
        QStringLiteral("^(/.*|the simulated amplifier \"[A-Za-z0-9_.-]+\")$"),
        QRegularExpression::DotMatchesEverythingOption);
    for (const auto &[port, line] : map->ports) {
        fuzz::check(port >= 1 && port <= comm::MaxPort, "ports 1 to 16 only", text.toHex());
        fuzz::check(line != nullptr, "a port leads somewhere", text.toHex());
        fuzz::check(target.match(line->describe()).hasMatch(),
                    "a device path or a plainly named simulator",
                    text.toHex());
    }
    return 0;
}
