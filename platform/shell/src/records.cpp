#include "shell/records.h"

#include "logging.h"

#include <QList>

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace shell {

namespace {

// The conversions go through glibc's iconv: its table of the code page is a
// small module loaded on first use.
constexpr auto CodePage = "CP1251";
constexpr auto Wide = "WCHAR_T"; // UCS-4 in the machine's byte order

// One conversion descriptor for the length of one call.
class Converter {
  public:
    Converter(const char *to, const char *from) : cd_(iconv_open(to, from)) {
        if (!ok())
            qCWarning(lcShell) << "no conversion from" << from << "to" << to
                               << "in this C library:" << qt_error_string(errno);
    }
    ~Converter() {
        if (ok())
            iconv_close(cd_);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    bool ok() const { return cd_ != iconv_t(-1); }

    // Converts one unit of `inSize` bytes (a character or a byte) into one
    // of `outSize` bytes; false when the other side has no such unit.
    bool convertOne(const void *in, std::size_t inSize, void *out, std::size_t outSize) {
        if (!ok())
            return false;
        char *from = static_cast<char *>(const_cast<void *>(in));
        char *to = static_cast<char *>(out);
        std::size_t inLeft = inSize, outLeft = outSize;
        const bool done = iconv(cd_, &from, &inLeft, &to, &outLeft) != std::size_t(-1) &&
                          inLeft == 0 && outLeft == 0;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr); // nothing carried over to the next unit
        return done;
    }

  private:
    iconv_t cd_;
};

} // namespace

QByteArray encodeAnsi(QStringView text) {
    // Unpaired surrogates become U+FFFD, which the code page lacks.
    const QList<uint> characters = text.toUcs4();
    QByteArray out;
    out.reserve(characters.size());
    Converter convert(CodePage, Wide);
    for (const uint c : characters) {
        const wchar_t wide = wchar_t(c);
        char byte = 0;
        out += convert.convertOne(&wide, sizeof wide, &byte, 1) ? byte : '?';
    }
    return out;
}

QString decodeAnsi(QByteArrayView bytes) {
    QString out;
    out.reserve(bytes.size());
    Converter convert(Wide, CodePage);
    for (const char byte : bytes) {
        wchar_t wide = 0;
        // Every character of the code page is in the Basic Multilingual Plane.
        out += convert.convertOne(&byte, 1, &wide, sizeof wide)
                   ? QChar(char16_t(wide))
                   : QChar(QChar::ReplacementCharacter);
    }
    return out;
}

void writeTextField(QByteArray &record, int offset, int width, QStringView text, char fill) {
    Q_ASSERT(width > 0 && offset >= 0 && offset + width <= record.size());
    const QByteArray bytes = encodeAnsi(text).left(width - 1);
    char *field = record.data() + offset;
    std::fill(field, field + width, fill);
    std::copy(bytes.begin(), bytes.end(), field);
    field[bytes.size()] = '\0';
}

QString readTextField(const QByteArray &record, int offset, int width) {
    Q_ASSERT(width > 0 && offset >= 0 && offset + width <= record.size());
    const QByteArrayView field(record.constData() + offset, width);
    const qsizetype nul = field.indexOf('\0');
    return decodeAnsi(nul < 0 ? field : field.first(nul));
}

} // namespace shell
