// GetTempPathA: the host's temporary directory, in its Windows form.
#include <cstdlib>
#include <cstring>
#include <string>

#include "wintext/cp932.h"
#include "platform/posix/text/errors.h"
#include "platform/posix/files/paths.h"
#include "process_api.h"

using namespace posix;

namespace {

// Whether s ends in a backslash of its own, not in the trail byte of ソ or 表.
bool EndsInSeparator(const std::string& s) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < s.size(); ++i) {
    last = i;
    if (wintext::IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ++i;
  }
  return last != std::string::npos && s[last] == '\\';
}

}  // namespace

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) {
  // Windows looks at TMP, then TEMP; TMPDIR is where the host keeps it.
  const char* host = "/tmp";
  for (const char* name : {"TMP", "TEMP", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      host = value;
      break;
    }
  }
  std::string windows;
  if (!WindowsPath(host, &windows)) {
    Fail(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  if (!EndsInSeparator(windows)) windows += '\\';
  // Too small a buffer gets nothing and the size needed, terminator included.
  if (windows.size() >= size) return static_cast<DWORD>(windows.size() + 1);
  if (!buffer) {
    Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::memcpy(buffer, windows.c_str(), windows.size() + 1);
  return static_cast<DWORD>(windows.size());
}
