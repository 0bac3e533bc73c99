// What the fuzz targets share: reading the input as a stream of small values,
// and stopping loudly when a property the code promises does not hold.
#pragma once

#include <QByteArray>
#include <QList>
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
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    template <typename T> T value()
    {
        T v{};
        const std::size_t n = std::min(sizeof v, size_ - std::min(pos_, size_));
        std::memcpy(&v, data_ + pos_, n);
        pos_ += n;
        return v;
    }
    // Up to `max` bytes, as many as the next byte says.
    QByteArray bytes(std::size_t max)
    {
        const std::size_t n = std::min<std::size_t>(byte() % (max + 1), size_ - std::min(pos_, size_));
        QByteArray b(reinterpret_cast<const char*>(data_ + pos_), qsizetype(n));
        pos_ += n;
        return b;
    }
    // Arbitrary UTF-16 code units, lone surrogates and NULs included.
    QString text(std::size_t maxUnits)
    {
        const QByteArray b = bytes(maxUnits * 2);
        return QString(reinterpret_cast<const QChar*>(b.constData()), b.size() / 2);
    }
    QByteArray rest()
    {
        QByteArray b(reinterpret_cast<const char*>(data_ + std::min(pos_, size_)), qsizetype(size_ - std::min(pos_, size_)));
        pos_ = size_;
        return b;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// The same double, bit for bit (-0 is not 0); any NaN is any other.
inline bool sameDouble(double a, double b)
{
    return (a != a && b != b) || std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

[[noreturn]] inline void fail(const char* what, const QByteArray& detail = {})
{
    std::fprintf(stderr, "property broken: %s\n%s\n", what, detail.constData());
    std::abort();
}

inline void check(bool holds, const char* what, const QByteArray& detail = {})
{
    if (!holds)
        fail(what, detail);
}

} // namespace fuzz
