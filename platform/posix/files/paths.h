// Windows paths of the POSIX layer. The system's code sees Windows paths only;
// drive letters map through the prefix's dosdevices folder as Wine maps them.
#pragma once

#include <string>

#include "win32_api.h"

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

// The Windows form (CP932) of a host path, relative to the current directory
// when not absolute: the drive whose folder holds it most closely, else Z:.
// False when no drive holds it or a name cannot be written in CP932.
bool WindowsPath(const std::string& host, std::string* windows);

// The error for a path whose file is missing: ERROR_FILE_NOT_FOUND when its
// folder exists, ERROR_PATH_NOT_FOUND when the folder is missing too.
DWORD MissingFileError(const std::string& host);

}  // namespace posix
