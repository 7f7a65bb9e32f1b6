// The host path of a Windows path, for host programs that work beside the
// system (platform/host.h).
#include "paths.h"

namespace posix {

bool HostPath(const std::string& windows, std::string* host) {
  return MapPath(windows.c_str(), host) == ERROR_SUCCESS;
}

}  // namespace posix
