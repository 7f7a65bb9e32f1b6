// The words that answer a box by its button, in the terminal of the POSIX
// build and in the end-to-end scenarios that the Windows robot plays: one
// language for both, so a scenario answers the same way on each platform.
#pragma once

#include "platform/win32.h"

inline const char* AnswerWord(int id) {
  switch (id) {
    case IDYES: return "yes";
    case IDNO: return "no";
    case IDOK: return "ok";
    case IDCANCEL: return "cancel";
    default: return "";
  }
}
