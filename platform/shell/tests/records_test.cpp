// Little-endian fields, Windows-1251 text and fixed-width text fields.
#include "shell/records.h"

#include <gtest/gtest.h>

using namespace shell;

TEST(Records, U32IsLittleEndianAtItsOffset)
{
    QByteArray r(8, '\0');
    writeU32(r, 2, 0x11223344);
    EXPECT_EQ(std::pair(r.toHex(), readU32(r, 2)), std::pair(QByteArray("0000443322110000"), 0x11223344u));
}

TEST(Records, AnsiTextIsWindows1251WithQuestionMarksForWhatItLacks)
{
    const struct { QString text; QByteArray hex; bool roundTrip; } cases[] = {
        {QStringLiteral("Усилитель Ёё№"), "d3f1e8ebe8f2e5ebfc20a8b8b9", true},
        {QStringLiteral("é✓"), "3f3f", false},
        {QStringLiteral("a\x1a😀b"), "611a3f62", false},   // U+001A is in the code page; a surrogate pair is one character
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encodeAnsi(c.text).toHex(), c.hex) << c.text.toStdString();
        EXPECT_EQ(decodeAnsi(QByteArray::fromHex(c.hex)) == c.text, c.roundTrip) << c.text.toStdString();
    }
}

TEST(Records, TextFieldsHoldTextNulAndFillCutByBytes)
{
    const struct { QString text; char fill; QByteArray bytes; QString read; } cases[] = {
        {QString(70, u'Ж'), ' ', QByteArray(7, '\xc6') + '\0', QString(7, u'Ж')},
        {QString(), ' ', QByteArray("\0       ", 8), QString()},
        {QStringLiteral("Пуск✓"), '\0', QByteArray("\xcf\xf3\xf1\xea?\0\0\0", 8), QStringLiteral("Пуск?")},
    };
    for (const auto& c : cases) {
        QByteArray r(10, 'x');
        writeTextField(r, 1, 8, c.text, c.fill);
        EXPECT_EQ(r, 'x' + c.bytes + 'x') << c.text.toStdString();
        EXPECT_EQ(readTextField(r, 1, 8), c.read);
    }
}
