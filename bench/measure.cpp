#include "measure.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void Samples::Add(const Measurement& m) {
  seconds.push_back(m.seconds);
  peakKiB = std::max(peakKiB, m.peakKiB);
}

double Samples::Median() const {
  std::vector<double> sorted = seconds;
  std::sort(sorted.begin(), sorted.end());
  size_t n = sorted.size();
  if (n == 0) return 0;
  return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

Measurement MeasureInChild(const std::function<bool()>& work, int runs, const std::function<void()>& prepare) {
  Measurement m;
  m.seconds = 1e30;
  for (int i = 0; i < runs; ++i) {
    if (prepare) prepare();
    // What earlier runs wrote goes to the disk now, not during this run.
    sync();
    int pipefd[2];
    if (pipe(pipefd) != 0) return m.ok = false, m;
    pid_t pid = fork();
    if (pid == 0) {
      close(pipefd[0]);
      double start = Now();
      bool ok = work();
      double seconds = ok ? Now() - start : -1;
      ssize_t unused = write(pipefd[1], &seconds, sizeof seconds);
      (void)unused;
      _exit(ok ? 0 : 1);
    }
    close(pipefd[1]);
    double seconds = -1;
    if (read(pipefd[0], &seconds, sizeof seconds) != sizeof seconds) seconds = -1;
    close(pipefd[0]);
    int status = 0;
    struct rusage usage = {};
    wait4(pid, &status, 0, &usage);
    if (seconds < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) m.ok = false;
    m.seconds = std::min(m.seconds, seconds);
    m.peakKiB = std::max(m.peakKiB, usage.ru_maxrss);
  }
  return m;
}

Measurement MeasureProgram(const std::vector<std::string>& argv, const std::string& in, const std::string& out,
                           int runs, const std::function<void()>& prepare) {
  Measurement m;
  m.seconds = 1e30;
  for (int i = 0; i < runs; ++i) {
    if (prepare) prepare();
    // What earlier runs wrote goes to the disk now, not during this run.
    sync();
    double start = Now();
    pid_t pid = fork();
    if (pid == 0) {
      if (!in.empty()) dup2(open(in.c_str(), O_RDONLY), 0);
      if (!out.empty()) dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    wait4(pid, &status, 0, &usage);
    double seconds = Now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) m.ok = false;
    m.seconds = std::min(m.seconds, seconds);
    m.peakKiB = std::max(m.peakKiB, usage.ru_maxrss);
  }
  return m;
}
