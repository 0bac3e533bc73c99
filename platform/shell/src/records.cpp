#include "shell/records.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QtEndian>

#include <algorithm>

namespace shell {

namespace {
constexpr auto CodePage = "windows-1251";
}

std::uint32_t readU32(const QByteArray& record, int offset)
{
    Q_ASSERT(offset >= 0 && offset + 4 <= record.size());
    return qFromLittleEndian<std::uint32_t>(record.constData() + offset);
}

void writeU32(QByteArray& record, int offset, std::uint32_t value)
{
    Q_ASSERT(offset >= 0 && offset + 4 <= record.size());
    qToLittleEndian(value, record.data() + offset);
}

QByteArray encodeAnsi(QStringView text)
{
    QStringEncoder encoder(CodePage);
    QByteArray whole = encoder.encode(text);
    if (!encoder.hasError())
        return whole;
    // The encoder writes 0x1A for a character the code page lacks, which is
    // also the code page's own byte for U+001A: encode one character at a
    // time, each with an encoder of its own (an error stays with an encoder),
    // to tell the two apart.
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        QStringEncoder one(CodePage);
        const QByteArray bytes = one.encode(text.mid(i, n));
        out += one.hasError() || bytes.isEmpty() ? QByteArray("?") : bytes;
        i += n;
    }
    return out;
}

QString decodeAnsi(QByteArrayView bytes)
{
    QStringDecoder decoder(CodePage);
    return decoder.decode(bytes);
}

void writeTextField(QByteArray& record, int offset, int width, QStringView text, char fill)
{
    Q_ASSERT(width > 0 && offset >= 0 && offset + width <= record.size());
    const QByteArray bytes = encodeAnsi(text).left(width - 1);
    char* field = record.data() + offset;
    std::fill(field, field + width, fill);
    std::copy(bytes.begin(), bytes.end(), field);
    field[bytes.size()] = '\0';
}

QString readTextField(const QByteArray& record, int offset, int width)
{
    Q_ASSERT(width > 0 && offset >= 0 && offset + width <= record.size());
    const QByteArrayView field(record.constData() + offset, width);
    const qsizetype nul = field.indexOf('\0');
    return decodeAnsi(nul < 0 ? field : field.first(nul));
}

} // namespace shell
