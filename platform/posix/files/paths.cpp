#include "paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "wintext/cp932.h"
#include "wintext/windows_name.h"
#include "syscalls.h"

namespace posix {
namespace {

bool IsSeparator(unsigned char c) { return c == '\\' || c == '/'; }

// Whether a CP932 name holds a backslash of its own, not the second byte of a
// double-byte character.
bool HasSingleByteBackslash(const std::string& name) {
  for (size_t i = 0; i < name.size(); ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    if (wintext::IsLeadByte(c) && i + 1 < name.size())
      ++i;
    else if (c == '\\')
      return true;
  }
  return false;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return sys.stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A Windows path taken apart: its drive letter and its components.
struct WindowsName {
  char drive = 0;
  std::vector<std::string> parts;
  bool trailingSeparator = false;
};

// Splits text at single-byte separators; a trail byte 0x5C stays in its name.
void SplitComponents(const char* text, std::vector<std::string>* parts, bool* trailing) {
  std::string part;
  *trailing = false;
  for (auto p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (wintext::IsLeadByte(*p) && p[1]) {
      part += static_cast<char>(*p++);
      part += static_cast<char>(*p);
      *trailing = false;
    } else if (IsSeparator(*p)) {
      if (!part.empty()) parts->push_back(part);
      part.clear();
      *trailing = true;
    } else {
      part += static_cast<char>(*p);
      *trailing = false;
    }
  }
  if (!part.empty()) parts->push_back(part);
}

// Windows drops a single final period of a name, and every final period and
// blank of the last name of a path that does not end in a separator.
void TrimName(std::string* name, bool last) {
  if (last) {
    while (!name->empty() && (name->back() == '.' || name->back() == ' ')) name->pop_back();
  } else if (name->size() >= 2 && name->back() == '.' && (*name)[name->size() - 2] != '.') {
    name->pop_back();
  }
}

std::string DriveDir(char letter) { return PrefixDir() + "/dosdevices/" + letter + ":"; }

// What a drive's entry in dosdevices is: a link's target, or why there is none
// (ENOENT for a missing drive, EINVAL for a folder of its own). One call, and
// nothing behind the entry is resolved.
struct DriveLink {
  int error = 0;
  std::string target;
  bool operator==(const DriveLink& other) const { return error == other.error && target == other.target; }
};

DriveLink ReadDriveLink(char letter) {
  DriveLink link;
  char buf[PATH_MAX];
  ssize_t n = sys.readlink(DriveDir(letter).c_str(), buf, sizeof buf);
  if (n < 0) {
    link.error = errno;
  } else {
    link.target.assign(buf, static_cast<size_t>(n));
  }
  return link;
}

// The drives that the prefix has an entry for, one bit a letter from a: on:
// one look at dosdevices, however many drives there are.
uint32_t DriveLetters() {
  uint32_t letters = 0;
  DIR* dir = sys.opendir((PrefixDir() + "/dosdevices").c_str());
  if (!dir) return 0;
  while (struct dirent* entry = sys.readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] >= 'a' && name[0] <= 'z' && name[1] == ':' && name[2] == 0) letters |= 1u << (name[0] - 'a');
  }
  sys.closedir(dir);
  return letters;
}

// The current directory in its Windows form. Working it out from the host's
// working directory looks at every drive of the prefix, so the form is kept
// for as long as the working directory, the prefix and the link of the drive
// it lies on are what they were when it was worked out: a disk change
// re-points the medium's drive, and the next relative path sees it. The links
// of the other drives do not move the current directory, as on Windows.
struct KeptCurrentDirectory {
  bool valid = false;
  std::string prefix;
  std::string host;
  char drive = 0;
  DriveLink link;
  std::vector<std::string> parts;
};

DWORD CurrentDirectory(WindowsName* out) {
  static KeptCurrentDirectory kept;
  char buf[PATH_MAX];
  if (!sys.getcwd(buf, sizeof buf)) return ERROR_PATH_NOT_FOUND;
  std::string prefix = PrefixDir();
  if (!kept.valid || kept.host != buf || kept.prefix != prefix || !(ReadDriveLink(kept.drive) == kept.link)) {
    kept.valid = false;
    std::string windows;
    if (!WindowsPath(buf, &windows)) return ERROR_PATH_NOT_FOUND;
    kept.prefix = prefix;
    kept.host = buf;
    kept.drive = static_cast<char>(windows[0] | 0x20);
    kept.link = ReadDriveLink(kept.drive);
    kept.parts.clear();
    bool trailing;
    SplitComponents(windows.c_str() + 2, &kept.parts, &trailing);
    kept.valid = true;
  }
  out->drive = kept.drive;
  out->parts = kept.parts;
  return ERROR_SUCCESS;
}

DWORD Parse(const char* path, WindowsName* name) {
  auto p = reinterpret_cast<const unsigned char*>(path);
  if (IsSeparator(p[0]) && IsSeparator(p[1])) return ERROR_BAD_NETPATH;  // UNC and devices
  const char* rest = path;
  bool hasDrive = ((p[0] | 0x20) >= 'a' && (p[0] | 0x20) <= 'z') && p[1] == ':';
  if (hasDrive) {
    name->drive = static_cast<char>(p[0] | 0x20);
    rest = path + 2;
  }
  // Only a path without a drive, or "X:name", needs the current directory.
  if (!hasDrive || !IsSeparator(*rest)) {
    WindowsName current;
    bool haveCurrent = CurrentDirectory(&current) == ERROR_SUCCESS;
    if (hasDrive) {
      // "X:name" is relative to the current directory when X is its drive.
      if (haveCurrent && current.drive == name->drive) name->parts = current.parts;
    } else {
      if (!haveCurrent) return ERROR_PATH_NOT_FOUND;
      name->drive = current.drive;
      if (!IsSeparator(*rest)) name->parts = current.parts;
    }
  }
  std::vector<std::string> parts;
  SplitComponents(rest, &parts, &name->trailingSeparator);
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string& part = parts[i];
    if (part == ".") continue;
    if (part == "..") {
      if (!name->parts.empty()) name->parts.pop_back();
      continue;
    }
    TrimName(&part, i + 1 == parts.size() && !name->trailingSeparator);
    if (part.empty()) continue;
    if (!wintext::IsValidName(part)) return ERROR_INVALID_NAME;
    name->parts.push_back(part);
  }
  // The full path, "X:" and a backslash before each name (the root alone is
  // "X:\"), must leave room for the terminator in MAX_PATH.
  size_t length = 2;
  for (const auto& part : name->parts) length += part.size() + 1;
  if (name->parts.empty() || name->trailingSeparator) ++length;
  if (length >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  return ERROR_SUCCESS;
}

// Parse for a path a caller gave, which may be null or empty.
DWORD ParseGiven(const char* path, WindowsName* name) {
  if (!path) return ERROR_INVALID_PARAMETER;
  if (!*path) return ERROR_PATH_NOT_FOUND;
  return Parse(path, name);
}

// The host name of one component inside dir: the exact name if it exists,
// else the entry whose name is equal ignoring case. False when neither exists.
bool FindEntry(const std::string& dir, const std::string& cp932Name, const std::string& utf8Name,
               std::string* found) {
  struct stat st;
  if (sys.lstat((dir + "/" + utf8Name).c_str(), &st) == 0) {
    *found = utf8Name;
    return true;
  }
  DIR* d = sys.opendir(dir.c_str());
  if (!d) return false;
  bool ok = false;
  std::string entryName;
  while (struct dirent* e = sys.readdir(d)) {
    if (wintext::Utf8ToCp932(e->d_name, &entryName) && wintext::CompareNoCase(entryName.c_str(), cp932Name.c_str()) == 0) {
      *found = e->d_name;
      ok = true;
      break;
    }
  }
  sys.closedir(d);
  return ok;
}

// Whether a host name, written as cp932, reads back as the same name: a
// backslash in it would split it in two, a character that Windows does not
// allow makes the path unusable, a final period or blank is dropped, and a
// character that CP932 holds only as a look-alike becomes another name.
// Such a name has no Windows form, as written out it would lead elsewhere.
bool KeepsItsName(const std::string& utf8, const std::string& cp932) {
  if (!wintext::IsValidName(cp932) || cp932.back() == '.' || cp932.back() == ' ') return false;
  if (HasSingleByteBackslash(cp932)) return false;
  std::string back;
  return wintext::Cp932ToUtf8(cp932, &back) && back == utf8;
}

// realpath of a host path whose last components may not exist yet.
std::string RealPath(const std::string& path) {
  char buf[PATH_MAX];
  if (sys.realpath(path.c_str(), buf)) return buf;
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return path;
  std::string parent = RealPath(path.substr(0, slash));
  return (parent == "/" ? "" : parent) + path.substr(slash);
}

}  // namespace

