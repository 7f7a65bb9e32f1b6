// MessageBoxA: a box with a caption, an icon, its text and its buttons, as
// Windows shows it in Japanese.
#include <string>

#include "platform/posix/text/errors.h"
#include "ui_windows.h"

using namespace posix;
using namespace posix::ui;

namespace {

const char* IconName(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return "error";
    case MB_ICONQUESTION: return "question";
    case MB_ICONEXCLAMATION: return "warning";
    case MB_ICONASTERISK: return "information";
    default: return "";
  }
}

std::vector<std::string> TextLines(const char* text) {
  std::vector<std::string> lines(1);
  for (const char* p = text; *p; ++p) {
    if (*p == '\n')
      lines.emplace_back();
    else if (*p != '\r')
      lines.back() += *p;
  }
  while (lines.size() > 1 && lines.back().empty()) lines.pop_back();
  return lines;
}

}  // namespace

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  if (owner && !Find(owner)) return 0;
  Scene scene;
  switch (type & MB_TYPEMASK) {
    case MB_OK: scene.buttons = {{IDOK, "OK"}}; break;
    case MB_OKCANCEL: scene.buttons = {{IDOK, "OK"}, {IDCANCEL, "キャンセル"}}; break;
    case MB_YESNO: scene.buttons = {{IDYES, "はい"}, {IDNO, "いいえ"}}; break;
    case MB_YESNOCANCEL: scene.buttons = {{IDYES, "はい"}, {IDNO, "いいえ"}, {IDCANCEL, "キャンセル"}}; break;
    default: return Fail(ERROR_INVALID_PARAMETER), 0;
  }
  size_t defaultIndex = (type & MB_DEFMASK) >> 8;
  scene.defaultButton = scene.buttons[defaultIndex < scene.buttons.size() ? defaultIndex : 0].id;
  scene.caption = caption ? caption : "エラー";
  scene.icon = IconName(type);
  scene.lines = TextLines(text ? text : "");

  while (DispatchPosted()) {
  }
  scene.behind = Behind(nullptr);
  RecordScene(scene);
  bool hasCancel = scene.buttons.back().id == IDCANCEL;
  for (;;) {
    Answer answer;
    if (!CurrentUser().Ask(scene, &answer)) NoMoreAnswers(scene);
    RecordAnswer(scene, answer);
    if (answer.choice == Choice::kButton) return answer.button;
    // Escape and the close box answer a box that has a way out; a Yes/No
    // question has none and stays.
    if (hasCancel) return IDCANCEL;
    if ((type & MB_TYPEMASK) == MB_OK) return IDOK;
  }
}
