// Dialog templates of the POSIX build, generated at build time from the same
// .rc files that windres compiles for Windows, so that both platforms show the
// same dialogs.
#pragma once

#include "ui_api.h"

namespace posix {

struct ControlTemplate {
  int id;
  const char* className;  // "BUTTON", "STATIC", "msctls_progress32"
  const char* text;       // CP932
  DWORD style;
  int x, y, cx, cy;  // dialog units
};

struct DialogTemplate {
  int id;
  const char* caption;  // CP932
  DWORD style;
  int x, y, cx, cy;
  const char* fontName;
  int fontSize;
  const ControlTemplate* controls;
  int controlCount;
};

// Makes a program's dialogs known; the generated table registers itself.
struct DialogRegistration {
  DialogRegistration(const DialogTemplate* dialogs, int count);
};

// The template of a dialog id, or null.
const DialogTemplate* FindDialog(int id);

}  // namespace posix
