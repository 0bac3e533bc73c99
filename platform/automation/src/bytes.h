// Little-endian writers and readers over byte arrays, shared by the resource
// container, the ELF section reader and the version block.
#pragma once

#include <QByteArray>

#include <cstdint>

namespace automation::bytes {

inline void putU16(QByteArray &out, std::uint16_t v) {
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}

inline void putU32(QByteArray &out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

inline std::uint64_t getLE(const char *p, int count) {
    std::uint64_t v = 0;
    for (int i = count - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

} // namespace automation::bytes
