#include "registry.h"

#include <exception>

namespace {

// The games are 32-bit programs and registered themselves in the 32-bit view
// of the registry. A 32-bit program sees that view by itself and names none:
// Windows 2000 and NT 4.0 know no view flags, take them for access rights no
// key grants, and refuse the open (access denied); Windows 9x ignores the
// access asked for altogether. Only a 64-bit build asks for the 32-bit view
// (HKLM\SOFTWARE\Wow6432Node on 64-bit Windows) instead of the 64-bit keys.
#ifdef _WIN64
constexpr REGSAM kAccess = KEY_READ | KEY_WOW64_32KEY;
#else
constexpr REGSAM kAccess = KEY_READ;
#endif

}  // namespace

Registry::Registry(HKEY root_) : root(root_), key(nullptr), uncaught(std::uncaught_exceptions()) {}

Registry::~Registry() noexcept(false) {
  if (!key) return;
  LSTATUS result = RegCloseKey(key);
  key = nullptr;
  if (std::uncaught_exceptions() > uncaught) return;  // never end the process mid-unwind
  if (result != ERROR_SUCCESS) throw Except("レジストリをクローズできません");
}

void Registry::Open(const char* subKey) {
  // Opened into a local first: key stays null on failure whatever the call
  // leaves in its out-parameter.
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, subKey, 0, kAccess, &opened) != ERROR_SUCCESS) throw ExceptOpen(subKey);
  key = opened;
}

DWORD Registry::ReadDword(const char* valueName) {
  DWORD data = 0;
  DWORD size = sizeof data;
  DWORD type;
  if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS)
    throw ExceptRead(valueName);
  return data;
}

void Registry::ReadString(const char* valueName, char* buffer, DWORD size) {
  DWORD stored = size;
  DWORD type;
  if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &stored) != ERROR_SUCCESS)
    throw ExceptRead(valueName);
  // Data stored without its terminating zero gets one after it; data that
  // leaves no room for one is refused like a longer value, as a cut text could
  // name another place.
  if (stored > 0 && stored <= size && buffer[stored - 1] == 0) return;
  if (stored >= size) throw ExceptRead(valueName);
  buffer[stored] = 0;
}
