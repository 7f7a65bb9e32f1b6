#include "sandbox.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifndef _WIN32
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include "wintext/cp932.h"
#include "platform/posix/files/filetime.h"
#endif

namespace {

void Check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error("sandbox: " + what);
}

}  // namespace

FILETIME Ticks(uint64_t ticks) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

uint64_t Ticks(const FILETIME& ft) { return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

#ifndef _WIN32

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  chmod(path, 0700);
  return remove(path);
}

}  // namespace

std::string Cp932(const std::string& utf8) {
  std::string out;
  Check(wintext::Utf8ToCp932(utf8, &out), "not CP932: " + utf8);
  return out;
}

Sandbox::Sandbox() {
  const char* tmp = std::getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/zefa-test-XXXXXX";
  Check(mkdtemp(&tmpl[0]) != nullptr, "mkdtemp");
  prefix_ = tmpl;
  root_ = prefix_ + "/drive_c";
  Check(mkdir(root_.c_str(), 0755) == 0, "mkdir drive_c");
  Check(mkdir((prefix_ + "/dosdevices").c_str(), 0755) == 0, "mkdir dosdevices");
  Check(symlink("../drive_c", (prefix_ + "/dosdevices/c:").c_str()) == 0, "symlink c:");
  if (const char* old = std::getenv("WINEPREFIX")) {
    hadPrefix_ = true;
    savedPrefix_ = old;
  }
  setenv("WINEPREFIX", prefix_.c_str(), 1);
}

Sandbox::~Sandbox() {
  nftw(prefix_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  if (hadPrefix_)
    setenv("WINEPREFIX", savedPrefix_.c_str(), 1);
  else
    unsetenv("WINEPREFIX");
}

std::string Sandbox::Win(const std::string& rel) const { return rel.empty() ? "C:\\" : "C:\\" + rel; }

std::string Sandbox::Host(const std::string& rel) const {
  std::string utf8;
  Check(wintext::Cp932ToUtf8(rel, &utf8), "not CP932");
  for (char& c : utf8)
    if (c == '\\') c = '/';
  return utf8.empty() ? root_ : root_ + "/" + utf8;
}

void Sandbox::MakeDir(const std::string& rel) const { Check(mkdir(Host(rel).c_str(), 0755) == 0, "mkdir " + rel); }

void Sandbox::SetReadOnly(const std::string& rel, bool readOnly) const {
  Check(chmod(Host(rel).c_str(), readOnly ? 0444 : 0644) == 0, "chmod " + rel);
}

uint64_t Sandbox::WriteTime(const std::string& rel) const {
  struct stat st;
  Check(stat(Host(rel).c_str(), &st) == 0, "stat " + rel);
  return posix::ToTicks(posix::FromTimespec(st.st_mtim));
}

void Sandbox::SetWriteTime(const std::string& rel, uint64_t ticks) const {
  struct timespec ts = posix::ToTimespec(Ticks(ticks));
  struct timespec times[2] = {ts, ts};
  Check(utimensat(AT_FDCWD, Host(rel).c_str(), times, 0) == 0, "utimensat " + rel);
}

#else  // _WIN32

namespace {

// Removes a folder and everything in it, read-only files too.
void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = dir + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(dir.c_str());
}

}  // namespace

std::string Cp932(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), (int)utf8.size(), nullptr, 0);
  Check(n > 0 || utf8.empty(), "not UTF-8: " + utf8);
  std::wstring wide(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &wide[0], n);
  BOOL lossy = FALSE;
  int m = WideCharToMultiByte(932, 0, wide.data(), n, nullptr, 0, nullptr, &lossy);
  Check(!lossy, "not CP932: " + utf8);
  std::string out(m, '\0');
  WideCharToMultiByte(932, 0, wide.data(), n, &out[0], m, nullptr, nullptr);
  return out;
}

Sandbox::Sandbox() {
  char tmp[MAX_PATH];
  Check(GetTempPathA(MAX_PATH, tmp) != 0, "GetTempPathA");
  for (unsigned i = GetTickCount();; ++i) {
    root_ = std::string(tmp) + "zefa-test-" + std::to_string(i);
    if (CreateDirectoryA(root_.c_str(), nullptr)) break;
    Check(GetLastError() == ERROR_ALREADY_EXISTS, "CreateDirectoryA");
  }
}

Sandbox::~Sandbox() { RemoveTree(root_); }

std::string Sandbox::Win(const std::string& rel) const { return rel.empty() ? root_ : root_ + "\\" + rel; }
std::string Sandbox::Host(const std::string& rel) const { return Win(rel); }

void Sandbox::MakeDir(const std::string& rel) const { Check(CreateDirectoryA(Host(rel).c_str(), nullptr), "mkdir"); }

void Sandbox::SetReadOnly(const std::string& rel, bool readOnly) const {
  Check(SetFileAttributesA(Host(rel).c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL),
        "attributes");
}

uint64_t Sandbox::WriteTime(const std::string& rel) const {
  WIN32_FILE_ATTRIBUTE_DATA data;
  Check(GetFileAttributesExA(Host(rel).c_str(), GetFileExInfoStandard, &data), "attributes " + rel);
  return Ticks(data.ftLastWriteTime);
}

void Sandbox::SetWriteTime(const std::string& rel, uint64_t ticks) const {
  // Wine opens no read-only file for writing its attributes, which Windows
  // allows; the read-only attribute steps aside meanwhile.
  DWORD attributes = GetFileAttributesA(Host(rel).c_str());
  bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
  if (readOnly) SetFileAttributesA(Host(rel).c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  HANDLE h = CreateFileA(Host(rel).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  Check(h != INVALID_HANDLE_VALUE, "open " + rel);
  FILETIME ft = Ticks(ticks);
  BOOL ok = SetFileTime(h, nullptr, &ft, &ft);
  CloseHandle(h);
  if (readOnly) SetFileAttributesA(Host(rel).c_str(), attributes);
  Check(ok, "SetFileTime " + rel);
}

#endif

void Sandbox::Write(const std::string& rel, const std::string& bytes) const {
  std::ofstream out(Host(rel), std::ios::binary | std::ios::trunc);
  Check(out.good(), "open for writing " + rel);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  Check(out.good(), "write " + rel);
}

std::string Sandbox::Read(const std::string& rel) const {
  std::ifstream in(Host(rel), std::ios::binary);
  Check(in.good(), "open for reading " + rel);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Sandbox::Exists(const std::string& rel) const {
  std::ifstream in(Host(rel), std::ios::binary);
  return in.good();
}
