// Reading values under one subkey of a predefined registry root. The reader
// never writes to the registry.
#pragma once

#include "exception.h"
#include "platform/win32.h"

class Registry {
 public:
  // The family; raised by itself when the key cannot be closed.
  using Except = ExceptionFamily<Registry>;
  class ExceptOpen : public Except {
   public:
    explicit ExceptOpen(const char* subKey) : Except("レジストリ'%s'をオープンできません", subKey) {}
  };
  class ExceptRead : public Except {
   public:
    explicit ExceptRead(const char* valueName) : Except("レジストリ'%s'を読み込めません", valueName) {}
  };

  // A reader on root (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE); nothing is opened yet.
  explicit Registry(HKEY root);
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;
  // Closes the subkey if it was opened. A failure is raised as Except, unless
  // another exception is already on its way, in which case it is dropped.
  ~Registry() noexcept(false);

  // Opens subKey (relative to root) for reading; raises ExceptOpen naming it.
  // Called once, before any read.
  void Open(const char* subKey);
  // The value's data as a number: 4 bytes give theirs, fewer bytes fill the
  // low end. A longer value, or none, raises ExceptRead naming it.
  DWORD ReadDword(const char* valueName);
  // Copies the value's data into buffer (size bytes), whatever its type, and
  // makes sure that it ends in a zero inside the buffer: data stored without
  // one gets one after it, and data that fills the whole buffer without one is
  // refused like a longer value. Raises ExceptRead naming the value.
  void ReadString(const char* valueName, char* buffer, DWORD size);

  HKEY root;
  HKEY key;  // the opened subkey, or null

 private:
  int uncaught;  // exceptions in flight when the reader was made
};
