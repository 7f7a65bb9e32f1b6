// The launcher: copies the updater body from the medium into the temporary
// directory, starts that copy and ends, so that the disks can be changed.
#pragma once

#include "platform/win32.h"

// The system's text for an error code ("Error #%u\n" where it has none).
const char* SystemErrorText(DWORD code);
// A box with message, a line feed and the system's text for code.
void ShowSystemError(const char* message, DWORD code);
INT_PTR CALLBACK PreparingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
