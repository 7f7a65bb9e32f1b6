// What Windows allows in a file name, for the POSIX layer that maps names and
// for the tools that make media the updater will read.
#pragma once

#include <string_view>

namespace wintext {

// Whether Windows refuses the single-byte character c in a name: a control
// character or one of < > : " | ? *.
bool IsForbiddenNameChar(unsigned char c);

// Whether every character of name (CP932) may stand in a Windows name; a trail
// byte belongs to its character and is never taken for one of its own.
bool IsValidName(std::string_view name);

// Whether name is the name of a DOS device (CON, PRN, AUX, NUL, COM1 to COM9,
// LPT1 to LPT9), with or without an extension, in any letter case.
bool IsDeviceName(std::string_view name);

}  // namespace wintext
