#include "host_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "syscalls.h"

namespace posix {

bool ReadHostFile(const std::string& path, size_t maxSize, std::string* text, int extraFlags, struct stat* st) {
  int fd = sys.open(path.c_str(), O_RDONLY | O_CLOEXEC | extraFlags, 0);
  if (fd < 0) return false;
  struct stat own;
  if (!st) st = &own;
  bool ok = sys.fstat(fd, st) == 0;
  if (ok && !S_ISREG(st->st_mode)) {
    errno = EINVAL;
    ok = false;
  }
  // Read to the end rather than to the size fstat gave (files under /proc
  // report none), into room for one byte more than expected, so that the end
  // shows in one read of the usual file.
  size_t room = ok && st->st_size > 0 ? static_cast<size_t>(st->st_size) + 1 : 4096;
  text->resize(room < maxSize + 1 ? room : maxSize + 1);
  size_t done = 0;
  while (ok) {
    if (done == text->size()) {
      if (done > maxSize) {
        errno = EFBIG;
        ok = false;
        break;
      }
      text->resize(done * 2 < maxSize + 1 ? done * 2 : maxSize + 1);
    }
    ssize_t n = sys.read(fd, &(*text)[done], text->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  text->resize(ok ? done : 0);
  int err = errno;  // what went wrong, not what the close says
  sys.close(fd);
  errno = err;
  return ok;
}

bool ReplaceHostFile(const std::string& path, const std::string& text, mode_t mode) {
  std::string temporary = path + ".new";
  // Never through a link that someone left at the temporary name.
  int fd = sys.open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = sys.fchmod(fd, mode) == 0;  // an old temporary file keeps its mode otherwise
  for (size_t done = 0; ok && done < text.size();) {
    ssize_t n = sys.write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<size_t>(n);
  }
  if (sys.close(fd) != 0) ok = false;
  if (ok && sys.rename(temporary.c_str(), path.c_str()) == 0) return true;
  sys.unlink(temporary.c_str());
  return false;
}

}  // namespace posix
