// The questions before an installed file that is as new as the update's copy,
// or newer, is replaced: dialog 103 for a file copied whole (both files shown),
// dialog 104 for a file joined from pieces (the installed file shown).
#pragma once

#include <cstdint>

#include "platform/win32.h"

// The two files of dialog 103, new first.
struct FilePair {
  const char* newFile;
  const char* installedFile;
};

// True only when the user pressed はい; false for いいえ and when the dialog
// could not be filled or made. Raise nothing.
bool AskOverwrite(const char* newFile, const char* installedFile);
bool AskReplaceInstalled(const char* installedFile);

INT_PTR CALLBACK OverwriteDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ReplaceInstalledDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Fill the dialog's lines; on a failure to read a file, report it and end the
// dialog with 0.
void FillOverwriteDialog(HWND dialog, const FilePair* pair);
void FillReplaceInstalledDialog(HWND dialog, const char* installedFile);

// "ｻｲｽﾞ: %uﾊﾞｲﾄ, 更新日時 %d/%d/%d %02d:%02d:%02d" with the local time.
void FormatFileInfo(char* buffer, uint32_t size, const FILETIME& time);
