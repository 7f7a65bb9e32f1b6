#include "handles.h"

#include <vector>

#include "platform/posix/text/errors.h"

namespace posix {
namespace {

// Slot i holds the file of handle 4 * (i + 1); Windows handles are multiples of 4.
std::vector<OpenFile> slots;
std::vector<bool> used;

size_t SlotOf(HANDLE handle) {
  auto value = reinterpret_cast<uintptr_t>(handle);
  if (value == 0 || value % 4 != 0) return SIZE_MAX;
  size_t slot = value / 4 - 1;
  return slot < used.size() && used[slot] ? slot : SIZE_MAX;
}

}  // namespace

HANDLE AddFile(const OpenFile& file) {
  size_t slot = 0;
  while (slot < used.size() && used[slot]) ++slot;
  if (slot == used.size()) {
    slots.emplace_back();
    used.push_back(false);
  }
  slots[slot] = file;
  used[slot] = true;
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(4 * (slot + 1)));
}

OpenFile* FindFile(HANDLE handle) {
  size_t slot = SlotOf(handle);
  if (slot == SIZE_MAX) {
    Fail(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return &slots[slot];
}

bool RemoveFile(HANDLE handle, OpenFile* removed) {
  size_t slot = SlotOf(handle);
  if (slot == SIZE_MAX) return Fail(ERROR_INVALID_HANDLE);
  *removed = slots[slot];
  used[slot] = false;
  return true;
}

bool SharingAllows(dev_t dev, ino_t ino, DWORD access, DWORD share) {
  for (size_t i = 0; i < slots.size(); ++i) {
    const OpenFile& f = slots[i];
    if (!used[i] || f.dev != dev || f.ino != ino) continue;
    if ((access & GENERIC_READ) && !(f.share & FILE_SHARE_READ)) return false;
    if ((access & GENERIC_WRITE) && !(f.share & FILE_SHARE_WRITE)) return false;
    if ((f.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return false;
    if ((f.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return false;
  }
  return true;
}

bool DeletionAllowed(dev_t dev, ino_t ino) {
  for (size_t i = 0; i < slots.size(); ++i)
    if (used[i] && slots[i].dev == dev && slots[i].ino == ino && !(slots[i].share & FILE_SHARE_DELETE))
      return false;
  return true;
}

size_t OpenFileCount() {
  size_t n = 0;
  for (bool u : used) n += u;
  return n;
}

}  // namespace posix
