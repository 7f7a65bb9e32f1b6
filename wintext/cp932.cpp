#include "cp932.h"

#include <iconv.h>

#include <cerrno>

namespace wintext {
namespace {

bool Run(iconv_t cd, std::string_view in, std::string* out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh start after a failed run
  out->clear();
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char chunk[256];
  while (srcLeft > 0) {
    char* dst = chunk;
    size_t dstLeft = sizeof chunk;
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out->append(chunk, dst - chunk);
    if (r == (size_t)-1 && errno != E2BIG) return false;
  }
  return true;
}

bool Convert(const char* to, const char* from, std::string_view in, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == (iconv_t)-1) return false;
  bool ok = Run(cd, in, out);
  iconv_close(cd);
  return ok;
}

// Opening a conversion costs more than most conversions do: the two that
// every path and registry name goes through are opened once per thread.
// They are closed when the thread ends.
struct KeptConversions {
  iconv_t cd[2] = {(iconv_t)-1, (iconv_t)-1};
  KeptConversions() = default;
  KeptConversions(const KeptConversions&) = delete;
  KeptConversions& operator=(const KeptConversions&) = delete;
  ~KeptConversions() {
    for (iconv_t c : cd)
      if (c != (iconv_t)-1) iconv_close(c);
  }
};

bool ConvertKept(bool toUtf8, std::string_view in, std::string* out) {
  thread_local KeptConversions kept;
  iconv_t& cd = kept.cd[toUtf8];
  if (cd == (iconv_t)-1) cd = toUtf8 ? iconv_open("UTF-8", "CP932") : iconv_open("CP932", "UTF-8");
  return cd != (iconv_t)-1 && Run(cd, in, out);
}

}  // namespace

bool Cp932ToUtf8(std::string_view in, std::string* out) { return ConvertKept(true, in, out); }

bool Utf8ToCp932(std::string_view in, std::string* out) { return ConvertKept(false, in, out); }

bool ConvertCp932(std::string_view in, const char* codeset, std::string* out, bool fromCp932) {
  return fromCp932 ? Convert(codeset, "CP932", in, out) : Convert("CP932", codeset, in, out);
}

unsigned FoldedChar(const unsigned char*& p) {
  unsigned c = *p++;
  if (IsLeadByte(c) && *p) {
    c = (c << 8) | *p++;
    if (c >= 0x8281 && c <= 0x829A) return c - 0x21;  // full-width a..z
    if (c >= 0x83BF && c <= 0x83D6) return c - 0x20;  // Greek
    if (c >= 0x8470 && c <= 0x8491 && c != 0x847F)    // Cyrillic, 0x847F unused
      return 0x8440 + (c - 0x8470) - (c > 0x847F ? 1 : 0);
    return c;
  }
  if (c >= 'a' && c <= 'z') return c - 0x20;
  return c;
}

int CompareNoCase(const char* a, const char* b) {
  auto pa = reinterpret_cast<const unsigned char*>(a);
  auto pb = reinterpret_cast<const unsigned char*>(b);
  for (;;) {
    if (!*pa || !*pb) return (*pa != 0) - (*pb != 0);
    unsigned ca = FoldedChar(pa), cb = FoldedChar(pb);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
}

}  // namespace wintext
