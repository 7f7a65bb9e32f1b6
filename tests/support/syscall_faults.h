// Fault injection into the POSIX layer: entries of its system call table are
// replaced for the life of one object and put back afterwards.
#pragma once

#ifndef _WIN32
#include <cerrno>

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
#endif
