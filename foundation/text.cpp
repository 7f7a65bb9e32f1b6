#include "text.h"

#include <cstring>

#include "platform/win32.h"
#include "text_format.h"

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

void TrimBlanks(char* s) {
  char scratch[MAX_PATH];
  const char* start = s;
  while (IsBlank(*start)) ++start;
  CopyText(scratch, sizeof scratch, start);
  size_t n = std::strlen(scratch);
  while (n > 0 && IsBlank(scratch[n - 1])) scratch[--n] = 0;
  std::memcpy(s, scratch, n + 1);
}

void StripLineEnd(char* s) {
  size_t n = std::strlen(s);
  while (n > 0 && (s[n - 1] == '\r' || s[n - 1] == '\n')) s[--n] = 0;
}

char* DupString(const char* s) {
  if (!s) return nullptr;
  size_t n = std::strlen(s) + 1;
  char* copy = new char[n];
  std::memcpy(copy, s, n);
  return copy;
}
