// Fixed-size little-endian records as the shell receives them (the 88-byte
// icon record, the 488-byte balloon record), and the ANSI code page their
// text fields are written in: Windows-1251, so Russian text survives.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

#include "automation/littleendian.h"

namespace shell {

// The 32-bit little-endian value at `offset`; the record must hold it.
using automation::bytes::readU32;
using automation::bytes::writeU32;

// Text in the ANSI code page. Each character the code page lacks becomes
// one "?"; every character it has, control characters included, keeps its
// byte. Bytes the code page leaves undefined decode as U+FFFD.
QByteArray encodeAnsi(QStringView text);
QString decodeAnsi(QByteArrayView bytes);

// A fixed-width text field of `width` bytes at `offset`: the encoded text cut
// to width - 1 bytes so that its NUL always fits, one NUL, then `fill` up to
// the end of the field.
void writeTextField(QByteArray &record, int offset, int width, QStringView text, char fill = ' ');
// The field's text up to its first NUL (all of it when there is none).
QString readTextField(const QByteArray &record, int offset, int width);

} // namespace shell
