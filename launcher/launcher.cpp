#include "launcher.h"

#include "foundation/paths.h"
#include "foundation/text_format.h"
#include "resource.h"

namespace {

const char kCaption[] = "ゼファアップデート";

char launcherDirectory[MAX_PATH];
char temporaryDirectory[MAX_PATH];
char systemMessage[1024];

void ShowError(const char* text) { MessageBoxA(nullptr, text, kCaption, MB_ICONERROR); }

// Whether the updater's path in directory fits a path: a cut one would name
// another file.
bool HoldsUpdaterPath(const char* directory) {
  char path[MAX_PATH];
  return JoinPath(path, directory, kUpdaterFile);
}

}  // namespace

const char* SystemErrorText(DWORD code) {
  if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), systemMessage, sizeof systemMessage, nullptr))
    FormatText(systemMessage, sizeof systemMessage, "Error #%u\n", static_cast<unsigned>(code));
  return systemMessage;
}

void ShowSystemError(const char* message, DWORD code) {
  char text[512];
  FormatText(text, sizeof text, "%s\n%s", message, SystemErrorText(code));
  ShowError(text);
}

INT_PTR CALLBACK PreparingDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  char ownPath[MAX_PATH], ownName[MAX_PATH];
  UpdaterStart start;

  // A path that does not fit is as unusable as none: a cut one would name
  // another file.
  DWORD length = GetModuleFileNameA(instance, ownPath, sizeof ownPath);
  if (length == 0 || length >= sizeof ownPath) {
    ShowSystemError("モジュール名が取得できません。", length ? ERROR_INSUFFICIENT_BUFFER : GetLastError());
    return 0;
  }
  SplitPath(launcherDirectory, ownName, ownPath);
  if (!HoldsUpdaterPath(launcherDirectory)) {
    ShowSystemError("モジュール名が取得できません。", ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  length = GetTempPathA(sizeof temporaryDirectory, temporaryDirectory);
  if (length == 0 || length >= sizeof temporaryDirectory || !HoldsUpdaterPath(temporaryDirectory)) {
    ShowSystemError("テンポラリディレクトリが取得できません。", length ? ERROR_FILENAME_EXCED_RANGE : GetLastError());
    return 0;
  }
  HWND preparing =
      CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PREPARING), nullptr, PreparingDialogProc, 0);
  if (!preparing) {
    ShowSystemError("ダイアログが表示できません。", GetLastError());
    return 0;
  }
  PlanUpdaterStart(launcherDirectory, temporaryDirectory, &start);
  // A copy from a CD is read-only, as CopyFileA carries the attribute over,
  // and could not be replaced at the next start without this.
  if (lstrcmpiA(start.mediumCopy, start.temporaryCopy) != 0) SetFileAttributesA(start.temporaryCopy, FILE_ATTRIBUTE_NORMAL);
  if (lstrcmpiA(start.mediumCopy, start.temporaryCopy) != 0 && !CopyFileA(start.mediumCopy, start.temporaryCopy, FALSE)) {
    // The preparing window stays behind the box until the process ends.
    ShowSystemError("ゼファアップデート本体のコピーに失敗しました。", GetLastError());
    return 0;
  }
  DestroyWindow(preparing);
  if (WinExec(start.commandLine, SW_SHOWNORMAL) <= 31) ShowError("ゼファアップデート本体の起動に失敗しました。");
  return 0;
}
