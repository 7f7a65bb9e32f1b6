// What a host program that runs the system's code on the POSIX layer (a tool
// that reads a medium with the updater's own loader, or one that runs the
// updater against media of its own) may ask of the layer, without reaching
// into it.
#pragma once

#ifndef _WIN32
#include <string>

#include "platform/posix/files/disk_changer.h"    // kDiskChangerVariable
#include "platform/posix/process/program_start.h"  // StartProgram

namespace posix {

// The Windows form (CP932) of a host path, relative to the current directory
// when not absolute: the drive whose folder holds it most closely, else Z:.
// False when no drive holds it or a name cannot be written in CP932, and
// false with ERROR_INVALID_NAME when a name holds a backslash, which Windows
// would read as two names.
bool WindowsPath(const std::string& host, std::string* windows);

// The host path of a Windows path, as the layer's file calls map it (a name
// that exists in another letter case is found). False for a path that no
// drive holds or that Windows would refuse.
bool HostPath(const std::string& windows, std::string* host);

}  // namespace posix
#endif
