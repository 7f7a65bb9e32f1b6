#include "utf16.h"

#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "wintext/cp932.h"

namespace posix {
namespace {

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The code point at in[*i], stepping over it; an unpaired surrogate comes back
// as itself.
char32_t NextCodePoint(std::u16string_view in, size_t* i) {
  char32_t c = in[(*i)++];
  if (IsHighSurrogate(c) && *i < in.size() && IsLowSurrogate(in[*i]))
    c = 0x10000 + ((c - 0xD800) << 10) + (in[(*i)++] - 0xDC00);
  return c;
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(char32_t c, std::u16string* out) {
  if (c < 0x10000) {
    *out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    *out += static_cast<char16_t>(0xD800 + (c >> 10));
    *out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

}  // namespace

bool Cp932ToUtf16(std::string_view in, std::u16string* out) {
  std::string utf8;
  if (!wintext::Cp932ToUtf8(in, &utf8)) return false;
  out->clear();
  AppendUtf8AsUtf16(utf8, out);
  return true;
}

std::string Utf16ToCp932(std::u16string_view in) {
  std::string out;
  out.reserve(in.size());
  iconv_t cd = reinterpret_cast<iconv_t>(-1);
  for (size_t i = 0; i < in.size();) {
    char32_t c = NextCodePoint(in, &i);
    if (c < 0x80) {  // CP932 is ASCII below 0x80
      out += static_cast<char>(c);
      continue;
    }
    if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      out += '?';
      continue;
    }
    if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("CP932", "UTF-8");
    std::string utf8;
    AppendUtf8(c, &utf8);
    char converted[8];
    char* src = &utf8[0];
    size_t srcLeft = utf8.size();
    char* dst = converted;
    size_t dstLeft = sizeof converted;
    if (cd != reinterpret_cast<iconv_t>(-1) && iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1))
      out.append(converted, dst - converted);
    else
      out += '?';
  }
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  return out;
}

void AppendUtf8AsUtf16(std::string_view in, std::u16string* out) {
  out->reserve(out->size() + in.size());
  auto p = reinterpret_cast<const unsigned char*>(in.data());
  size_t n = in.size();
  for (size_t i = 0; i < n;) {
    // A run of ASCII, found eight bytes at a time, widens unit for unit.
    size_t ascii = i;
    for (uint64_t word; ascii + 8 <= n; ascii += 8) {
      std::memcpy(&word, p + ascii, 8);
      if (word & 0x8080808080808080u) break;
    }
    while (ascii < n && p[ascii] < 0x80) ++ascii;
    size_t at = out->size();
    out->resize(at + (ascii - i));
    std::copy(p + i, p + ascii, &(*out)[at]);
    i = ascii;
    if (i == n) break;
    unsigned char b = p[i];  // begins a sequence of two to four bytes, or none
    int length = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    char32_t c = length == 2 ? b & 0x1F : length == 3 ? b & 0x0F : b & 0x07;
    bool valid = length > 0 && i + length <= n;
    for (int k = 1; valid && k < length; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (p[i + k] & 0x3F);
    }
    // Overlong forms, encoded surrogates and values past U+10FFFF are no UTF-8.
    static const char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid && (c < kMinimum[length] || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c))) valid = false;
    if (!valid) {
      *out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    AppendUtf16(c, out);
    i += length;
  }
}

char16_t FoldCase(char16_t c) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 0x20 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;  // Latin-1
  if (c == 0xFF) return 0x178;
  if (c == 0x3C2) return 0x3A3;                   // final sigma
  if (c >= 0x3B1 && c <= 0x3C9) return c - 0x20;  // Greek
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;  // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;  // full-width Latin
  return c;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

}  // namespace posix