std::string PrefixDir() {
  if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    struct passwd* pw = getpwuid(getuid());
    home = pw ? pw->pw_dir : "/";
  }
  return std::string(home) + "/.wine";
}

DWORD MapPath(const char* windowsPath, std::string* host) {
  WindowsName name;
  if (DWORD err = ParseGiven(windowsPath, &name)) return err;

  std::string dir = DriveDir(name.drive);
  if (!IsDirectory(dir)) {
    if (name.drive != 'z') return ERROR_PATH_NOT_FOUND;
    dir = "/";
  }
  bool resolving = true;
  std::string utf8, found;
  for (const auto& part : name.parts) {
    if (!wintext::Cp932ToUtf8(part, &utf8)) return ERROR_INVALID_NAME;
    if (resolving && FindEntry(dir, part, utf8, &found)) {
      utf8 = found;
    } else {
      resolving = false;
    }
    if (dir.back() != '/') dir += '/';
    dir += utf8;
  }
  if (name.trailingSeparator && dir.back() != '/') dir += '/';
  *host = dir;
  return ERROR_SUCCESS;
}

bool WindowsPath(const std::string& host, std::string* windows) {
  std::string absolute = host;
  if (absolute.empty() || absolute[0] != '/') {
    char buf[PATH_MAX];
    if (!sys.getcwd(buf, sizeof buf)) return false;
    absolute = std::string(buf) + (absolute.empty() ? "" : "/" + absolute);
  }
  std::string real = RealPath(absolute);

  char drive = 0;
  size_t best = 0;
  uint32_t letters = DriveLetters();
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    if (!(letters & 1u << (letter - 'a'))) continue;
    char buf[PATH_MAX];
    if (!sys.realpath(DriveDir(letter).c_str(), buf)) continue;
    std::string root = buf;
    bool inside = root == "/" || real == root || real.compare(0, root.size() + 1, root + "/") == 0;
    if (inside && (drive == 0 || root.size() > best)) {
      drive = letter;
      best = root.size();
    }
  }
  if (drive == 0) {
    if (IsDirectory(DriveDir('z'))) return false;  // Z: is mapped elsewhere
    drive = 'z';
    best = 1;
  }

  std::string out = std::string(1, static_cast<char>(drive - 0x20)) + ":";
  std::vector<std::string> parts;
  size_t start = best == 1 ? 1 : best + 1;
  while (start < real.size()) {
    size_t end = real.find('/', start);
    if (end == std::string::npos) end = real.size();
    if (end > start) parts.push_back(real.substr(start, end - start));
    start = end + 1;
  }
  std::string cp932;
  for (const auto& part : parts) {
    if (!wintext::Utf8ToCp932(part, &cp932)) return false;
    if (!KeepsItsName(part, cp932)) {
      SetLastError(ERROR_INVALID_NAME);
      return false;
    }
    out += '\\';
    out += cp932;
  }
  if (parts.empty()) out += '\\';
  *windows = out;
  return true;
}

DWORD FullPath(const char* windowsPath, std::string* full) {
  WindowsName name;
  if (DWORD err = ParseGiven(windowsPath, &name)) return err;
  std::string out(1, static_cast<char>(name.drive - 0x20));
  out += ':';
  for (const auto& part : name.parts) out += '\\' + part;
  if (name.parts.empty() || name.trailingSeparator) out += '\\';
  *full = out;
  return ERROR_SUCCESS;
}

DWORD MissingFileError(const std::string& host) {
  std::string path = host;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t slash = path.find_last_of('/');
  std::string parent = slash == 0 ? "/" : path.substr(0, slash);
  return IsDirectory(parent) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

}  // namespace posix
