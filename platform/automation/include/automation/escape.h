// Quoted text, as property bags store strings and ctlhost's scripts and
// output write them: the one set of escapes both ways.
//
//   \\  \"  \n  \r  \t  \0   the character itself
//   \xHH                     the character of code HH (two hexadecimal digits)
//   \uHHHH                   the UTF-16 unit HHHH (four hexadecimal digits)
//
// Written: a backslash and a quote (in quoted text only), LF, CR, tab and NUL
// by their letters, the other control characters (U+0001 to U+001F, U+007F
// to U+009F) as \xHH, a UTF-16 surrogate without its other half as \uHHHH
// (UTF-8 cannot carry one); everything else as it is. Read: any other escape
// is an error.
#pragma once

#include <QString>
#include <QStringView>

#include "automation/result.h"

namespace automation::quoting {

// How much escape() writes.
enum class Form {
    Quoted,       // between quotes, backslashes and quotes escaped: reads back as the same text
    ControlsOnly, // no quotes, backslashes and quotes as they are: a line of output
};

QString escape(QStringView text, Form form);

// Reads quoted text whose opening quote is just before `at`, up to its
// closing quote, and moves `at` past that quote. Fails, saying why, on an
// unknown escape, an \x or \u without its digits, or a missing closing quote.
Result<QString> readQuoted(QStringView line, qsizetype &at);

} // namespace automation::quoting
