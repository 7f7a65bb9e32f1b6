// Every system call of the POSIX layer goes through this table, so that a test
// can make any one of them fail or come up short, call by call. It is the only
// test seam of the system; the system's own code knows nothing of it.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

struct statx;

namespace posix {

struct Syscalls {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*close)(int fd);
  ssize_t (*read)(int fd, void* buf, size_t n);
  ssize_t (*write)(int fd, const void* buf, size_t n);
  off_t (*lseek)(int fd, off_t offset, int whence);
  int (*fstat)(int fd, struct stat* st);
  int (*stat)(const char* path, struct stat* st);
  int (*lstat)(const char* path, struct stat* st);
  int (*statx)(int dirfd, const char* path, int flags, unsigned mask, struct statx* out);
  int (*futimens)(int fd, const struct timespec times[2]);
  int (*ftruncate)(int fd, off_t length);
  int (*chmod)(const char* path, mode_t mode);
  int (*fchmod)(int fd, mode_t mode);
  int (*unlink)(const char* path);
  DIR* (*opendir)(const char* path);
  struct dirent* (*readdir)(DIR* dir);
  int (*closedir)(DIR* dir);
  char* (*getcwd)(char* buf, size_t size);
  char* (*realpath)(const char* path, char* resolved);
  ssize_t (*copy_file_range)(int in, off_t* inOffset, int out, off_t* outOffset, size_t n, unsigned flags);
  ssize_t (*sendfile)(int out, int in, off_t* offset, size_t n);
  ssize_t (*readlink)(const char* path, char* buf, size_t size);
};

// The table in use. Tests replace entries and put the saved table back.
extern Syscalls sys;

// The table of the real calls.
const Syscalls& RealSyscalls();

}  // namespace posix
