// WritePrivateProfileStringA: INI files, written through the layer's own file
// calls. A missing file or section is created; an existing key gets the new
// value in place of the old; a null value removes the key, a null key the section.
#include <unistd.h>

#include <string>
#include <vector>

#include "wintext/cp932.h"
#include "platform/posix/text/errors.h"
#include "platform/posix/files/handles.h"
#include "platform/posix/files/syscalls.h"
#include "process_api.h"

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// The name of a section header line, or false for any other line.
bool SectionName(const std::string& line, std::string* name) {
  std::string t = Trim(line);
  if (t.empty() || t[0] != '[') return false;
  size_t close = t.find(']');
  *name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

bool KeyIs(const std::string& line, const char* key) {
  size_t eq = line.find('=');
  return eq != std::string::npos && lstrcmpiA(Trim(line.substr(0, eq)).c_str(), key) == 0;
}

// The path of an INI file: a bare name, without folder or drive, lies in the
// Windows folder; any other is a path as every file call takes it.
bool ProfilePath(LPCSTR fileName, std::string* path) {
  bool bare = !(((fileName[0] | 0x20) >= 'a' && (fileName[0] | 0x20) <= 'z') && fileName[1] == ':');
  for (auto p = reinterpret_cast<const unsigned char*>(fileName); *p && bare; ++p) {
    if (wintext::IsLeadByte(*p) && p[1])
      ++p;
    else if (*p == '\\' || *p == '/')
      bare = false;
  }
  if (!bare) {
    *path = fileName;
    return true;
  }
  char windows[MAX_PATH];
  UINT n = GetWindowsDirectoryA(windows, sizeof windows);
  if (n == 0 || n >= sizeof windows) return false;
  *path = std::string(windows) + "\\" + fileName;
  return true;
}

bool ReadAll(HANDLE h, std::string* content) {
  char buf[4096];
  DWORD n;
  BOOL ok;
  while ((ok = ReadFile(h, buf, sizeof buf, &n, nullptr)) && n > 0) content->append(buf, n);
  return ok;
}

std::vector<std::string> SplitLines(const std::string& content) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// Puts the change into the lines of the file; false when nothing changes.
bool Change(std::vector<std::string>* lines, LPCSTR section, LPCSTR key, LPCSTR value) {
  size_t begin = lines->size(), end = lines->size();  // the section's header and the line after its last
  std::string name;
  for (size_t i = 0; i < lines->size(); ++i) {
    if (!SectionName((*lines)[i], &name)) continue;
    if (begin != lines->size()) {
      end = i;
      break;
    }
    if (lstrcmpiA(name.c_str(), section) == 0) begin = i;
  }
  if (begin == lines->size()) {
    if (!key || !value) return false;  // nothing to remove
    // A new section follows the last line directly, as Windows writes it.
    lines->push_back(std::string("[") + section + "]");
    lines->push_back(std::string(key) + "=" + value);
    return true;
  }
  if (!key) {
    lines->erase(lines->begin() + static_cast<long>(begin), lines->begin() + static_cast<long>(end));
    return true;
  }
  size_t found = end;
  for (size_t i = begin + 1; i < end && found == end; ++i)
    if (KeyIs((*lines)[i], key)) found = i;
  if (found != end && !value) {
    lines->erase(lines->begin() + static_cast<long>(found));
  } else if (found != end) {
    // The key keeps the name it has in the file, as Windows keeps it.
    (*lines)[found] = Trim((*lines)[found].substr(0, (*lines)[found].find('='))) + "=" + value;
  } else if (value) {
    // After the section's last line that is not blank.
    size_t at = end;
    while (at > begin + 1 && Trim((*lines)[at - 1]).empty()) --at;
    lines->insert(lines->begin() + static_cast<long>(at), std::string(key) + "=" + value);
  } else {
    return false;
  }
  return true;
}

// Writes content over the whole file of h.
BOOL Rewrite(HANDLE h, const std::string& content) {
  int fd = posix::FindFile(h)->fd;
  if (posix::sys.lseek(fd, 0, SEEK_SET) != 0) return posix::FailErrno();
  DWORD written = 0;
  if (!WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr)) return FALSE;
  if (written != content.size()) return posix::Fail(ERROR_DISK_FULL);
  if (posix::sys.ftruncate(fd, static_cast<off_t>(content.size())) != 0) return posix::FailErrno();
  return TRUE;
}

}  // namespace

BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
  // Without a section there is nothing to write to, and no file is touched.
  if (!section) return posix::Fail(ERROR_FILE_NOT_FOUND);
  if (!fileName) return posix::Fail(ERROR_INVALID_PARAMETER);
  if (!*fileName) return posix::Fail(ERROR_ACCESS_DENIED);
  std::string path;
  if (!ProfilePath(fileName, &path)) return posix::Fail(ERROR_PATH_NOT_FOUND);
  // One handle reads and writes, beside any other of the process that shares
  // both; the file is made when missing, also when nothing is written to it.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return FALSE;
  std::string content;
  BOOL ok = ReadAll(h, &content);
  if (ok) {
    std::vector<std::string> lines = SplitLines(content);
    if (Change(&lines, section, key, value)) {
      std::string changed;
      for (const std::string& line : lines) changed += line + "\r\n";
      ok = Rewrite(h, changed);
    }
  }
  DWORD error = GetLastError();
  BOOL closed = CloseHandle(h);
  if (!ok) return posix::Fail(error);
  if (!closed) return FALSE;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
