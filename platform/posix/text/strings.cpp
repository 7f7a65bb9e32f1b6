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

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
  if (!a || !b) return (a != nullptr) - (b != nullptr);
  return wintext::CompareNoCase(a, b);
}

BOOL WINAPI IsDBCSLeadByte(BYTE c) { return wintext::IsLeadByte(c); }

UINT WINAPI GetACP(void) { return 932; }
