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
#include "posix/text/text_api.h"
#include "posix/files/files_api.h"
#include "posix/lz/lz_api.h"
#include "posix/registry/registry_api.h"
#include "posix/process/process_api.h"
#include "posix/ui/ui_api.h"
#endif
