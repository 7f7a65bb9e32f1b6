// Dialogs: made from the program's templates, run modally with their own
// message loop, or left on screen without one.
#include <algorithm>
#include <cstring>

#include "platform/posix/text/errors.h"
#include "ui_windows.h"

using namespace posix;
using namespace posix::ui;

namespace {

const DialogTemplate* TemplateOf(LPCSTR name) {
  if (!IS_INTRESOURCE(name)) return nullptr;  // the programs name their dialogs by number
  return FindDialog(static_cast<int>(reinterpret_cast<uintptr_t>(name)));
}

Window* FirstTabStop(Window* dialog) {
  for (Window* c : dialog->children)
    if (c->style & WS_TABSTOP) return c;
  return nullptr;
}

Window* MakeDialog(LPCSTR name, HWND owner, DLGPROC proc, LPARAM param) {
  const DialogTemplate* dialog = TemplateOf(name);
  if (!dialog) {
    Fail(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  Window* ownerWindow = nullptr;
  if (owner && !(ownerWindow = Find(owner))) return nullptr;
  Window* w = CreateDialogWindow(*dialog, ownerWindow, proc);
  HWND handle = w->handle;
  Window* focus = FirstTabStop(w);
  if (proc) proc(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus ? focus->handle : nullptr), param);
  return Find(handle);  // the procedure may have destroyed it
}

Scene SceneOf(const Window& dialog) {
  Scene scene;
  scene.dialog = true;
  scene.caption = dialog.text;
  scene.lines = Lines(dialog);
  std::vector<Window*> buttons;
  for (Window* c : dialog.children)
    if (c->visible && c->className == "BUTTON") buttons.push_back(c);
  std::stable_sort(buttons.begin(), buttons.end(), [](Window* a, Window* b) { return a->x < b->x; });
  for (Window* b : buttons) {
    scene.buttons.push_back({b->id, b->text});
    if ((b->style & 0xF) == BS_DEFPUSHBUTTON) scene.defaultButton = b->id;
  }
  scene.behind = Behind(&dialog);
  return scene;
}

// Hands one answer of the person to the dialog, as the dialog manager does.
void Deliver(Window* dialog, const Answer& answer) {
  HWND handle = dialog->handle;
  switch (answer.choice) {
    case Choice::kButton: {
      HWND button = GetDlgItem(handle, answer.button);
      dialog->proc(handle, WM_COMMAND, MAKEWPARAM(answer.button, BN_CLICKED), reinterpret_cast<LPARAM>(button));
      break;
    }
    case Choice::kEscape:
      dialog->proc(handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      break;
    case Choice::kClose:
      // The dialog manager turns an unhandled close into the cancel command.
      if (!dialog->proc(handle, WM_CLOSE, 0, 0) && Find(handle))
        dialog->proc(handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      break;
  }
}

}  // namespace

INT_PTR WINAPI DialogBoxParamA(HINSTANCE, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param) {
  if (!proc) return Fail(ERROR_INVALID_PARAMETER), -1;
  Window* dialog = MakeDialog(name, owner, proc, param);
  if (!dialog) return -1;
  HWND handle = dialog->handle;
  dialog->modal = true;
  // A dialog ended while it was being set up is never shown.
  if (!dialog->ended) {
    dialog->visible = true;
    // A dialog with buttons is drawn when it asks; one without is only looked at.
    if (SceneOf(*dialog).buttons.empty()) ShowChanged(*dialog);
  }
  std::string recorded;  // the dialog as last written to the transcript
  while ((dialog = Find(handle)) && !dialog->ended) {
    if (DispatchPosted()) continue;
    Scene scene = SceneOf(*dialog);
    // An answer that leaves the dialog as it was only adds an answer line.
    if (std::string look = Describe(scene); look != recorded) {
      RecordScene(scene);
      recorded = look;
    }
    Answer answer;
    if (!CurrentUser().Ask(scene, &answer)) NoMoreAnswers(scene);
    RecordAnswer(scene, answer);
    Deliver(dialog, answer);
  }
  if (!dialog) return -1;
  INT_PTR result = dialog->result;
  dialog->visible = false;
  Destroy(dialog);
  return result;
}

HWND WINAPI CreateDialogParamA(HINSTANCE, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param) {
  Window* dialog = MakeDialog(name, owner, proc, param);
  if (!dialog) return nullptr;
  if (dialog->style & WS_VISIBLE) {
    dialog->visible = true;
    ShowChanged(*dialog);
  }
  return dialog->handle;
}

BOOL WINAPI EndDialog(HWND handle, INT_PTR result) {
  Window* dialog = Find(handle);
  if (!dialog) return FALSE;
  dialog->ended = true;
  dialog->result = result;
  if (!dialog->modal) dialog->visible = false;
  return TRUE;
}

BOOL WINAPI DestroyWindow(HWND handle) {
  Window* w = Find(handle);
  if (!w) return FALSE;
  Destroy(w);
  return TRUE;
}

HWND WINAPI GetDlgItem(HWND handle, int id) {
  Window* dialog = Find(handle);
  if (!dialog) return nullptr;
  for (Window* c : dialog->children)
    if (c->id == (id & 0xFFFF)) return c->handle;
  Fail(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  HWND control = GetDlgItem(dialog, id);
  return control && SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size) {
  HWND control = GetDlgItem(dialog, id);
  if (!control) {
    if (size > 0) text[0] = 0;
    return 0;
  }
  return static_cast<UINT>(SendMessageA(control, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) { return cursor; }

HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR name) {
  return reinterpret_cast<HCURSOR>(const_cast<char*>(name));  // a token standing for the shared cursor
}

BOOL WINAPI UpdateWindow(HWND window) { return Find(window) != nullptr; }

void WINAPI InitCommonControls(void) {}
