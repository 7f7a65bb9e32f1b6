// The bounded formatter behind every message and dialog text: wsprintfA's
// conversions, but never a byte past the buffer it is given.
#pragma once

#include <cstdarg>
#include <cstddef>

// Formats into buf (size bytes, size >= 1) and always terminates it. Supports
// %s (with an optional precision, the most bytes taken from the text), %d,
// %u, %ld and %lu (with an optional zero flag and width; a long is 32 bits,
// as on Windows) and %%. A text that does not fit is cut at a character
// boundary (a double-byte character is never split; a precision counts bytes
// and may split one, as wsprintfA's does). Returns the length of the text
// stored.
int FormatText(char* buf, size_t size, const char* format, ...);
int FormatTextV(char* buf, size_t size, const char* format, va_list args);

// Copies src into dest (size bytes) the same way: cut at a character boundary,
// always terminated. Returns the length stored.
size_t CopyText(char* dest, size_t size, const char* src);
// The same for the first length bytes of src.
size_t CopyText(char* dest, size_t size, const char* src, size_t length);
