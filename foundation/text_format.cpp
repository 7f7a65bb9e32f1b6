#include "text_format.h"

#include <cstdint>

#include "platform/win32.h"

namespace {

// Appends bytes to a bounded buffer, refusing a lead byte whose trail byte
// would not fit.
struct Sink {
  char* buf;
  size_t room;  // bytes that may still be stored, the terminator excluded
  size_t length = 0;
  bool full = false;

  void Put(const char* s, size_t n) {
    for (size_t i = 0; i < n && !full; ++i) {
      bool lead = IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < n;
      size_t need = lead ? 2 : 1;
      if (length + need > room) {
        full = true;
        break;
      }
      buf[length++] = s[i];
      if (lead) buf[length++] = s[++i];
    }
  }
};

size_t Length(const char* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

}  // namespace

int FormatTextV(char* buf, size_t size, const char* format, va_list args) {
  if (size == 0) return 0;
  Sink out{buf, size - 1};
  for (const char* p = format; *p && !out.full; ++p) {
    if (*p != '%') {
      // Literal text: keep a double-byte character of the format together.
      size_t n = IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] ? 2 : 1;
      out.Put(p, n);
      p += n - 1;
      continue;
    }
    ++p;
    bool zero = false;
    int width = 0;
    if (*p == '0') {
      zero = true;
      ++p;
    }
    while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
    // A precision cuts a text after that many bytes, as wsprintfA does, also
    // inside a double-byte character.
    size_t precision = SIZE_MAX;
    if (*p == '.' && p[1] >= '0' && p[1] <= '9') {
      const char* q = p + 1;
      size_t n = 0;
      while (*q >= '0' && *q <= '9') n = n * 10 + static_cast<size_t>(*q++ - '0');
      if (*q == 's') {
        precision = n;
        p = q;
      }
    }
    // Windows' long is 32 bits wide, so %ld and %lu take what %d and %u take.
    if (*p == 'l' && (p[1] == 'd' || p[1] == 'u')) ++p;
    char digits[24];
    char* end = digits + sizeof digits;
    char* d = end;
    bool negative = false;
    switch (*p) {
      case 's': {
        const char* s = va_arg(args, const char*);
        if (!s) s = "(null)";
        size_t n = 0;
        while (n < precision && s[n]) ++n;
        out.Put(s, n);
        continue;
      }
      case 'd': {
        int v = va_arg(args, int);
        negative = v < 0;
        uint32_t u = negative ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
        do *--d = static_cast<char>('0' + u % 10);
        while (u /= 10);
        break;
      }
      case 'u': {
        uint32_t u = va_arg(args, unsigned);
        do *--d = static_cast<char>('0' + u % 10);
        while (u /= 10);
        break;
      }
      case '%':
        out.Put("%", 1);
        continue;
      default:  // an unknown conversion is shown as written
        out.Put("%", 1);
        if (!*p) {
          --p;  // the loop's step lands on the terminator
          continue;
        }
        out.Put(p, 1);
        continue;
    }
    int len = static_cast<int>(end - d) + (negative ? 1 : 0);
    if (negative && zero) out.Put("-", 1);
    for (; len < width; ++len) out.Put(zero ? "0" : " ", 1);
    if (negative && !zero) out.Put("-", 1);
    out.Put(d, end - d);
  }
  buf[out.length] = 0;
  return static_cast<int>(out.length);
}

int FormatText(char* buf, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = FormatTextV(buf, size, format, args);
  va_end(args);
  return n;
}

size_t CopyText(char* dest, size_t size, const char* src) { return CopyText(dest, size, src, Length(src)); }

size_t CopyText(char* dest, size_t size, const char* src, size_t length) {
  if (size == 0) return 0;
  Sink out{dest, size - 1};
  out.Put(src, length);
  dest[out.length] = 0;
  return out.length;
}
