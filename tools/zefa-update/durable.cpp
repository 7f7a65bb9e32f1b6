#include "durable.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "host_files.h"

namespace zefa {

using mkmedium::SystemFailure;

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncFile(int fd, const std::string& path) {
  while (fsync(fd) != 0)
    if (errno != EINTR) throw SystemFailure("cannot write", path, errno);
}

void SyncFolder(const std::string& folder) {
  mkmedium::Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) throw SystemFailure("cannot open", folder, errno);
  SyncFile(fd.get(), folder);
}

void WriteDurably(const std::string& path, const std::string& text, mode_t mode) {
  std::string fresh = path + ".tmp";
  ::unlink(fresh.c_str());
  try {
    mkmedium::Fd out(::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
    if (out.get() < 0) throw SystemFailure("cannot create", fresh, errno);
    for (size_t done = 0; done < text.size();) {
      ssize_t n = ::write(out.get(), text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw SystemFailure("cannot write", fresh, n < 0 ? errno : ENOSPC);
      done += static_cast<size_t>(n);
    }
    SyncFile(out.get(), fresh);
    out.Close(fresh);
    if (std::rename(fresh.c_str(), path.c_str()) != 0) throw SystemFailure("cannot replace", path, errno);
  } catch (...) {
    ::unlink(fresh.c_str());
    throw;
  }
  SyncFolder(FolderOf(path));
}

bool ReadSmallFile(const std::string& path, std::string* text) {
  mkmedium::Fd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (in.get() < 0) {
    if (errno == ENOENT) return false;
    throw SystemFailure("cannot read", path, errno);
  }
  text->clear();
  char buffer[1 << 14];
  for (;;) {
    ssize_t n = ::read(in.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw SystemFailure("cannot read", path, errno);
    if (n == 0) return true;
    text->append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace zefa
