// UTF-16 text, as the registry keeps names and string data: conversion from
// and to the ANSI code page (CP932), and comparison ignoring case.
#pragma once

#include <string>
#include <string_view>

namespace posix {

// CP932 to UTF-16. False on a byte sequence that CP932 does not define.
bool Cp932ToUtf16(std::string_view in, std::u16string* out);

// UTF-16 to CP932 as Windows converts for the ANSI calls: a character that
// CP932 cannot write, or an unpaired surrogate, becomes '?'. Zero units are
// kept, so that a list of strings keeps its separators.
std::string Utf16ToCp932(std::u16string_view in);

// Appends UTF-8 text to out in UTF-16. A byte that begins no UTF-8 character
// is taken as the Latin-1 character of the same value, so that any byte
// string decodes.
void AppendUtf8AsUtf16(std::string_view in, std::u16string* out);

// A UTF-16 unit folded to upper case for comparing names: the letters of
// ASCII, Latin-1, Greek, Cyrillic and the full-width Latin letters, which
// covers every letter that a CP932 name can hold.
char16_t FoldCase(char16_t c);

// Whether a and b are equal ignoring case.
bool EqualNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace posix
