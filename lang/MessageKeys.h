// Every key the installer looks up in a language file, with how it reads the
// value and how many texts fill its placeholders. One list for the installer's
// code and for the language-file checker (tools/lngcheck); a new lookup adds
// its key here.
#pragma once

#include <cstddef>

namespace orfa {

enum class KeyLookup {
  Text,   // LangTextPiece / LangFormatCoded: the one line after the header
  Lines,  // LangLinesPiece / LangFormatLinesCoded: the lines up to the next blank one
};

struct MessageKey {
  const char* key;
  KeyLookup lookup;
  int texts;  // the texts supplied for "%1".."%n"; 0 for a plain lookup
  bool integer;  // every line must be a decimal integer
};

// The payload's title key is not here: the build chooses it ("accordion" for
// the sample); it is read with LangTextPiece and gets no texts.
constexpr MessageKey kMessageKeys[] = {
    {"progname", KeyLookup::Text, 0, false},
    {"langcode", KeyLookup::Lines, 0, true},
    {"langver", KeyLookup::Text, 0, true},
    {"soundquest", KeyLookup::Text, 0, false},
    {"olderfilever", KeyLookup::Lines, 1, false},
    {"noright", KeyLookup::Lines, 0, false},
    {"filecantopen", KeyLookup::Lines, 1, false},
    {"liveupdatecaption", KeyLookup::Text, 0, false},
    {"installask", KeyLookup::Lines, 2, false},
    {"installdone", KeyLookup::Text, 1, false},
    {"asktorun", KeyLookup::Text, 0, false},
    {"badinstaller", KeyLookup::Lines, 0, false},
    {"verificationfail", KeyLookup::Lines, 0, false},
};

}  // namespace orfa
