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

namespace {

// The sharing that a handle of this access needs from every other handle on
// the file: executing reads the data as reading does. None for a handle
// without access to the data.
DWORD SharingNeeded(DWORD access) {
  return ((access & (GENERIC_READ | GENERIC_EXECUTE)) ? FILE_SHARE_READ : 0) |
         ((access & GENERIC_WRITE) ? FILE_SHARE_WRITE : 0);
}

// Whether check holds for every handle open on the data of (dev, ino).
template <typename Check>
bool EveryHandleOnData(dev_t dev, ino_t ino, Check check) {
  for (size_t i = 0; i < slots.size(); ++i) {
    const OpenFile& f = slots[i];
    if (used[i] && f.dev == dev && f.ino == ino && SharingNeeded(f.access) && !check(f)) return false;
  }
  return true;
}

}  // namespace

bool SharingAllows(dev_t dev, ino_t ino, DWORD access, DWORD share) {
  DWORD needs = SharingNeeded(access);
  if (!needs) return true;
  return EveryHandleOnData(dev, ino, [&](const OpenFile& f) {
    DWORD itNeeds = SharingNeeded(f.access);
    return (f.share & needs) == needs && (share & itNeeds) == itNeeds;
  });
}

bool DeletionAllowed(dev_t dev, ino_t ino) {
  return EveryHandleOnData(dev, ino, [](const OpenFile& f) { return (f.share & FILE_SHARE_DELETE) != 0; });
}

size_t OpenFileCount() {
  size_t n = 0;
  for (bool u : used) n += u;
  return n;
}

}  // namespace posix
