// The windows of the POSIX layer: dialogs made from their templates, their
// controls, the queue of posted messages, and what a person sees of them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dialog_resources.h"
#include "ui.h"
#include "ui_api.h"

namespace posix::ui {

struct Window {
  HWND handle = nullptr;
  Window* parent = nullptr;  // a control's dialog, or a dialog's owner window
  bool isDialog = false;
  int id = 0;
  std::string className;
  std::string text;  // CP932
  DWORD style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  DLGPROC proc = nullptr;
  std::vector<Window*> children;
  bool visible = false;
  bool modal = false;
  bool ended = false;
  INT_PTR result = 0;
  // progress bar
  int low = 0, high = 100, position = 0, step = 10;
};

// The window of a handle, or null (ERROR_INVALID_WINDOW_HANDLE set).
Window* Find(HWND handle);

// Creates a dialog and its controls from a template, not yet visible.
Window* CreateDialogWindow(const DialogTemplate& dialog, Window* owner, DLGPROC proc);

// Destroys a window and its controls.
void Destroy(Window* window);

// Delivers the posted messages in order; true when one was delivered.
bool DispatchPosted();

// What a person reads on a window: its texts in reading order, a progress bar
// as "[position/high]"; icons and buttons are not lines.
std::vector<std::string> Lines(const Window& window);

// One line for each visible window other than except.
std::vector<std::string> Behind(const Window* except);

// The user in front of the windows.
User& CurrentUser();

// Writes a shown scene and its answer to the transcript.
void RecordScene(const Scene& scene);
// The transcript's record of scene, without its answer.
std::string Describe(const Scene& scene);
void RecordAnswer(const Scene& scene, const Answer& answer);
void RecordEndOfInput();

// Ends the program when no answer can come any more: a person who is not
// there cannot be waited for.
[[noreturn]] void NoMoreAnswers(const Scene& scene);

// Shows a window that became visible, or changed while visible.
void ShowChanged(const Window& window);

}  // namespace posix::ui
