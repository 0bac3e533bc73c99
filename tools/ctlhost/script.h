// The words of a ctlhost script line, the typed arguments they spell, and the
// escapes of quoted text.
#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "automation/dispatch.h"
#include "automation/result.h"

namespace ctlhost {

// A mistake in the script itself, as opposed to an error raised by a control
// or the runtime; it prints as "error: line N: <description>". No runtime
// error has the number 0.
constexpr std::int32_t ScriptMistake = 0;
inline automation::Error mistake(const QString &description) {
    return {ScriptMistake, description, {}};
}

// One blank-separated word. A word may hold one double-quoted part ("a b",
// str:"a b"), which keeps blanks and understands the escapes of quoted text
// (automation/escape.h).
struct Word {
    QString prefix; // text before the quoted part (or the whole word if unquoted)
    QString text;   // the quoted part, unescaped
    bool quoted = false;
    QString written; // the word as the script writes it
    const QString &raw() const { return written; }
};

// Splits a line into words; fails on an unterminated quote, an unknown or
// incomplete escape, or text glued to a closing quote.
automation::Result<std::vector<Word>> splitWords(const QString &line);

// A file a script names (a bag, a picture), read whole: a regular file of at
// most `cap` bytes; anything else is a mistake saying why, found at once.
automation::Result<QByteArray> readInputFile(const QString &file, qint64 cap);

// Looks up objects named by obj:<name> arguments.
using ObjectLookup = std::function<automation::DispatchPtr(const QString &name)>;

// A typed argument:
//   i2:N  i4:N  r8:X  bool:true|false  str:word  str:"text"  "text"
//   missing  empty  obj:<name>  pic:<icon handle>
// and untyped literals: true/false -> Bool, an integer -> I4 (R8 beyond),
// a decimal number -> R8, any other word without a colon -> BStr.
automation::Result<automation::Variant> parseArgument(const Word &word,
                                                      const ObjectLookup &objects);

// "#N" (decimal, negative or 0x hexadecimal): the dispatch id N.
automation::Result<automation::DispId> parseDispId(const QString &text);

} // namespace ctlhost
