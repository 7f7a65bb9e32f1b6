#include "syscalls.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace posix {
namespace {

int Open(const char* path, int flags, mode_t mode) {
  int fd;
  do fd = ::open(path, flags, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

int Close(int fd) { return ::close(fd); }
ssize_t Read(int fd, void* buf, size_t n) { return ::read(fd, buf, n); }
ssize_t Write(int fd, const void* buf, size_t n) { return ::write(fd, buf, n); }
off_t Lseek(int fd, off_t offset, int whence) { return ::lseek(fd, offset, whence); }
int Fstat(int fd, struct stat* st) { return ::fstat(fd, st); }
int Stat(const char* path, struct stat* st) { return ::stat(path, st); }
int Lstat(const char* path, struct stat* st) { return ::lstat(path, st); }
int Statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out) {
  return ::statx(dirfd, path, flags, mask, out);
}
int Futimens(int fd, const struct timespec times[2]) { return ::futimens(fd, times); }
int Ftruncate(int fd, off_t length) { return ::ftruncate(fd, length); }
int Chmod(const char* path, mode_t mode) { return ::chmod(path, mode); }
int Fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }
int Unlink(const char* path) { return ::unlink(path); }
DIR* Opendir(const char* path) { return ::opendir(path); }
struct dirent* Readdir(DIR* dir) { return ::readdir(dir); }
int Closedir(DIR* dir) { return ::closedir(dir); }
char* Getcwd(char* buf, size_t size) { return ::getcwd(buf, size); }
char* Realpath(const char* path, char* resolved) { return ::realpath(path, resolved); }
ssize_t CopyFileRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t n, unsigned flags) {
  return ::copy_file_range(in, inOffset, out, outOffset, n, flags);
}
ssize_t Sendfile(int out, int in, off_t* offset, size_t n) { return ::sendfile(out, in, offset, n); }
ssize_t Readlink(const char* path, char* buf, size_t size) { return ::readlink(path, buf, size); }

const Syscalls kReal = {
    Open,      Close,     Read,   Write,  Lseek,   Fstat,   Stat,    Lstat,    Statx,   Futimens,
    Ftruncate, Chmod,     Fchmod, Unlink, Opendir, Readdir, Closedir, Getcwd, Realpath, CopyFileRange, Sendfile,
    Readlink,
};

}  // namespace

Syscalls sys = kReal;

const Syscalls& RealSyscalls() { return kReal; }

}  // namespace posix
