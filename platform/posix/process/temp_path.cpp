// GetTempPathA: the temporary folder of the prefix's own user, as Wine gives
// it, or the folder that TMP or TEMP names.
//
// The host's /tmp is no place for it: every user of the machine may write
// there, so a link or a file planted under the names this system writes (the
// updater's copy, the pieces of split files) would have it write, run and
// register for deletion whatever the planter chose, with the rights of the
// user who runs the update. TMPDIR no longer counts either: it names the
// host's shared area (or, where a session sets it, one that Windows programs
// are never shown), whereas TMP and TEMP are what a Windows user sets.
#include <errno.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "wintext/cp932.h"
#include "platform/posix/text/errors.h"
#include "platform/posix/files/paths.h"
#include "platform/posix/files/syscalls.h"
#include "platform/posix/registry/registry_api.h"
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

// A text value (REG_SZ or REG_EXPAND_SZ) of a registry key, or false.
bool TextValue(HKEY root, const char* subKey, REGSAM view, const char* name, std::string* text) {
  HKEY key;
  if (RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return false;
  char data[1024];
  DWORD type = REG_NONE, size = sizeof data - 1;
  bool ok = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ);
  RegCloseKey(key);
  if (!ok) return false;
  data[size] = 0;  // a value stored without its terminator
  *text = data;
  return !text->empty();
}

bool UserEnvironment(const char* name, std::string* text) {
  return TextValue(HKEY_CURRENT_USER, "Environment", 0, name, text);
}

bool Expand(const std::string& text, bool profileKnown, std::string* out);

// The user's profile folder: the one the prefix lists for its user (Wine's
// user has the same id in every prefix), else C:\users\<the host user's name>,
// where Wine makes it.
std::string ProfileFolder() {
  std::string listed, expanded;
  if (TextValue(HKEY_LOCAL_MACHINE,
                "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000",
                KEY_WOW64_64KEY, "ProfileImagePath", &listed) &&
      Expand(listed, false, &expanded))
    return expanded;
  std::string name;
  if (struct passwd* pw = getpwuid(getuid())) name = pw->pw_name;
  if (name.empty())
    if (const char* user = std::getenv("USER")) name = user;
  std::string cp932;
  if (name.empty() || !wintext::Utf8ToCp932(name, &cp932)) cp932 = "user";
  return "C:\\users\\" + cp932;
}

// Expands the %NAME% of a REG_EXPAND_SZ text: the profile and the system's
// folders, and the other values of the user's environment (taken as they
// stand). False for a name that none of these gives: the text is then no path.
bool Expand(const std::string& text, bool profileKnown, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size();) {
    size_t open = text.find('%', i);
    if (open == std::string::npos) {
      out->append(text, i, std::string::npos);
      break;
    }
    size_t close = text.find('%', open + 1);
    if (close == std::string::npos) return false;
    out->append(text, i, open - i);
    std::string name = text.substr(open + 1, close - open - 1), value;
    if (lstrcmpiA(name.c_str(), "USERPROFILE") == 0 && profileKnown) {
      value = ProfileFolder();
    } else if (lstrcmpiA(name.c_str(), "SystemDrive") == 0) {
      value = "C:";
    } else if (lstrcmpiA(name.c_str(), "SystemRoot") == 0 || lstrcmpiA(name.c_str(), "windir") == 0) {
      char windows[MAX_PATH];
      UINT n = GetWindowsDirectoryA(windows, sizeof windows);
      if (n == 0 || n >= sizeof windows) return false;
      value = windows;
    } else if (!UserEnvironment(name.c_str(), &value) || value.find('%') != std::string::npos) {
      return false;
    }
    out->append(value);
    i = close + 1;
  }
  return true;
}

// Makes the missing folders of a host path, each for its owner alone.
DWORD MakeFolders(const std::string& host) {
  struct stat st;
  if (sys.stat(host.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
  for (size_t slash = host.find('/', 1);; slash = host.find('/', slash + 1)) {
    std::string part = host.substr(0, slash);
    if (!part.empty() && part.back() != '/' && sys.mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
      return errno == EACCES || errno == EPERM || errno == EROFS ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
    if (slash == std::string::npos) break;
  }
  return sys.stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
}

// The prefix user's temporary folder: TMP, else TEMP, of the user's
// environment in the registry, as Wine sets them for its programs, else
// %USERPROFILE%\Temp. It is made when missing.
DWORD UsersTempFolder(std::string* windows) {
  std::string value;
  if (!(UserEnvironment("TMP", &value) && Expand(value, true, windows)) &&
      !(UserEnvironment("TEMP", &value) && Expand(value, true, windows)))
    *windows = ProfileFolder() + "\\Temp";
  std::string host;
  if (DWORD err = MapPath(windows->c_str(), &host)) return err;
  return MakeFolders(host);
}

}  // namespace

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) {
  // Windows looks at TMP, then TEMP.
  const char* chosen = nullptr;
  for (const char* name : {"TMP", "TEMP"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      chosen = value;
      break;
    }
  }
  std::string windows;
  if (chosen && !WindowsPath(chosen, &windows)) {
    Fail(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  if (!chosen) {
    if (DWORD err = UsersTempFolder(&windows)) {
      Fail(err);
      return 0;
    }
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
