// The updater's entry and the order of one update run.
#include "updater.h"

#include <new>

#include "engine/update_job.h"
#include "foundation/exception.h"
#include "foundation/paths.h"
#include "foundation/process_values.h"
#include "foundation/text_format.h"
#include "resource.h"
#include "script/update_script.h"

namespace {

constexpr size_t kBoxTextSize = 512;

void ShowNamed(HWND owner, const char* format, const char* appName, UINT type) {
  char text[kBoxTextSize];
  FormatText(text, sizeof text, format, appName ? appName : "");
  MessageBoxA(owner, text, kUpdaterCaption, type);
}

// Loads the script, finds the installation, asks, copies. Returns false when
// the run ends as an answer (not set up, refused, No), which schedules nothing.
bool Update(HWND dialog, HWND progressBar) {
  UpdateScript script;
  script.Load("Orbane.fix");
  const char* appName = script.appName;
  SetTitleLine(dialog, appName);
  UpdateJob job(&script);
  if (!job.Locate()) {
    if (job.refused)
      ShowKitRefusal(dialog, appName);
    else
      ShowNotSetUp(dialog, appName);
    return false;
  }
  if (!ConfirmUpdate(dialog, appName)) return false;
  SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  UpdateWindow(dialog);
  job.Run(dialog, progressBar);
  ShowCompletion(dialog, appName);
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  InstanceHandle = instance;
  InitCommonControls();
  if (!TakeSourcePath(instance, commandLine)) return 0;
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, ProgressDialogProc, 0);
  return 0;
}

bool TakeSourcePath(HINSTANCE instance, const char* commandLine) {
  char ownPath[MAX_PATH];
  const char* sourcePath = commandLine;
  if (!sourcePath || !*sourcePath) {
    DWORD length = GetModuleFileNameA(instance, ownPath, sizeof ownPath);
    if (length == 0 || length >= sizeof ownPath) return false;
    sourcePath = ownPath;
  }
  char name[MAX_PATH];
  // A source directory too long for a path is cut to 258 bytes or more, to
  // which the script's name does not fit: the run fails opening the script,
  // naming the path as far as it fits, and reads nothing from elsewhere.
  SplitPath(SourceDirectory, name, sourcePath);
  return true;
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      ProgressDialogHandle = dialog;
      PostMessageA(dialog, WM_APP_START, 0, 0);
      return TRUE;
    case WM_APP_START:
      RunUpdate(dialog);
      EndDialog(dialog, 0);
      return TRUE;
  }
  return FALSE;
}

void RunUpdate(HWND dialog) {
  HWND progressBar = GetDlgItem(dialog, IDC_PROGRESS);
  try {
    if (!Update(dialog, progressBar)) return;
  } catch (Exception e) {
    MessageBoxA(dialog, e.message ? e.message : "", kUpdaterCaption, MB_ICONERROR);
  } catch (const std::bad_alloc&) {
    // Nothing may cross the dialog procedure; an exhausted heap ends the run
    // like any other failure.
    MessageBoxA(dialog, "メモリが不足しています。", kUpdaterCaption, MB_ICONERROR);
  }
  ScheduleSelfRemoval();
  MessageBoxA(dialog,
              "ゼファアップデートのテンポラリファイルを削除するために\nウィンドウズを再起動してください。",
              kUpdaterCaption, MB_ICONINFORMATION);
}

void SetTitleLine(HWND dialog, const char* appName) {
  char text[MAX_PATH];
  FormatText(text, sizeof text, "「%s」のアップデート", appName ? appName : "");
  SetDlgItemTextA(dialog, IDC_TITLE, text);
}

bool ConfirmUpdate(HWND owner, const char* appName) {
  char text[kBoxTextSize];
  FormatText(text, sizeof text, "「%s」をアップデートしますか？", appName ? appName : "");
  return MessageBoxA(owner, text, kUpdaterCaption, MB_YESNO | MB_ICONWARNING) == IDYES;
}

void ShowNotSetUp(HWND owner, const char* appName) {
  ShowNamed(owner, "「%s」がセットアップされていません", appName, MB_ICONERROR);
}

void ShowKitRefusal(HWND owner, const char* appName) {
  ShowNamed(owner, "このアップデートは「%s」本体専用です。ガルモには使用できません", appName, MB_ICONERROR);
}

void ShowCompletion(HWND owner, const char* appName) {
  ShowNamed(owner, "「%s」のアップデートが完了しました", appName, MB_ICONINFORMATION);
}
