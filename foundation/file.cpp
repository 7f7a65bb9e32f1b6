#include "file.h"

#include <exception>

File::File(const char* name_, int mode_)
    : name(name_),
      mode(mode_),
      handle(INVALID_HANDLE_VALUE),
      buffer(new char[kCapacity]),
      position(mode_ == kRead ? kCapacity : 0),
      end(mode_ == kRead ? kCapacity : 0),
      capacity(kCapacity),
      uncaught(std::uncaught_exceptions()) {
  DWORD access = mode == kRead ? GENERIC_READ : GENERIC_WRITE;
  DWORD share = mode == kRead ? FILE_SHARE_READ : 0;
  DWORD disposition = mode == kCreate ? CREATE_ALWAYS : OPEN_EXISTING;
  handle = CreateFileA(name, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    if (mode == kCreate) throw ExceptCreate(name);
    throw ExceptOpen(name);
  }
}

File::~File() noexcept(false) {
  // Close the handle whatever the flush does, then raise the first failure.
  bool flushed = mode == kRead || Flush();
  bool closed = CloseHandle(handle) != 0;
  handle = INVALID_HANDLE_VALUE;
  buffer.reset();
  if (std::uncaught_exceptions() > uncaught) return;  // never end the process mid-unwind
  if (!flushed) throw ExceptWrite(name);
  if (!closed) throw ExceptClose(name);
}

void File::Fill() {
  DWORD read = 0;
  // A failed read is an error of its own, never the end of the data: the
  // script would otherwise end early and the update seem complete.
  if (!ReadFile(handle, buffer.get(), static_cast<DWORD>(capacity), &read, nullptr)) throw ExceptRead(name);
  position = 0;
  end = static_cast<int>(read);
}

int File::GetChar(char* c) {
  if (position == capacity) Fill();
  if (position == end) return 0;
  *c = buffer[position++];
  return 1;
}

int File::GetLine(char* text, int n) {
  int count = 0;
  if (n > 1) {
    char c;
    while (GetChar(&c)) {
      text[count++] = c;
      if (c == '\n' || count == n - 1) break;
    }
  }
  text[count] = 0;
  return count;
}

bool File::Flush() {
  DWORD written = 0;
  if (!WriteFile(handle, buffer.get(), static_cast<DWORD>(position), &written, nullptr)) return false;
  position = 0;
  end = static_cast<int>(written);
  return true;
}

void File::GetTime(FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
  if (!GetFileTime(handle, creation, lastAccess, lastWrite)) throw ExceptGetTime(name);
}

void File::SetTime(const FILETIME* creation, const FILETIME* lastAccess, const FILETIME* lastWrite) {
  if (!SetFileTime(handle, creation, lastAccess, lastWrite)) throw ExceptSetTime(name);
}
