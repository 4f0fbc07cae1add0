// What finding words in a book needs to know of a character: whether words
// are made of it, whether it is written in runs without spaces (Chinese,
// Japanese, Korean), and its simple case folding.
#pragma once

#include <windows.h>

enum class CharKind : BYTE {
    kSeparator,  // white space, punctuation, symbols: ends a word
    kWord,       // a letter, mark, digit or connector of a word
    kCjk,        // a letter of Chinese, Japanese or Korean text, a word of its own
    kIgnored,    // soft hyphen and the joiners: neither part of a word nor a break
};

// The kind of a code point (U+0000 to U+10FFFF; anything else separates).
CharKind KindOf(char32_t c);
// Unicode simple case folding (statuses C and S of CaseFolding.txt).
char32_t FoldCase(char32_t c);

// The HTML 4 character reference of a name, or XML's "apos" (case matters:
// "Auml" is not "auml"), given as `length` units; 0 when there is none.
char32_t NamedCharacter(const WCHAR* name, size_t length);
