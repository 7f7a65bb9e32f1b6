// WritePrivateProfileStringA: INI files, written through the layer's own file
// calls. A missing file or section is created; an existing key gets the new
// value in place of the old; a null value removes the key, a null key the section.
#include <string>
#include <vector>

#include "platform/posix/text/errors.h"
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

bool ReadLines(LPCSTR fileName, std::vector<std::string>* lines) {
  HANDLE h = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;  // a new file
  std::string content;
  char buf[4096];
  DWORD n;
  BOOL ok;
  while ((ok = ReadFile(h, buf, sizeof buf, &n, nullptr)) && n > 0) content.append(buf, n);
  DWORD error = GetLastError();
  CloseHandle(h);
  if (!ok) return posix::Fail(error);
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines->push_back(line);
    start = end + 1;
  }
  return true;
}

bool WriteLines(LPCSTR fileName, const std::vector<std::string>& lines) {
  std::string content;
  for (const std::string& line : lines) content += line + "\r\n";
  HANDLE h = CreateFileA(fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  DWORD error = GetLastError();
  BOOL closed = CloseHandle(h);
  if (!ok || written != content.size()) return posix::Fail(ok ? ERROR_DISK_FULL : error);
  return closed;
}

}  // namespace

BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
  if (!section || !fileName) return posix::Fail(ERROR_INVALID_PARAMETER);
  std::vector<std::string> lines;
  if (!ReadLines(fileName, &lines)) return FALSE;

  size_t begin = lines.size(), end = lines.size();  // the section's header and the line after its last
  std::string name;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!SectionName(lines[i], &name)) continue;
    if (begin != lines.size()) {
      end = i;
      break;
    }
    if (lstrcmpiA(name.c_str(), section) == 0) begin = i;
  }

  if (begin == lines.size()) {
    if (!key || !value) return TRUE;  // nothing to remove
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back(std::string("[") + section + "]");
    lines.push_back(std::string(key) + "=" + value);
  } else if (!key) {
    lines.erase(lines.begin() + static_cast<long>(begin), lines.begin() + static_cast<long>(end));
  } else {
    size_t found = end;
    for (size_t i = begin + 1; i < end && found == end; ++i)
      if (KeyIs(lines[i], key)) found = i;
    if (found != end && !value) {
      lines.erase(lines.begin() + static_cast<long>(found));
    } else if (found != end) {
      // The key keeps the name it has in the file, as Windows keeps it.
      lines[found] = Trim(lines[found].substr(0, lines[found].find('='))) + "=" + value;
    } else if (value) {
      // After the section's last line that is not blank.
      size_t at = end;
      while (at > begin + 1 && Trim(lines[at - 1]).empty()) --at;
      lines.insert(lines.begin() + static_cast<long>(at), std::string(key) + "=" + value);
    }
  }
  return WriteLines(fileName, lines);
}
