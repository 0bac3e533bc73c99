// The port mapping reader on arbitrary text. Parsing only: nothing here opens
// a device. A mapping that reads holds ports 1-16 only, each a device path or
// a simulated amplifier with a valid name and options in their ranges; one
// that does not names the file and line.
#include "common.h"
#include "portmap.h"

#include <QRegularExpression>

using comm::PortMap;
using comm::PortTarget;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto map = PortMap::parse(text, QStringLiteral("/fuzz/comm.conf"));
    if (!map) {
        fuzz::check(map.error().description.startsWith(QLatin1String("/fuzz/comm.conf:")),
                    "a damaged mapping names the file and line",
                    map.error().description.toUtf8());
        return 0;
    }
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_.-]+$"));
    for (const auto &[port, target] : map->ports) {
        fuzz::check(port >= 1 && port <= comm::MaxPort, "ports 1 to 16 only", text.toHex());
        if (target.kind == PortTarget::Kind::Device) {
            fuzz::check(
                target.device.startsWith(QLatin1Char('/')), "a device is a path", text.toHex());
        } else {
            fuzz::check(
                name.match(target.simulator).hasMatch(), "a simulator name is plain", text.toHex());
            fuzz::check(target.carrierDelayMs >= -1 && target.carrierDelayMs <= 600000,
                        "the delay in range",
                        text.toHex());
        }
        (void)target.describe();
    }
    return 0;
}
