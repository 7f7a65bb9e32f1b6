#include "dialog_resources.h"

#include <map>

namespace posix {
namespace {

std::map<int, const DialogTemplate*>& Registry() {
  static std::map<int, const DialogTemplate*> dialogs;
  return dialogs;
}

}  // namespace

DialogRegistration::DialogRegistration(const DialogTemplate* dialogs, int count) {
  for (int i = 0; i < count; ++i) Registry()[dialogs[i].id] = &dialogs[i];
}

const DialogTemplate* FindDialog(int id) {
  auto it = Registry().find(id);
  return it == Registry().end() ? nullptr : it->second;
}

}  // namespace posix
