// The settings file reader on arbitrary bytes: every setting reads as a
// number in the 16-bit range (or its default), and the file written back
// from what was read reads the same.
#include "common.h"
#include "settingsfile.h"

#include <cmath>

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const Settings s = parseSettings(bytes);
    const double values[] = {s.portIndex, s.autoOn, s.autoOff, s.speedIndex};
    std::array<std::int16_t, 4> lines{};
    for (int i = 0; i < 4; ++i) {
        fuzz::check(std::isfinite(values[i]) && std::nearbyint(values[i]) >= -32768 &&
                        std::nearbyint(values[i]) <= 32767,
                    "a setting is finite and rounds into 16 bits",
                    bytes.toHex());
        lines[i] = toInt16(values[i]);
    }
    const bool speed = s.speedIndex == 0 || s.speedIndex == 1 || s.speedIndex == 2;
    fuzz::check(
        s.lineSettings().has_value() == speed, "a line speed only for 0, 1 and 2", bytes.toHex());
    // What the settings dialog would write back reads as the rounded values.
    const Settings back = parseSettings(formatSettings(lines));
    fuzz::check(std::array{back.portIndex, back.autoOn, back.autoOff, back.speedIndex} ==
                    std::array<double, 4>{
                        double(lines[0]), double(lines[1]), double(lines[2]), double(lines[3])},
                "the written file reads back",
                bytes.toHex());
    return 0;
}
