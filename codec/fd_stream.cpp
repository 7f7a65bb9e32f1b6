#include "fd_stream.h"

#include <unistd.h>

#include <cerrno>

namespace szdd {

ptrdiff_t FdInput::Read(void* buffer, size_t size) {
  for (;;) {
    ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) return n;
    if (errno != EINTR) {
      error_ = errno;
      return -1;
    }
  }
}

bool FdOutput::Write(const void* data, size_t size) {
  auto p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? errno : ENOSPC;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace szdd
