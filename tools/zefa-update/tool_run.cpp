#include "tool_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace zefa {

int RunTool(const std::vector<std::string>& argv, const std::string& log, const std::function<void()>& wait) {
  // Names as the tools print them, and no geometry check of mtools: an image
  // need not be of a drive mtools knows.
  std::vector<std::string> env{"LC_ALL=C.UTF-8", "MTOOLS_SKIP_CHECK=1"};
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "LC_ALL=", 7) != 0 && std::strncmp(*e, "MTOOLS_SKIP_CHECK=", 18) != 0) env.push_back(*e);
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (std::string& e : env) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  int output = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  int failed[2] = {-1, -1};  // the child's errno when exec fails
  pid_t parent = getpid(), pid = -1;
  if (input >= 0 && output >= 0 && pipe2(failed, O_CLOEXEC) == 0) pid = fork();
  if (pid == 0) {
    // The tool ends with zefa-update, however that ends: nothing of a
    // stopped run writes on into its folder.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    if (dup2(input, 0) >= 0 && dup2(output, 1) >= 0 && dup2(output, 2) >= 0)
      execvpe(args[0], args.data(), envp.data());
    int err = errno;
    if (write(failed[1], &err, sizeof err) < 0) {
    }
    _exit(127);
  }
  for (int fd : {input, output, failed[1]})
    if (fd >= 0) close(fd);
  int err = 0;
  ssize_t n = 0;
  if (pid > 0) do
      n = read(failed[0], &err, sizeof err);
    while (n < 0 && errno == EINTR);
  bool started = pid > 0 && n != sizeof err;
  if (failed[0] >= 0) close(failed[0]);
  if (pid > 0 && !started) waitpid(pid, nullptr, 0);
  if (!started) return -2;
  int status;
  for (int round = 1;; ++round) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return -1;
    try {
      if (wait && round % 10 == 0) wait();
    } catch (...) {
      kill(pid, SIGTERM);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      throw;
    }
    usleep(20 * 1000);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string LogTail(const std::string& log, int lines) {
  std::ifstream in(log);
  std::vector<std::string> all;
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) all.push_back(line);
  std::string out;
  for (size_t i = all.size() > size_t(lines) ? all.size() - lines : 0; i < all.size(); ++i)
    out += (out.empty() ? "" : "\n") + all[i];
  return out;
}

}  // namespace zefa
