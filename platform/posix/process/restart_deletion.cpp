// Deletion at the next restart. MoveFileExA records the file with the id of
// the current boot in a list in the prefix; the first program started after a
// restart (another boot id) deletes the files listed and empties the list.
// Nothing else is ever deleted.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/posix/text/errors.h"
#include "platform/posix/files/paths.h"
#include "program_start.h"
#include "process_api.h"

namespace posix {
namespace {

std::string ListPath() { return PrefixDir() + "/pending-deletions"; }

// The id of this boot. ZEFA_BOOT_ID stands in for it where tests play a restart.
std::string BootId() {
  if (const char* id = std::getenv("ZEFA_BOOT_ID"); id && *id) return id;
  std::ifstream in("/proc/sys/kernel/random/boot_id");
  std::string id;
  std::getline(in, id);
  return id;
}

struct Pending {
  std::string boot;
  std::string path;  // host path
};

std::vector<Pending> ReadList() {
  std::vector<Pending> list;
  std::ifstream in(ListPath());
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    if (tab != std::string::npos && tab + 1 < line.size()) list.push_back({line.substr(0, tab), line.substr(tab + 1)});
  }
  return list;
}

bool WriteList(const std::vector<Pending>& list) {
  if (list.empty()) return std::remove(ListPath().c_str()) == 0 || errno == ENOENT;
  std::string temporary = ListPath() + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    for (const Pending& p : list) out << p.boot << '\t' << p.path << '\n';
    if (!out.flush()) return false;
  }
  return std::rename(temporary.c_str(), ListPath().c_str()) == 0;
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
    if (lstat(p.path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) unlink(p.path.c_str());
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
  if (realpath(host.c_str(), real)) host = real;
  if (host.find('\n') != std::string::npos) return Fail(ERROR_INVALID_NAME);
  std::vector<Pending> list = ReadList();
  list.push_back({BootId(), host});
  if (!WriteList(list)) return Fail(ERROR_ACCESS_DENIED);
  return TRUE;
}
