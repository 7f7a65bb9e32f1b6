// Deletion at the next restart. MoveFileExA records the file with the id of
// the current boot in a list in the prefix; the first program started after a
// restart (another boot id) deletes the files listed and empties the list.
// A file is listed once for a boot, however often it is registered. Nothing
// else is ever deleted.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/text/errors.h"
#include "platform/posix/files/host_file.h"
#include "platform/posix/files/paths.h"
#include "platform/posix/files/syscalls.h"
#include "program_start.h"
#include "process_api.h"

namespace posix {
namespace {

// Far more than any number of updates would list.
constexpr size_t kMaxListSize = 1 << 20;

std::string ListPath() { return PrefixDir() + "/pending-deletions"; }

// The id of this boot. ZEFA_BOOT_ID stands in for it where tests play a restart.
std::string BootId() {
  if (const char* id = std::getenv("ZEFA_BOOT_ID"); id && *id) return id;
  std::string id;
  if (!ReadHostFile("/proc/sys/kernel/random/boot_id", 256, &id)) return "";
  return id.substr(0, id.find('\n'));
}

struct Pending {
  std::string boot;
  std::string path;  // host path
};

// The list as the file holds it. A list that is not this user's own, or that
// others may change, is no list: whoever wrote it would choose what this
// program deletes, with this program's rights.
std::vector<Pending> ReadList() {
  std::vector<Pending> list;
  std::string text;
  struct stat st;
  if (!ReadHostFile(ListPath(), kMaxListSize, &text, O_NOFOLLOW, &st) || st.st_uid != geteuid() ||
      (st.st_mode & (S_IWGRP | S_IWOTH)))
    return list;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    size_t tab = line.find('\t');
    if (tab != std::string::npos && tab + 1 < line.size()) list.push_back({line.substr(0, tab), line.substr(tab + 1)});
    start = end + 1;
  }
  return list;
}

bool WriteList(const std::vector<Pending>& list) {
  if (list.empty()) return sys.unlink(ListPath().c_str()) == 0 || errno == ENOENT;
  std::string text;
  for (const Pending& p : list) text += p.boot + '\t' + p.path + '\n';
  return ReplaceHostFile(ListPath(), text, 0600);
}

}  // namespace

void CarryOutPendingDeletions() {
  std::vector<Pending> list = ReadList();
  if (list.empty()) return;
  std::string boot = BootId();
  std::vector<Pending> kept;
  for (const Pending& p : list) {
    if (p.boot == boot) {
      kept.push_back(p);
      continue;
    }
    struct stat st;
    if (sys.lstat(p.path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) sys.unlink(p.path.c_str());
  }
  WriteList(kept);
}

}  // namespace posix

BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
  using namespace posix;
  // Only the deletion at restart is provided; a move now is not.
  if (newName || !(flags & MOVEFILE_DELAY_UNTIL_REBOOT)) return Fail(ERROR_CALL_NOT_IMPLEMENTED);
  std::string host;
  if (DWORD err = MapPath(existing, &host)) return Fail(err);
  char real[PATH_MAX];
  if (sys.realpath(host.c_str(), real)) host = real;
  if (host.find('\n') != std::string::npos) return Fail(ERROR_INVALID_NAME);
  std::vector<Pending> list = ReadList();
  std::string boot = BootId();
  // A program that runs again and again before a restart (the updater, from
  // the same temporary copy) asks each time; once is enough.
  for (const Pending& p : list)
    if (p.boot == boot && p.path == host) return TRUE;
  list.push_back({boot, host});
  if (!WriteList(list)) return Fail(ERROR_ACCESS_DENIED);
  return TRUE;
}
