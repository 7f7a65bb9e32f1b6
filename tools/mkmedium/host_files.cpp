#include "host_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace mkmedium {
namespace {

volatile sig_atomic_t interrupted = 0;

void OnSignal(int) { interrupted = 1; }

}  // namespace

void CatchInterrupts() {
  struct sigaction sa = {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
}

void CheckInterrupt() {
  if (interrupted) throw Failure("interrupted; what was begun is removed, nothing else was changed");
}

Failure SystemFailure(const std::string& what, const std::string& path, int err) {
  return Failure(what + " " + path + ": " + std::strerror(err));
}

Fd::~Fd() {
  if (fd_ >= 0) ::close(fd_);
}

void Fd::Close(const std::string& path) {
  int fd = fd_;
  fd_ = -1;
  if (fd >= 0 && ::close(fd) != 0) throw SystemFailure("cannot write", path, errno);
}

int OpenRead(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw SystemFailure("cannot open", path, errno);
  return fd;
}

int CreateFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) throw SystemFailure("cannot create", path, errno);
  return fd;
}

ptrdiff_t RangeInput::Read(void* buffer, size_t size) {
  if (size > left_) size = static_cast<size_t>(left_);
  if (size == 0) return 0;
  for (;;) {
    ssize_t n = ::pread(fd_, buffer, size, static_cast<off_t>(position_));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error_ = errno;
      return -1;
    }
    position_ += uint64_t(n);
    left_ -= uint64_t(n);
    return n;
  }
}

void CopyRange(int in, const std::string& inPath, uint64_t offset, uint64_t length, const std::string& path) {
  Fd out(CreateFile(path));
  std::vector<char> buffer(1 << 20);
  RangeInput input(in, offset, length);
  while (length > 0) {
    CheckInterrupt();
    ptrdiff_t n = input.Read(buffer.data(), buffer.size());
    if (n < 0) throw SystemFailure("cannot read", inPath, input.error());
    if (n == 0) throw Failure(inPath + " became shorter while it was read");
    for (ptrdiff_t done = 0; done < n;) {
      ssize_t w = ::write(out.get(), buffer.data() + done, size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) throw SystemFailure("cannot write", path, w < 0 ? errno : ENOSPC);
      done += w;
    }
    length -= uint64_t(n);
  }
  out.Close(path);
}

void SetWriteTime(const std::string& path, const struct timespec& mtime) {
  struct timespec times[2] = {mtime, mtime};
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) throw SystemFailure("cannot set the time of", path, errno);
}

void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) throw SystemFailure("cannot make the folder", part, errno);
    if (slash == std::string::npos) return;
  }
}

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

}  // namespace

void RemoveTree(const std::string& path) { ::nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string RealPath(const std::string& path) {
  char buf[PATH_MAX];
  if (!realpath(path.c_str(), buf)) throw SystemFailure("cannot open", path, errno);
  return buf;
}

bool Within(const std::string& inner, const std::string& outer) {
  return inner == outer || (inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
                            (outer == "/" || inner[outer.size()] == '/'));
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) throw SystemFailure("cannot read the folder", folder, errno);
  std::vector<std::string> names;
  errno = 0;
  while (struct dirent* e = readdir(dir.get())) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    errno = 0;
  }
  if (errno) throw SystemFailure("cannot read the folder", folder, errno);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace mkmedium
