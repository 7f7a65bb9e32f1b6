#include "file_cat.h"

FileCat::FileCat(const char* destination)
    : timeTaken(0), time(), handle(INVALID_HANDLE_VALUE), buffer(), name(destination) {
  // An existing read-only, hidden or system destination is to be replaced;
  // a missing one is no failure.
  SetFileAttributesA(name, FILE_ATTRIBUTE_NORMAL);
  buffer.reset(new char[kBufferSize]);
  handle = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw ExceptCreate(name);
}

FileCat::~FileCat() {
  // Nothing here may raise: the writer also ends while an append's failure
  // is on its way. The destination keeps what was written.
  if (timeTaken == 1) SetFileTime(handle, &time, &time, &time);
  CloseHandle(handle);
  SetFileAttributesA(name, FILE_ATTRIBUTE_NORMAL);
  handle = INVALID_HANDLE_VALUE;
  buffer.reset();
}

void FileCat::Append(const char* piece) {
  HANDLE file = CreateFileA(piece, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw ExceptOpen(piece);
  if (timeTaken == 0) {
    if (!GetFileTime(file, nullptr, nullptr, &time)) {
      CloseHandle(file);
      throw ExceptGetTime(piece);
    }
    timeTaken = 1;
  }
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer.get(), kBufferSize, &read, nullptr)) {
      CloseHandle(file);
      throw ExceptRead(piece);
    }
    if (read == 0) break;
    // A write that stores fewer bytes than were read (a full disk) fails as
    // well: the joined file would otherwise end short with no word said.
    DWORD written = 0;
    if (!WriteFile(handle, buffer.get(), read, &written, nullptr) || written != read) {
      CloseHandle(file);
      throw ExceptWrite(name);
    }
  }
  CloseHandle(file);
  DeleteFileA(piece);  // copied whole; a piece that stays does no harm
}
