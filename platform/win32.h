// The one header through which the system's code reaches the platform.
// On Windows it is the Windows SDK; elsewhere it is our own implementation of
// exactly the calls the programs make, which behaves as a Japanese Windows NT
// whose drives and registry come from a Wine-style prefix.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>
#include <lzexpand.h>
#else
#include "posix/win32_api.h"
#endif
