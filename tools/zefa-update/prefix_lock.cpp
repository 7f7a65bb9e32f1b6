#include "prefix_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "host_files.h"

namespace zefa {

const char kLockFile[] = "zefa-update.lock";

namespace {

bool Alive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

// The holder's process id, which it writes as soon as it has the lock.
pid_t Holder(int fd) {
  for (int i = 0; i < 100; ++i) {
    char text[32] = {};
    ssize_t n = pread(fd, text, sizeof text - 1, 0);
    if (n > 0 && text[n - 1] == '\n') return static_cast<pid_t>(std::atol(text));
    usleep(10 * 1000);
  }
  return 0;
}

}  // namespace

PrefixLock::PrefixLock(const std::string& prefix, std::ostream& note) {
  std::string path = prefix + "/" + kLockFile;
  // Not closed on exec: the updater and the helper programs hold it too.
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW, 0600);
  if (fd_ < 0) throw mkmedium::SystemFailure("cannot open", path, errno);
  bool said = false;
  for (int round = 0;; ++round) {
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) break;
    int err = errno;
    if (err == EINTR) continue;
    if (err != EWOULDBLOCK) {
      close(fd_);
      throw mkmedium::SystemFailure("cannot lock", path, err);
    }
    pid_t holder = Holder(fd_);
    if (Alive(holder) || round == 100) {
      close(fd_);
      throw mkmedium::Failure(Alive(holder) ? "another update of this prefix is running (pid " +
                                                  std::to_string(holder) + "); nothing was changed"
                                            : "a program of a stopped run of zefa-update still holds " + path +
                                                  "; nothing was changed");
    }
    if (!said) note << "zefa-update: waiting for the updater of a stopped run to end\n" << std::flush;
    said = true;
    usleep(100 * 1000);
  }
  std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(fd_, 0) != 0 || pwrite(fd_, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
    // The lock holds without the note; a second run only cannot name us.
  }
}

PrefixLock::~PrefixLock() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace zefa
