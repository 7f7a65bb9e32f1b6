// The updater body: its entry, the progress dialog that drives one update
// run, and the questions and messages of that run.
#pragma once

#include "platform/win32.h"

// Posted by the progress dialog to itself to start the run once it is up.
constexpr UINT WM_APP_START = WM_USER + 100;

// Sets the source directory: the directory of the path that the command line
// holds (all of it), or of the updater's own path when the line is empty.
// False when there is neither.
bool TakeSourcePath(HINSTANCE instance, const char* commandLine);

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// One whole update, inside the progress dialog.
void RunUpdate(HWND dialog);

void SetTitleLine(HWND dialog, const char* appName);
bool ConfirmUpdate(HWND owner, const char* appName);
void ShowNotSetUp(HWND owner, const char* appName);
void ShowKitRefusal(HWND owner, const char* appName);
void ShowCompletion(HWND owner, const char* appName);

// Registers the running program file for deletion at the next restart.
void ScheduleSelfRemoval();
bool IsWindowsNT();
