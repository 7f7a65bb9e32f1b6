#include "program_start.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "wintext/cp932.h"
#include "platform/posix/text/errors.h"
#include "platform/posix/files/paths.h"
#include "platform/posix/files/syscalls.h"
#include "process_api.h"

namespace posix {

std::string commandLine;

std::string OwnHostPath() {
  char buf[PATH_MAX];
  ssize_t n = sys.readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  buf[n] = 0;
  return buf;
}

void TieToStarter() {
  const char* given = std::getenv(kStarterVariable);
  if (!given) return;
  char* end;
  long starter = std::strtol(given, &end, 10);
  bool named = *given && !*end && starter > 1;
  unsetenv(kStarterVariable);
  if (!named) return;
  // The kernel ends this process when its parent ends; a parent that ended
  // before this line has handed it to another already.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != static_cast<pid_t>(starter)) raise(SIGKILL);
}

std::string FormCommandLine(int argc, char** argv) {
  if (const char* given = std::getenv(kCommandLineVariable)) {
    std::string line = given;
    unsetenv(kCommandLineVariable);  // the line was this process's, not its children's
    return line;
  }
  std::string program, own = OwnHostPath();
  if (own.empty() || !WindowsPath(own, &program)) program = argc > 0 ? argv[0] : "";
  std::string line = program.find(' ') == std::string::npos ? program : "\"" + program + "\"";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i], windows;
    struct stat st;
    bool hostPath = std::strchr(argv[i], '/') || sys.stat(argv[i], &st) == 0;
    if (hostPath && WindowsPath(arg, &windows)) arg = windows;
    line += " " + arg;
  }
  return line;
}

const char* SkipProgramName(const char* line) {
  auto p = reinterpret_cast<const unsigned char*>(line);
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') p += wintext::IsLeadByte(*p) && p[1] ? 2 : 1;
    if (*p == '"') ++p;
  } else {
    while (*p > 0x20) ++p;
  }
  while (*p >= 0x01 && *p <= 0x20) ++p;
  return reinterpret_cast<const char*>(p);
}

}  // namespace posix

LPSTR WINAPI GetCommandLineA(void) { return &posix::commandLine[0]; }

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size) {
  if (module && module != reinterpret_cast<HMODULE>(0x400000)) return posix::Fail(ERROR_MOD_NOT_FOUND), 0;
  // Without the kernel's word for it, no path is the program's: the empty
  // one would name the current folder.
  std::string windows, own = posix::OwnHostPath();
  if (own.empty()) return posix::Fail(ERROR_FILE_NOT_FOUND), 0;
  SetLastError(ERROR_SUCCESS);
  if (!posix::WindowsPath(own, &windows))
    return posix::Fail(GetLastError() == ERROR_INVALID_NAME ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND), 0;
  if (size == 0) return posix::Fail(ERROR_INSUFFICIENT_BUFFER), 0;
  // Windows cuts a path that does not fit and says so.
  DWORD n = static_cast<DWORD>(windows.size());
  if (n >= size) {
    std::memcpy(path, windows.data(), size - 1);
    path[size - 1] = 0;
    posix::Fail(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(path, windows.c_str(), n + 1);
  SetLastError(ERROR_SUCCESS);
  return n;
}
