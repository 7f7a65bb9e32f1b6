// The string functions of the ANSI code page, CP932.
#include "text_api.h"
#include "wintext/cp932.h"

LPSTR WINAPI lstrcpyA(LPSTR dest, LPCSTR src) {
  if (!dest || !src) return nullptr;
  char* d = dest;
  while ((*d++ = *src++)) {
  }
  return dest;
}

LPSTR WINAPI lstrcatA(LPSTR dest, LPCSTR src) {
  if (!dest || !src) return nullptr;
  lstrcpyA(dest + lstrlenA(dest), src);
  return dest;
}

int WINAPI lstrlenA(LPCSTR s) {
  if (!s) return 0;
  const char* p = s;
  while (*p) ++p;
  return static_cast<int>(p - s);
}

namespace {

// The order of lstrcmpiA is Windows' word sort with letter case ignored:
// control characters, then punctuation and symbols in the order below, then
// digits, then letters; every character that is not ASCII comes after the
// letters, in code order. A hyphen and an apostrophe count only where the
// strings are equal without them.
constexpr char kSymbols[] = " !\"#$%&()*,./:;?@[\\]^_`{|}~+<=>";

struct Weights {
  unsigned short of[128] = {};  // 0: no weight of its own (the hyphen and the apostrophe)
  constexpr Weights() {
    unsigned short next = 1;
    for (int c = 1; c < 0x20; ++c) of[c] = next++;
    of[0x7F] = next++;
    for (const char* s = kSymbols; *s; ++s) of[static_cast<unsigned char>(*s)] = next++;
    for (int c = '0'; c <= '9'; ++c) of[c] = next++;
    for (int c = 'A'; c <= 'Z'; ++c) of[c] = of[c + 0x20] = next++;
  }
};
constexpr Weights kWeights;
constexpr unsigned kPastAscii = 0x100;

bool IsSpecial(unsigned c) { return c == '-' || c == '\''; }

// The weight of the next character, p moved past it.
unsigned NextWeight(const unsigned char*& p) {
  if (*p < 0x80) return kWeights.of[*p++];
  return kPastAscii + wintext::FoldedChar(p);
}

// First the characters that have weights of their own, in order; where they
// are equal, the hyphens and apostrophes by where they stand (the one
// further ahead first) and then which they are (the apostrophe first); a
// string that runs out first is the smaller.
int WordSortNoCase(const unsigned char* a, const unsigned char* b) {
  const unsigned char *pa = a, *pb = b;
  for (;;) {
    while (*pa && IsSpecial(*pa)) ++pa;
    while (*pb && IsSpecial(*pb)) ++pb;
    if (!*pa || !*pb) {
      if (*pa || *pb) return *pa ? 1 : -1;
      break;
    }
    unsigned wa = NextWeight(pa), wb = NextWeight(pb);
    if (wa != wb) return wa < wb ? -1 : 1;
  }
  unsigned ia = 0, ib = 0;  // the place of the character in its string
  for (pa = a, pb = b;;) {
    while (*pa && !IsSpecial(*pa)) NextWeight(pa), ++ia;
    while (*pb && !IsSpecial(*pb)) NextWeight(pb), ++ib;
    if (!*pa || !*pb) return (*pa != 0) - (*pb != 0);
    if (ia != ib) return ia < ib ? -1 : 1;
    if (*pa != *pb) return *pa == '\'' ? -1 : 1;
    ++pa, ++ia;
    ++pb, ++ib;
  }
}

}  // namespace

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
  if (!a || !b) return (a != nullptr) - (b != nullptr);
  return WordSortNoCase(reinterpret_cast<const unsigned char*>(a), reinterpret_cast<const unsigned char*>(b));
}

BOOL WINAPI IsDBCSLeadByte(BYTE c) { return wintext::IsLeadByte(c); }

UINT WINAPI GetACP(void) { return 932; }
