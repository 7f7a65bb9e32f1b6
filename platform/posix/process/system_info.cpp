// What the system says of itself: its version, its Windows directory, and the
// texts of its error codes.
#include <cstring>
#include <string>

#include "platform/posix/text/errors.h"
#include "platform/posix/registry/registry_api.h"
#include "process_api.h"

namespace {

struct Version {
  const char* name;
  DWORD major, minor, build, platform;
  const char* servicePack;
};

// Windows 7, unless the prefix names another version the way Wine's
// configuration does (HKCU\Software\Wine, value Version).
const Version kVersions[] = {
    {"win7", 6, 1, 7601, VER_PLATFORM_WIN32_NT, "Service Pack 1"},
    {"winxp", 5, 1, 2600, VER_PLATFORM_WIN32_NT, "Service Pack 3"},
    {"win2k", 5, 0, 2195, VER_PLATFORM_WIN32_NT, "Service Pack 4"},
    {"nt40", 4, 0, 1381, VER_PLATFORM_WIN32_NT, "Service Pack 6a"},
    {"win95", 4, 0, 950, VER_PLATFORM_WIN32_WINDOWS, ""},
    {"win98", 4, 10, 2222, VER_PLATFORM_WIN32_WINDOWS, " A "},
    {"winme", 4, 90, 3000, VER_PLATFORM_WIN32_WINDOWS, " "},
};

const Version& ConfiguredVersion() {
  HKEY key;
  char name[32] = "";
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine", 0, KEY_READ, &key) == ERROR_SUCCESS) {
    DWORD size = sizeof name - 1;
    if (RegQueryValueExA(key, "Version", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size) != ERROR_SUCCESS)
      name[0] = 0;
    name[size < sizeof name ? size : sizeof name - 1] = 0;
    RegCloseKey(key);
  }
  for (const Version& v : kVersions)
    if (lstrcmpiA(v.name, name) == 0) return v;
  return kVersions[0];
}

}  // namespace

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
  const Version& v = ConfiguredVersion();
  if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    // Windows 9x refuses a record of another size without a word.
    if (v.platform == VER_PLATFORM_WIN32_WINDOWS) return FALSE;
    return posix::Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  info->dwMajorVersion = v.major;
  info->dwMinorVersion = v.minor;
  info->dwBuildNumber = v.platform == VER_PLATFORM_WIN32_NT ? v.build : (v.major << 24 | v.minor << 16 | v.build);
  info->dwPlatformId = v.platform;
  std::strncpy(info->szCSDVersion, v.servicePack, sizeof info->szCSDVersion - 1);
  info->szCSDVersion[sizeof info->szCSDVersion - 1] = 0;
  return TRUE;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  static const char kDirectory[] = "C:\\windows";
  if (size < sizeof kDirectory) return sizeof kDirectory;  // the size needed, terminator included
  std::memcpy(buffer, kDirectory, sizeof kDirectory);
  return sizeof kDirectory - 1;
}
