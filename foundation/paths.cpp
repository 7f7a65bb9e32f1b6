#include "paths.h"

#include "platform/win32.h"
#include "text_format.h"

namespace {

constexpr size_t kPathSize = MAX_PATH;

bool IsLead(const char* p) { return IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]; }

// The position of the last single-byte backslash in s, or null.
const char* LastSeparator(const char* s) {
  const char* last = nullptr;
  for (const char* p = s; *p; ++p) {
    if (IsLead(p))
      ++p;
    else if (*p == '\\')
      last = p;
  }
  return last;
}

// Whether s ends in a backslash that is a character of its own.
bool EndsInSeparator(const char* s) {
  const char* lastChar = nullptr;
  for (const char* p = s; *p; ++p) {
    lastChar = p;
    if (IsLead(p)) ++p;
  }
  return lastChar && *lastChar == '\\';
}

}  // namespace

bool JoinPath(char* dest, const char* directory, const char* name) {
  size_t n = CopyText(dest, kPathSize, directory);
  bool fits = directory[n] == 0;
  if (!EndsInSeparator(dest)) {
    if (n + 1 < kPathSize)
      dest[n++] = '\\';
    else
      fits = false;
  }
  return name[CopyText(dest + n, kPathSize - n, name)] == 0 && fits;
}

bool SplitPath(char* directory, char* name, const char* path) {
  const char* separator = LastSeparator(path);
  if (!separator) {
    directory[0] = 0;
    return path[CopyText(name, kPathSize, path)] == 0;
  }
  size_t length = static_cast<size_t>(separator - path);
  bool fits = CopyText(directory, kPathSize, path, length) == length;
  return separator[1 + CopyText(name, kPathSize, separator + 1)] == 0 && fits;
}

bool HasParentComponent(const char* name) {
  int dots = 0;
  bool onlyDotsAndBlanks = true;
  for (const char* p = name;; ++p) {
    if (*p == 0 || *p == '\\' || *p == '/') {
      if (onlyDotsAndBlanks && dots >= 2) return true;
      if (*p == 0) return false;
      dots = 0;
      onlyDotsAndBlanks = true;
    } else if (IsLead(p)) {
      onlyDotsAndBlanks = false;
      ++p;
    } else if (*p == '.') {
      ++dots;
    } else if (*p != ' ') {
      onlyDotsAndBlanks = false;
    }
  }
}
