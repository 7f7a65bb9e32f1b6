#include "overwrite_confirmation.h"

#include "file_copy.h"
#include "foundation/file.h"
#include "foundation/paths.h"
#include "foundation/process_values.h"
#include "foundation/text_format.h"
#include "updater/resource.h"

namespace {

constexpr size_t kLineSize = 512;

// What the dialogs show of one file: its size after expansion and its time.
struct FileInfo {
  uint32_t size;
  FILETIME time;
};

void ShowFileError(HWND dialog, const File::Except& e) {
  MessageBoxA(dialog, e.message ? e.message : "", kUpdaterCaption, MB_OK | MB_ICONERROR);
  EndDialog(dialog, 0);
}

void SetTitle(HWND dialog, const char* installedFile) {
  char directory[MAX_PATH], name[MAX_PATH], line[kLineSize];
  SplitPath(directory, name, installedFile);
  FormatText(line, sizeof line, "新しいﾌｧｲﾙ '%s'が存在します", name);
  SetDlgItemTextA(dialog, IDC_TITLE, line);
}

void SetInfo(HWND dialog, int id, const FileInfo& info) {
  char line[kLineSize];
  FormatFileInfo(line, info.size, info.time);
  SetDlgItemTextA(dialog, id, line);
}

INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, void (*fill)(HWND, LPARAM)) {
  // An exception must never reach the window manager: the fill step catches
  // what it can report, and anything else (an exhausted heap) ends the dialog.
  try {
    if (message == WM_INITDIALOG) {
      fill(dialog, lParam);
      return TRUE;
    }
    if (message == WM_COMMAND && (wParam == IDYES || wParam == IDNO)) {
      EndDialog(dialog, static_cast<INT_PTR>(wParam));
      return TRUE;
    }
  } catch (...) {
    EndDialog(dialog, 0);
    return TRUE;
  }
  return FALSE;
}

bool Ask(int dialogId, DLGPROC proc, LPARAM param) {
  INT_PTR result = DialogBoxParamA(InstanceHandle, MAKEINTRESOURCEA(dialogId), ProgressDialogHandle, proc, param);
  SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  return result == IDYES;
}

}  // namespace

bool AskOverwrite(const char* newFile, const char* installedFile) {
  FilePair pair = {newFile, installedFile};
  return Ask(IDD_OVERWRITE, OverwriteDlgProc, reinterpret_cast<LPARAM>(&pair));
}

bool AskReplaceInstalled(const char* installedFile) {
  return Ask(IDD_REPLACE_INSTALLED, ReplaceInstalledDlgProc, reinterpret_cast<LPARAM>(installedFile));
}

INT_PTR CALLBACK OverwriteDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return DialogProc(dialog, message, wParam, lParam,
                    [](HWND d, LPARAM p) { FillOverwriteDialog(d, reinterpret_cast<const FilePair*>(p)); });
}

INT_PTR CALLBACK ReplaceInstalledDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return DialogProc(dialog, message, wParam, lParam,
                    [](HWND d, LPARAM p) { FillReplaceInstalledDialog(d, reinterpret_cast<const char*>(p)); });
}

void FillOverwriteDialog(HWND dialog, const FilePair* pair) {
  FileInfo newInfo, installedInfo;
  try {
    File newFile(pair->newFile, File::kRead);
    File installed(pair->installedFile, File::kRead);
    newFile.GetTime(nullptr, nullptr, &newInfo.time);
    installed.GetTime(nullptr, nullptr, &installedInfo.time);
    newInfo.size = ExpandedSize(pair->newFile);
    installedInfo.size = ExpandedSize(pair->installedFile);
  } catch (File::Except e) {
    ShowFileError(dialog, e);
    return;
  }
  SetTitle(dialog, pair->installedFile);
  SetInfo(dialog, IDC_NEW_FILE_INFO, newInfo);
  SetInfo(dialog, IDC_INSTALLED_FILE_INFO, installedInfo);
}

void FillReplaceInstalledDialog(HWND dialog, const char* installedFile) {
  FileInfo info;
  try {
    File installed(installedFile, File::kRead);
    installed.GetTime(nullptr, nullptr, &info.time);
    info.size = ExpandedSize(installedFile);
  } catch (File::Except e) {
    ShowFileError(dialog, e);
    return;
  }
  SetTitle(dialog, installedFile);
  SetInfo(dialog, IDC_INSTALLED_FILE_INFO, info);
}

void FormatFileInfo(char* buffer, uint32_t size, const FILETIME& time) {
  // A time that has no local or calendar form shows as zeros, never as
  // whatever the stack held.
  FILETIME local;
  SYSTEMTIME parts = {};
  if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &parts)) parts = {};
  FormatText(buffer, kLineSize, "ｻｲｽﾞ: %uﾊﾞｲﾄ, 更新日時 %d/%d/%d %02d:%02d:%02d", size, parts.wYear, parts.wMonth,
             parts.wDay, parts.wHour, parts.wMinute, parts.wSecond);
}
