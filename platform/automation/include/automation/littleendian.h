// Little-endian integers in byte arrays, the one place they are packed and
// unpacked: the resource container, the ELF section reader, the version
// block, the resource packer and the shell's notification records.
#pragma once

#include <QByteArray>

#include <cstdint>

namespace automation::bytes {

// Appends the value's bytes, lowest first.
inline void putLE(QByteArray &out, std::uint64_t v, int count) {
    for (int i = 0; i < count; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}
inline void putU16(QByteArray &out, std::uint16_t v) {
    putLE(out, v, 2);
}
inline void putU32(QByteArray &out, std::uint32_t v) {
    putLE(out, v, 4);
}

// The value of `count` bytes at p, lowest first.
inline std::uint64_t getLE(const char *p, int count) {
    std::uint64_t v = 0;
    for (int i = count - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

// In place, at an offset the record already holds.
inline void setLE(QByteArray &record, qsizetype offset, std::uint64_t v, int count) {
    Q_ASSERT(offset >= 0 && offset + count <= record.size());
    for (int i = 0; i < count; ++i)
        record[offset + i] = char((v >> (8 * i)) & 0xFF);
}
inline std::uint32_t readU32(const QByteArray &record, qsizetype offset) {
    Q_ASSERT(offset >= 0 && offset + 4 <= record.size());
    return std::uint32_t(getLE(record.constData() + offset, 4));
}
inline void writeU32(QByteArray &record, qsizetype offset, std::uint32_t value) {
    setLE(record, offset, value, 4);
}

} // namespace automation::bytes
