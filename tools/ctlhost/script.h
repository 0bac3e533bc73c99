// The words of a ctlhost script line and the typed arguments they spell.
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "automation/dispatch.h"

namespace ctlhost {

// One blank-separated word. A word may hold one double-quoted part ("a b",
// str:"a b"), which keeps blanks and understands \" \\ \n \r \t \0.
struct Word {
    QString prefix;   // text before the quoted part (or the whole word if unquoted)
    QString text;     // the quoted part, unescaped
    bool quoted = false;
    QString raw() const { return quoted ? prefix + QLatin1Char('"') + text + QLatin1Char('"') : prefix; }
};

// Splits a line into words; nullopt (with why) for an unterminated quote or
// text glued to a closing quote.
std::optional<std::vector<Word>> splitWords(const QString& line, QString* why);

// Looks up objects named by obj:<name> arguments.
using ObjectLookup = std::function<automation::DispatchPtr(const QString& name)>;

// A typed argument:
//   i2:N  i4:N  r8:X  bool:true|false  str:word  str:"text"  "text"
//   missing  empty  obj:<name>  pic:<icon handle>
// and untyped literals: true/false -> Bool, an integer -> I4 (R8 beyond),
// a decimal number -> R8, any other word without a colon -> BStr.
std::optional<automation::Variant> parseArgument(const Word& word, const ObjectLookup& objects, QString* why);

// "#N" (decimal, negative or 0x hexadecimal): the dispatch id N.
std::optional<automation::DispId> parseDispId(const QString& text, QString* why);

} // namespace ctlhost
