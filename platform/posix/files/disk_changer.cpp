#include "disk_changer.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "wintext/cp932.h"

namespace posix {
namespace {

// A changer answers at once: changing a disk is a link put in place. One that
// takes longer than this is stuck (stopped, or serving nothing), and the
// lookup fails as without a changer instead of hanging the program.
constexpr time_t kAnswerSeconds = 5;

bool IsSeparator(unsigned char c) { return c == '\\' || c == '/'; }

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string ReadLine(int fd) {
  std::string line;
  char c;
  while (line.size() < 64) {
    ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    line += c;
  }
  return line;
}

}  // namespace

bool RootFileName(const char* windowsPath, char drive, std::string* name) {
  auto p = reinterpret_cast<const unsigned char*>(windowsPath);
  if (!p || (p[0] | 0x20) != (drive | 0x20) || p[1] != ':' || !IsSeparator(p[2])) return false;
  p += 3;
  if (!*p) return false;
  for (const unsigned char* q = p; *q; ++q) {
    if (wintext::IsLeadByte(*q) && q[1]) {
      ++q;
    } else if (IsSeparator(*q)) {
      return false;
    }
  }
  *name = reinterpret_cast<const char*>(p);
  return name->find('\n') == std::string::npos;
}

bool AskDiskChanger(const char* windowsPath) {
  const char* changer = std::getenv(kDiskChangerVariable);
  if (!changer || !changer[0] || changer[1] != ':' || !changer[2]) return false;
  std::string name;
  if (!RootFileName(windowsPath, changer[0], &name)) return false;

  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (std::strlen(changer + 2) >= sizeof address.sun_path) return false;
  std::strcpy(address.sun_path, changer + 2);
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int saved = errno;
  struct timeval limit = {kAnswerSeconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  bool changed = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                 WriteAll(fd, name + "\n") && ReadLine(fd) == "changed";
  ::close(fd);
  errno = saved;
  return changed;
}

}  // namespace posix
