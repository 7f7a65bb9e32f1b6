// A whole update run of the updater, in-process, on a fuzzed script, medium,
// installation and registry, with every box and dialog answered from the
// input. Whatever the input, the run writes nothing but the installation, the
// temporary directory and the restart-time deletion list; it leaves the medium
// as it was; it writes nothing at all before the copy run starts; and it ends
// with no file handle and no registry key open.
//
// The input is the update script, then a line "--", then control bytes read
// in this order (missing bytes read as 0, which is the plain road):
//   setup   bit 0 no uninstall entry, 1 an UninstallString without '*',
//           2 no installation folder, 3-4 the kit value (none, dword 0,
//           dword 1, text), 5 Windows 98, 6 no temporary folder, 7 the
//           uninstall entry names the installation in other letter case
//   labels  bit n: disk n (0 to 7) has no label file
//   disk    n: disk (n + 1) mod 8 is in the drive at the start
//   then for each of the first 16 entries, for each piece (one for a single
//   file): flags (bit 0 missing, 1 stored as it is even where the name asks
//   for compression, 2-3 its time, 4 read-only, 5 a folder), a length and
//   that many bytes of content; then for the installed file: flags (bit 0
//   present, 1 read-only, 2 a folder, 3 newer), a length and its content;
//   then one byte per box: bits 0-1 the answer (a button, else escape or
//   close), bits 2-5 n: first disk n - 1 goes in the drive (0: none; 9
//   and up leave the drive empty).
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "tests/codec/reference.h"
#include "foundation/exception.h"
#include "foundation/process_values.h"
#include "fuzz_prefix.h"
#include "platform/posix/files/handles.h"
#include "platform/posix/files/paths.h"
#include "platform/posix/registry/registry.h"
#include "platform/posix/text/utf16.h"
#include "platform/posix/ui/ui.h"
#include "script/update_script.h"
#include "updater/updater.h"

