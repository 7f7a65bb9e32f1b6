// The updater runs from a temporary copy that cannot delete itself while it
// runs, so it asks Windows to delete it at the next restart.
#include "foundation/paths.h"
#include "updater.h"

bool IsWindowsNT() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return false;
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void ScheduleSelfRemoval() {
  char ownPath[MAX_PATH], windowsDir[MAX_PATH], wininit[MAX_PATH];
  // Without its own path, or with one cut short (another file), there is
  // nothing to register.
  DWORD length = GetModuleFileNameA(nullptr, ownPath, sizeof ownPath);
  if (length == 0 || length >= sizeof ownPath) return;
  if (IsWindowsNT()) {
    MoveFileExA(ownPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return;
  }
  length = GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
  if (length == 0 || length >= sizeof windowsDir) return;
  if (!JoinPath(wininit, windowsDir, "WININIT.INI")) return;
  // On Windows 95/98 a NUL key in the rename section deletes its file at start-up.
  WritePrivateProfileStringA("rename", "NUL", ownPath, wininit);
}
