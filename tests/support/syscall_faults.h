// Fault injection into the POSIX layer: entries of its system call table are
// replaced for the life of one object and put back afterwards.
#pragma once

#ifndef _WIN32
#include <cerrno>
#include <string>

#include "platform/posix/files/syscalls.h"

class SyscallFaults {
 public:
  SyscallFaults() : saved_(posix::sys) {}
  ~SyscallFaults() { posix::sys = saved_; }
  SyscallFaults(const SyscallFaults&) = delete;
  SyscallFaults& operator=(const SyscallFaults&) = delete;

  posix::Syscalls& sys() { return posix::sys; }

 private:
  posix::Syscalls saved_;
};

// Ready-made failing calls.
template <int Err>
ssize_t FailRead(int, void*, size_t) {
  errno = Err;
  return -1;
}
template <int Err>
ssize_t FailWrite(int, const void*, size_t) {
  errno = Err;
  return -1;
}
template <int Err>
int FailClose(int fd) {
  posix::RealSyscalls().close(fd);  // the descriptor is gone, as after a real failed close
  errno = Err;
  return -1;
}
template <int Err>
int FailOpen(const char*, int, mode_t) {
  errno = Err;
  return -1;
}
// Faults on one file, known by the end of its host path ("/temp/big.bin2"):
// its n-th open fails, or the reads or the close of the descriptor that its
// n-th open gave. One such object at a time.
class FileFaults : public SyscallFaults {
 public:
  enum What { kOpen, kRead, kClose };
  FileFaults(const std::string& pathEnd, int nth, What what, int err = EIO) {
    pathEnd_ = pathEnd;
    nth_ = nth;
    what_ = what;
    err_ = err;
    opens_ = 0;
    fd_ = -1;
    sys().open = Open;
    sys().read = Read;
    sys().close = Close;
  }
  // How often the file was opened so far.
  static int Opens() { return opens_; }

 private:
  static bool Matches(const char* path) {
    std::string p = path;
    return p.size() >= pathEnd_.size() && p.compare(p.size() - pathEnd_.size(), pathEnd_.size(), pathEnd_) == 0;
  }
  static int Open(const char* path, int flags, mode_t mode) {
    bool chosen = Matches(path) && ++opens_ == nth_;
    if (chosen && what_ == kOpen) return errno = err_, -1;
    int fd = posix::RealSyscalls().open(path, flags, mode);
    if (chosen) fd_ = fd;
    return fd;
  }
  static ssize_t Read(int fd, void* buf, size_t n) {
    if (what_ == kRead && fd >= 0 && fd == fd_) return errno = err_, -1;
    return posix::RealSyscalls().read(fd, buf, n);
  }
  static int Close(int fd) {
    int result = posix::RealSyscalls().close(fd);
    if (what_ != kClose || fd < 0 || fd != fd_) return result;
    fd_ = -1;
    return errno = err_, -1;
  }
  static inline std::string pathEnd_;
  static inline int nth_, opens_, fd_, err_;
  static inline What what_;
};
// Every open of a file whose host path ends in pathEnd fails with err (by
// default EACCES: the user may not read it). One such object at a time.
class RefusedFile : public SyscallFaults {
 public:
  explicit RefusedFile(const std::string& pathEnd, int err = EACCES) {
    pathEnd_ = pathEnd;
    err_ = err;
    sys().open = [](const char* path, int flags, mode_t mode) {
      std::string p = path;
      if (p.size() >= pathEnd_.size() && p.compare(p.size() - pathEnd_.size(), pathEnd_.size(), pathEnd_) == 0)
        return errno = err_, -1;
      return posix::RealSyscalls().open(path, flags, mode);
    };
  }

 private:
  static inline std::string pathEnd_;
  static inline int err_;
};
#endif
