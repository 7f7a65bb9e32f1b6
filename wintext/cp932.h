// Code page 932 (Shift-JIS as Windows has it), the ANSI code page of the
// system the POSIX layer stands in for, and of every text of the update
// script and the medium.
#pragma once

#include <string>
#include <string_view>

namespace wintext {

// A byte that begins a double-byte character.
inline bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Conversions between CP932 and UTF-8, the encoding of host file names and of
// the terminal. They fail on bytes that the source encoding does not define.
bool Cp932ToUtf8(std::string_view in, std::string* out);
bool Utf8ToCp932(std::string_view in, std::string* out);
// Between CP932 and another encoding (iconv's name for it), either way.
bool ConvertCp932(std::string_view in, const char* codeset, std::string* out, bool fromCp932);

// The next character of a CP932 string as a number (a byte, or a lead byte
// and its trail byte as lead * 256 + trail), folded to upper case as
// CompareNoCase folds it; p moves past it. A lead byte that ends the string
// counts as a character of its own.
unsigned FoldedChar(const unsigned char*& p);

// Compares two CP932 strings ignoring case, character by character: ASCII
// letters and the full-width Latin, Greek and Cyrillic letters fold; a trail
// byte is never taken for a letter of its own. Returns <0, 0 or >0.
int CompareNoCase(const char* a, const char* b);

}  // namespace wintext
