// Program start, processes, system information and restart-time deletion of
// the POSIX layer.
#pragma once

#include "platform/posix/files/files_api.h"

typedef struct _OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
} OSVERSIONINFOA, *LPOSVERSIONINFOA;

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

#define SW_SHOWNORMAL 1

#define MOVEFILE_REPLACE_EXISTING 0x1
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x4


// The programs' entry, which the layer's main() calls with the text of the
// command line after the program's name.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

LPSTR WINAPI GetCommandLineA(void);
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size);
UINT WINAPI WinExec(LPCSTR commandLine, UINT show);
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA version);
UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size);
BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName);
BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags);

// The temporary directory, with its trailing backslash: the Windows form of
// $TMP, else of $TEMP, else the prefix user's own temporary folder. Returns
// the length stored; the size needed (terminator included) when size is too
// small, the buffer left as it was; 0 on failure.
DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer);
