#include "tool_run.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace zefa {

int RunTool(const std::vector<std::string>& argv, const std::string& log, const std::function<void()>& wait) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
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
  pid_t pid;
  int err = posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (err) return -2;
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
