// The launcher: copies the updater body from the medium into the temporary
// directory, starts that copy and ends, so that the disks can be changed.
#pragma once

#include "platform/win32.h"

// The system's text for an error code ("Error #%u\n" where it has none).
const char* SystemErrorText(DWORD code);
// A box with message, a line feed and the system's text for code.
void ShowSystemError(const char* message, DWORD code);
INT_PTR CALLBACK PreparingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The updater's file name, on the medium and in the temporary directory.
extern const char kUpdaterFile[];

// The updater's copy beside the launcher, its copy in the temporary
// directory, and the command line that starts the second with the path of the
// first after it.
struct UpdaterStart {
  char mediumCopy[MAX_PATH];
  char temporaryCopy[MAX_PATH];
  // Two paths, the quotes around the first, a blank and the terminator.
  char commandLine[2 * MAX_PATH + 2];
};
void PlanUpdaterStart(const char* launcherDirectory, const char* temporaryDirectory, UpdaterStart* start);
