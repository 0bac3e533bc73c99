// The settings file reader on arbitrary bytes: every line reads as a number
// in the 16-bit range or as its default, and the file written back from what
// was read reads the same.
#include "common.h"
#include "settingsfile.h"

#include <cmath>

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const Settings s = parseSettings(bytes);
    const double values[] = {s.portIndex, s.autoOn, s.autoOff, s.speedIndex};
    std::array<std::int16_t, 4> lines{};
    for (int i = 0; i < 4; ++i) {
        fuzz::check(std::isfinite(values[i]), "a setting is finite", bytes.toHex());
        fuzz::check(std::nearbyint(values[i]) >= -32768 && std::nearbyint(values[i]) <= 32767,
                    "a setting rounds into 16 bits", bytes.toHex());
        lines[i] = toInt16(values[i]);
    }
    const bool speed = s.speedIndex == 0 || s.speedIndex == 1 || s.speedIndex == 2;
    fuzz::check(s.lineSettings().has_value() == speed, "a line speed only for 0, 1 and 2", bytes.toHex());

    // What the settings dialog would write back reads as the rounded values.
    const Settings back = parseSettings(formatSettings(lines));
    const double again[] = {back.portIndex, back.autoOn, back.autoOff, back.speedIndex};
    for (int i = 0; i < 4; ++i)
        fuzz::check(again[i] == lines[i], "the written file reads back", bytes.toHex());

    // Each line alone reads as the file's line does.
    for (const QByteArray& line : bytes.split('\n')) {
        if (const auto v = parseLine(line))
            fuzz::check(std::isfinite(*v) && std::nearbyint(*v) >= -32768 && std::nearbyint(*v) <= 32767, "a line in range", line.toHex());
    }
    return 0;
}
