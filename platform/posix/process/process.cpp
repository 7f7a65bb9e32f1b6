// WinExec: starts a program with a Windows command line, without a shell and
// without waiting for it.
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "wintext/cp932.h"
#include "platform/posix/text/errors.h"
#include "platform/posix/files/paths.h"
#include "platform/posix/files/syscalls.h"
#include "program_start.h"
#include "process_api.h"

extern char** environ;

namespace {

bool IsFile(const std::string& host) {
  struct stat st;
  return posix::sys.stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The program of a command line as Windows finds it: a quoted name, or else
// the shortest run of words up to a blank that names an existing file (so an
// unquoted path with blanks in it is still found). Windows adds ".exe" to a
// name without an extension.
bool FindProgram(const std::string& line, std::string* host, UINT* error) {
  std::vector<std::string> candidates;
  if (!line.empty() && line[0] == '"') {
    size_t i = 1;
    while (i < line.size() && line[i] != '"') i += wintext::IsLeadByte(static_cast<unsigned char>(line[i])) ? 2 : 1;
    candidates.push_back(line.substr(1, i - 1));
  } else {
    for (size_t i = 0; i <= line.size(); ++i) {
      if (i < line.size() && wintext::IsLeadByte(static_cast<unsigned char>(line[i]))) {
        ++i;
        continue;
      }
      if (i == line.size() || line[i] == ' ' || line[i] == '\t') candidates.push_back(line.substr(0, i));
    }
  }
  *error = ERROR_FILE_NOT_FOUND;
  for (std::string name : candidates) {
    size_t lastSeparator = name.find_last_of("\\/");
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (lastSeparator != std::string::npos && dot < lastSeparator)) name += ".exe";
    std::string path;
    DWORD mapped = posix::MapPath(name.c_str(), &path);
    if (mapped == ERROR_SUCCESS && IsFile(path)) {
      *host = path;
      return true;
    }
    if (mapped == ERROR_SUCCESS && candidates.size() == 1) *error = posix::MissingFileError(path);
  }
  return false;
}

}  // namespace

namespace posix {

UINT StartProgram(const std::string& line, bool ownSession, pid_t* started) {
  std::string program;
  UINT error;
  if (!FindProgram(line, &program, &error)) return error;
  if (posix::sys.access(program.c_str(), X_OK) != 0) return ERROR_BAD_FORMAT;

  std::string variable = std::string(kCommandLineVariable) + "=" + line;
  std::string starter = std::string(kStarterVariable) + "=" + std::to_string(getpid());
  std::vector<char*> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, variable.c_str(), std::strlen(kCommandLineVariable) + 1) != 0 &&
        std::strncmp(*e, starter.c_str(), std::strlen(kStarterVariable) + 1) != 0)
      env.push_back(*e);
  env.push_back(&variable[0]);
  if (!ownSession) env.push_back(&starter[0]);
  env.push_back(nullptr);
  char* argv[] = {&program[0], nullptr};
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  if (ownSession) posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  pid_t pid;
  int err = posix::sys.posix_spawn(&pid, program.c_str(), nullptr, &attr, argv, env.data());
  posix_spawnattr_destroy(&attr);
  if (err == ENOENT) return ERROR_FILE_NOT_FOUND;
  if (err == ENOMEM) return 0;
  if (err) return ERROR_BAD_FORMAT;
  if (started) *started = pid;
  return 33;  // anything above 31 means started
}

}  // namespace posix

UINT WINAPI WinExec(LPCSTR commandLine, UINT) {
  if (!commandLine) return ERROR_FILE_NOT_FOUND;
  // A started program belongs to no one, as on Windows: in a session of its
  // own, it lives on when its starter, perhaps the leader of a terminal's
  // session, ends (no hang-up signal for it then).
  return posix::StartProgram(commandLine, true, nullptr);
}
