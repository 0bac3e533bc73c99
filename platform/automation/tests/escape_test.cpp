// Quoted text: what each kind of character is written as, that it reads back
// as the same text, and the escapes that are refused.
#include <gtest/gtest.h>

#include "automation/escape.h"

using namespace automation;

namespace {

struct RoundTrip {
    const char *name;
    QString text;
    QString written;
};

class QuotedText : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(QuotedText, IsWrittenSoAndReadsBackAsTheSameText) {
    const RoundTrip &c = GetParam();
    EXPECT_EQ(quoting::escape(c.text, quoting::Form::Quoted), c.written) << c.name << ": written";
    qsizetype at = 1;
    const Result<QString> back = quoting::readQuoted(c.written, at);
    ASSERT_TRUE(back) << back.error().description.toStdString();
    EXPECT_EQ(*back, c.text) << c.name << ": read back";
    EXPECT_EQ(at, c.written.size()) << "read up to its closing quote";
}

INSTANTIATE_TEST_SUITE_P(
    Quoting, QuotedText,
    ::testing::Values(
        RoundTrip{"Russian", QStringLiteral("Усилитель"), QStringLiteral("\"Усилитель\"")},
        RoundTrip{"BackslashAndQuote", QStringLiteral("a\\\"b"), QStringLiteral("\"a\\\\\\\"b\"")},
        RoundTrip{
            "LineBreaksAndTab", QStringLiteral("a\n\r\tb"), QStringLiteral("\"a\\n\\r\\tb\"")},
        RoundTrip{"Nul", QString(QChar(0)), QStringLiteral("\"\\0\"")},
        RoundTrip{"OtherControls",
                  QString(QChar(1)) + QChar(0x7f) + QChar(0x9f),
                  QStringLiteral("\"\\x01\\x7f\\x9f\"")},
        RoundTrip{"LoneSurrogate", QString(QChar(0xdc01)), QStringLiteral("\"\\udc01\"")},
        RoundTrip{"SurrogatePair",
                  QString::fromUcs4(U"\U0001F50A"),
                  QLatin1Char('"') + QString::fromUcs4(U"\U0001F50A") + QLatin1Char('"')}),
    [](const auto &info) { return std::string(info.param.name); });

struct Misquoted {
    const char *name;
    const char *written;
    const char *says;
};

class MisquotedText : public ::testing::TestWithParam<Misquoted> {};

TEST_P(MisquotedText, IsRefusedSayingWhy) {
    qsizetype at = 1;
    const Result<QString> r = quoting::readQuoted(QString::fromUtf8(GetParam().written), at);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().description, QString::fromUtf8(GetParam().says)) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Quoting, MisquotedText,
    ::testing::Values(
        Misquoted{"UnknownEscape", R"("a\q")", R"(unknown escape \q)"},
        Misquoted{"HexOfOneDigit", R"("\x4")", R"(\x takes two hexadecimal digits: \x4")"},
        Misquoted{"UnicodeOfTwoDigits", R"("\u12")", R"(\u takes four hexadecimal digits: \u12")"},
        Misquoted{"UnicodeNotHex", R"("\u12g4")", R"(\u takes four hexadecimal digits: \u12g4)"},
        Misquoted{"NoClosingQuote", R"("abc\")", "unterminated quoted text"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Quoting, AnEscapedCodeReadsAsThatCharacter) {
    qsizetype at = 1;
    EXPECT_EQ(quoting::readQuoted(QStringLiteral(R"("\u0416\x41")"), at).value_or(QString()),
              QStringLiteral("ЖA"))
        << "\\u and \\x codes";
}

TEST(Quoting, ALineOfOutputEscapesOnlyControlCharacters) {
    const QString line = QStringLiteral("BStr:\"a\\\"b\"\t") + QChar(0xd800);
    EXPECT_EQ(quoting::escape(line, quoting::Form::ControlsOnly),
              QStringLiteral("BStr:\"a\\\"b\"\\t\\ud800"))
        << "quotes and backslashes as they are";
}

} // namespace