namespace {

constexpr uint64_t kOld = 125000000000000000ULL;  // 1997
constexpr uint64_t kNew = 126000000000000000ULL;  // 2000
constexpr int kDisks = 8;
constexpr int kMaxEntries = 16;

std::string prefix;  // the host folder of the prefix
std::string driveC;

void Trap(bool failed) {
  if (failed) __builtin_trap();
}

// The control bytes, read front to back; 0 once they run out.
class Controls {
 public:
  Controls(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  uint8_t Byte() { return n_ ? (--n_, *p_++) : 0; }
  std::string Bytes() {
    size_t length = std::min<size_t>(Byte(), n_);
    std::string s(reinterpret_cast<const char*>(p_), length);
    p_ += length;
    n_ -= length;
    return s;
  }
  bool Empty() const { return n_ == 0; }

 private:
  const uint8_t* p_;
  size_t n_;
};

void MakeDirs(const std::string& path) {
  for (size_t slash = prefix.size() + 1; (slash = path.find('/', slash)) != std::string::npos; ++slash)
    mkdir(path.substr(0, slash).c_str(), 0755);
  mkdir(path.c_str(), 0755);
}

void SetTime(const std::string& host, uint64_t ticks) {
  uint64_t unixTicks = ticks - 116444736000000000ULL;
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(unixTicks / 10000000);
  times[0].tv_nsec = times[1].tv_nsec = static_cast<long>(unixTicks % 10000000 * 100);
  utimensat(AT_FDCWD, host.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// Puts a file (or a folder) at the Windows path windows, with the host's own
// calls. Paths the layer cannot map, or that lead out of the prefix, get nothing.
void Place(const std::string& windows, const std::string& content, uint64_t ticks, bool readOnly, bool folder) {
  std::string host;
  if (posix::MapPath(windows.c_str(), &host) != ERROR_SUCCESS) return;
  std::string drive = prefix + "/dosdevices/c:/";
  if (host.compare(0, drive.size(), drive) != 0 || host.find("/../") != std::string::npos) return;
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  size_t slash = host.find_last_of('/');
  MakeDirs(host.substr(0, slash));
  if (folder) {
    MakeDirs(host);
  } else {
    int fd = open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644);
    if (fd < 0) return;
    if (!content.empty() && write(fd, content.data(), content.size()) < 0) {
    }
    close(fd);
  }
  SetTime(host, ticks);
  if (readOnly) chmod(host.c_str(), folder ? 0555 : 0444);
}

void WriteHost(const std::string& path, const std::string& text) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) abort();
  if (!text.empty() && write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) abort();
  close(fd);
}

// A name or text as a registry file writes it: anything but letters, digits
// and blanks as a \x escape of its UTF-16 unit.
std::string RegEscape(const char* cp932) {
  std::u16string wide;
  if (!posix::Cp932ToUtf16(cp932, &wide)) return "?";
  std::string out;
  for (char16_t c : wide) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u' ') {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      snprintf(buf, sizeof buf, "\\x%04x", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

void WriteRegistry(const UpdateScript& script, uint8_t setup) {
  const char* name = script.registryName ? script.registryName : "Game";
  std::string machine = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n";
  if (!(setup & 1)) {
    machine += "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\" + RegEscape(name) + "] 1\n";
    const char* game = setup & 0x80 ? "c:\\\\gAME" : "C:\\\\Game";
    machine += std::string("\"UninstallString\"=\"") + (setup & 2 ? "" : "C:\\\\Game\\\\uninst.exe*") + game +
               "\\\\uninst.exe\"\n";
  }
  WriteHost(prefix + "/system.reg", machine);

  std::string user = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n";
  if (setup & 0x20) user += "[Software\\\\Wine] 1\n\"Version\"=\"win98\"\n";
  int kit = (setup >> 3) & 3;
  if (kit && script.kitValueName) {
    user += "[Software\\\\ZEFA\\\\" + RegEscape(name) + "] 1\n\"" + RegEscape(script.kitValueName) + "\"=";
    user += kit == 1 ? "dword:00000000\n" : kit == 2 ? "dword:00000001\n" : "\"1\"\n";
  }
  WriteHost(prefix + "/user.reg", user);
}

std::string Compressed(const std::string& content) {
  return szdd_test::AsString(szdd_test::Compress(szdd_test::Bytes(content.begin(), content.end())));
}

uint64_t PieceTime(uint8_t flags) {
  static const uint64_t times[] = {kNew, kOld, kNew + 10000000, kOld - 10000000};
  return times[(flags >> 2) & 3];
}

void InsertDisk(int disk) {
  std::string drive = driveC + "/medium";
  unlink(drive.c_str());
  if (symlink(("disks/" + std::to_string(disk)).c_str(), drive.c_str())) abort();
}

// What the prefix holds outside the places the run may write, one line per
// entry: its kind, permissions, size, time and content.
using Picture = std::map<std::string, std::string>;

bool MayChange(const std::string& rel) {
  for (const char* place : {"drive_c/Game", "drive_c/temp", "pending-deletions", "drive_c/windows/WININIT.INI"}) {
    size_t n = std::strlen(place);
    if (rel.compare(0, n, place) == 0 && (rel.size() == n || rel[n] == '/' || rel[n] == '.')) return true;
  }
  return false;
}

Picture* picturing;

int Look(const char* path, const struct stat* st, int, struct FTW*) {
  std::string rel = path + std::min(std::strlen(path), prefix.size() + 1);
  if (MayChange(rel) || rel == "drive_c/medium") return 0;
  std::string line = std::to_string(st->st_mode);
  // A folder's own size and time follow its entries, which are pictured themselves.
  if (!S_ISDIR(st->st_mode))
    line += " " + std::to_string(st->st_size) + " " + std::to_string(st->st_mtim.tv_sec) + "." +
            std::to_string(st->st_mtim.tv_nsec) + " ";
  if (S_ISREG(st->st_mode)) {
    int fd = open(path, O_RDONLY);
    char buf[4096];
    for (ssize_t n; fd >= 0 && (n = read(fd, buf, sizeof buf)) > 0;) line.append(buf, static_cast<size_t>(n));
    if (fd >= 0) close(fd);
  } else if (S_ISLNK(st->st_mode)) {
    char buf[PATH_MAX];
    ssize_t n = readlink(path, buf, sizeof buf);
    if (n > 0) line.append(buf, static_cast<size_t>(n));
  }
  (*picturing)[rel] = line;
  return 0;
}

Picture Take() {
  Picture picture;
  picturing = &picture;
  nftw(prefix.c_str(), Look, 16, FTW_PHYS);
  return picture;
}

// Everything below a folder of the prefix, for the check that nothing was
// written before the copy run began.
std::string TreeOf(const std::string& rel) {
  Picture all;
  picturing = &all;
  nftw((prefix + "/" + rel).c_str(), [](const char* path, const struct stat* st, int, struct FTW*) {
    (*picturing)[path] = std::to_string(st->st_mode) + " " + std::to_string(st->st_size) + " " +
                         std::to_string(st->st_mtim.tv_sec) + "." + std::to_string(st->st_mtim.tv_nsec);
    return 0;
  }, 16, FTW_PHYS);
  std::string out;
  for (const auto& [path, line] : all) out += path + " " + line + "\n";
  return out;
}

// Answers every box from the control bytes; once they run out, the answer
// that ends the run soonest (Cancel, else Yes, else the first button).
class FuzzedUser : public posix::ui::User {
 public:
  explicit FuzzedUser(Controls* controls) : controls_(controls) {}

  void Progress(int, int, int) override { copying = true; }

  bool Ask(const posix::ui::Scene& scene, posix::ui::Answer* answer) override {
    using posix::ui::Choice;
    ++asked;
    Trap(asked > 10000);  // a run that never ends
    if (scene.buttons.empty()) return *answer = {Choice::kEscape, 0}, true;
    if (controls_->Empty() || asked > 256) {
      int pick = scene.buttons[0].id;
      for (const auto& b : scene.buttons)
        if (b.id == IDYES) pick = b.id;
      for (const auto& b : scene.buttons)
        if (b.id == IDCANCEL) pick = b.id;
      return *answer = {Choice::kButton, pick}, true;
    }
    uint8_t a = controls_->Byte();
    if (int disk = (a >> 2) & 15) InsertDisk(disk - 1);
    size_t pick = a & 3;
    if (pick < scene.buttons.size()) return *answer = {Choice::kButton, scene.buttons[pick].id}, true;
    pick -= scene.buttons.size();
    *answer = {pick % 2 ? Choice::kClose : Choice::kEscape, 0};
    return true;
  }

  bool copying = false;
  int asked = 0;

 private:
  Controls* controls_;
};

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  prefix = FuzzPrefix();
  driveC = prefix + "/drive_c";
  // ZEFA_FUZZ_SHOW=1 shows the transcript of each run, for a look at what
  // an input does; otherwise it goes nowhere.
  unsetenv("ZEFA_TRANSCRIPT");
  static NullBuffer nothing;
  static std::ostream transcript(&nothing);
  posix::ui::SetTranscript(std::getenv("ZEFA_FUZZ_SHOW") ? &std::cerr : &transcript);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t cut = input.find("\n--\n");
  std::string_view scriptText = input.substr(0, cut);
  size_t rest = cut == std::string_view::npos ? size : cut + 4;
  Controls controls(data + rest, size - rest);
  uint8_t setup = controls.Byte();
  uint8_t labels = controls.Byte();
  int firstDisk = (controls.Byte() + 1) % kDisks;

  // The world of this run, made afresh.
  for (const char* dir : {"disks", "Game", "temp", "windows"}) RemoveTree(driveC + "/" + dir);
  unlink((prefix + "/pending-deletions").c_str());
  MakeDirs(driveC + "/windows");
  for (int d = 0; d < kDisks; ++d) {
    MakeDirs(driveC + "/disks/" + std::to_string(d));
    if (!(labels & (1 << d))) WriteHost(driveC + "/disks/" + std::to_string(d) + "/disk" + std::to_string(d) + ".fix", "");
  }
  if (!(setup & 4)) MakeDirs(driveC + "/Game");
  if (!(setup & 0x40)) MakeDirs(driveC + "/temp");
  WriteHost(driveC + "/disks/1/Orbane.fix", std::string(scriptText));
  WriteHost(driveC + "/disks/1/Tavrix.bin", "updater");

  // The script as the updater will read it, to lay out what it names.
  UpdateScript script;
  std::strcpy(SourceDirectory, "C:\\disks\\1");
  try {
    script.Load("Orbane.fix");
  } catch (Exception&) {
  }
  WriteRegistry(script, setup);
  char tempDir[] = "C:\\temp";
  for (int i = 0; i < script.entryCount && i < kMaxEntries; ++i) {
    const UpdateEntry& entry = *script.entries[i];
    char medium[MAX_PATH], temporary[MAX_PATH], destination[MAX_PATH];
    for (int piece = 1; piece <= entry.diskCount; ++piece) {
      uint8_t flags = controls.Byte();
      std::string content = controls.Bytes();
      int disk = entry.disks[piece - 1];
      if ((flags & 1) || disk < 0 || disk >= kDisks) continue;
      std::string sourceDir = "C:\\disks\\" + std::to_string(disk);
      if (entry.diskCount >= 2) {
        entry.MakePiecePaths(piece, medium, temporary, sourceDir.c_str(), tempDir);
      } else {
        entry.MakePaths(medium, destination, sourceDir.c_str(), "C:\\Game");
      }
      size_t length = std::strlen(medium);
      bool compress = length && medium[length - 1] == '_' && !(flags & 2);
      Place(medium, compress ? Compressed(content) : content, PieceTime(flags), flags & 16, flags & 32);
    }
    uint8_t flags = controls.Byte();
    std::string content = controls.Bytes();
    if (!(flags & 1)) continue;
    if (entry.diskCount >= 2)
      entry.MakeDestinationPath(destination, "C:\\Game");
    else
      entry.MakePaths(medium, destination, "C:\\disks\\1", "C:\\Game");
    Place(destination, content, flags & 8 ? kNew : kOld, flags & 2, flags & 4);
  }
  InsertDisk(firstDisk);

  Picture before = Take();
  std::string installedBefore = TreeOf("drive_c/Game") + TreeOf("drive_c/temp");

  FuzzedUser user(&controls);
  posix::ui::User* previous = posix::ui::SetUser(&user);
  char commandLine[] = "C:\\medium\\Tavrix.bin";
  WinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, commandLine, SW_SHOWNORMAL);
  posix::ui::SetUser(previous);

  Trap(posix::OpenFileCount() != 0);
  Trap(posix::OpenKeyCount() != 0);
  Trap(Take() != before);
  if (!user.copying) Trap(TreeOf("drive_c/Game") + TreeOf("drive_c/temp") != installedBefore);
  return 0;
}
