// Windows paths of the POSIX layer. The system's code sees Windows paths only;
// drive letters map through the prefix's dosdevices folder as Wine maps them.
#pragma once

#include <string>

#include "files_api.h"
#include "platform/host.h"

namespace posix {

// The prefix: $WINEPREFIX, else ~/.wine.
std::string PrefixDir();

// Maps a Windows path (CP932) to its host path. Components that exist in
// another letter case are found as Windows finds them; a missing component and
// what follows it are taken as written. A path that ends in a separator keeps a
// trailing '/'. Returns ERROR_SUCCESS or the error that a file call on the path
// reports (ERROR_PATH_NOT_FOUND for an unknown drive, ERROR_INVALID_NAME for a
// character that Windows does not allow in a name, and so on).
DWORD MapPath(const char* windowsPath, std::string* host);

// The full Windows form of a path, as GetFullPathNameA gives it: drive,
// current directory for a relative path, "." and ".." resolved, names as
// written. Returns ERROR_SUCCESS or the error MapPath would give.
DWORD FullPath(const char* windowsPath, std::string* full);

// The error for a path whose file is missing: ERROR_FILE_NOT_FOUND when its
// folder exists, ERROR_PATH_NOT_FOUND when the folder is missing too.
DWORD MissingFileError(const std::string& host);

}  // namespace posix
