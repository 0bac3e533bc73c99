// What the fuzz targets share: the input read as a stream of small values,
// values compared bit for bit, and a loud stop when a promised property fails.
#pragma once

#include "automation/variant.h"

#include <QByteArray>
#include <QString>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz {

// Takes values off the front of the input; past its end every value is 0.
class Input {
  public:
    Input(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }
    std::uint8_t byte() { return value<std::uint8_t>(); }
    template <typename T> T value() {
        T v{};
        const QByteArray b = take(sizeof v);
        std::memcpy(&v, b.constData(), std::size_t(b.size()));
        return v;
    }
    // Up to `max` bytes, as many as the next byte says; the rest of the input.
    QByteArray bytes(std::size_t max) { return take(byte() % (max + 1)); }
    QByteArray rest() { return take(left()); }
    // Arbitrary UTF-16 code units, lone surrogates and NULs included.
    QString text(std::size_t maxUnits) {
        const QByteArray b = bytes(maxUnits * 2);
        return QString(reinterpret_cast<const QChar *>(b.constData()), b.size() / 2);
    }

  private:
    std::size_t left() const { return size_ - std::min(pos_, size_); }
    QByteArray take(std::size_t n) {
        n = std::min(n, left());
        const QByteArray b(reinterpret_cast<const char *>(data_ + std::min(pos_, size_)),
                           qsizetype(n));
        pos_ += n;
        return b;
    }
    const std::uint8_t *data_;
    std::size_t size_, pos_ = 0;
};

// One of the values a property bag stores: I2, I4, Bool, any double, any text.
inline automation::Variant scalar(Input &in) {
    switch (in.byte() % 5) {
    case 0:
        return automation::Variant(in.value<std::int16_t>());
    case 1:
        return automation::Variant(in.value<std::int32_t>());
    case 2:
        return automation::Variant::fromBool(in.byte() & 1);
    case 3:
        return automation::Variant(in.value<double>());
    default:
        return automation::Variant(in.text(40));
    }
}

// Equal values; a double bit for bit (-0 is not 0), any NaN the same as any other.
inline bool same(const automation::Variant &a, const automation::Variant &b) {
    if (a.type() != automation::VarType::R8 || b.type() != automation::VarType::R8)
        return a == b;
    return (a.r8() != a.r8() && b.r8() != b.r8()) ||
           std::bit_cast<std::uint64_t>(a.r8()) == std::bit_cast<std::uint64_t>(b.r8());
}

inline void check(bool holds, const char *what, const QByteArray &detail = {}) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n%s\n", what, detail.constData());
        std::abort();
    }
}

} // namespace fuzz
