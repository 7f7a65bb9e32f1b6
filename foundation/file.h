// One Windows file with an 8192-byte buffer through which it is read byte by
// byte and line by line, and access to its three time stamps.
#pragma once

#include <memory>

#include "exception.h"
#include "platform/win32.h"

class File {
 public:
  using Except = ExceptionFamily<File>;
  class ExceptOpen : public Except {
   public:
    explicit ExceptOpen(const char* name) : Except("ファイル'%s'をオープンできません", name) {}
  };
  class ExceptCreate : public Except {
   public:
    explicit ExceptCreate(const char* name) : Except("ファイル'%s'を作成できません", name) {}
  };
  class ExceptClose : public Except {
   public:
    explicit ExceptClose(const char* name) : Except("ファイル'%s'をクローズできません", name) {}
  };
  class ExceptRead : public Except {
   public:
    explicit ExceptRead(const char* name) : Except("ファイル'%s'を読み込めません", name) {}
  };
  class ExceptWrite : public Except {
   public:
    explicit ExceptWrite(const char* name) : Except("ファイル'%s'に書き込めません", name) {}
  };
  class ExceptGetTime : public Except {
   public:
    explicit ExceptGetTime(const char* name) : Except("ファイル'%s'の時刻が読み込めません", name) {}
  };
  class ExceptSetTime : public Except {
   public:
    explicit ExceptSetTime(const char* name) : Except("ファイル'%s'の時刻が書き込めません", name) {}
  };

  enum Mode { kRead = 0, kWrite = 1, kCreate = 2 };

  // Opens name, which the caller keeps alive as long as the object: mode 0
  // reads (sharing reading only), mode 1 writes to an existing file, mode 2
  // creates or empties it (both sharing nothing).
  File(const char* name, int mode);
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  // Flushes and closes; a failure is raised, unless another exception is
  // already on its way, in which case it is dropped.
  virtual ~File() noexcept(false);

  // 1 and the next byte in c, or 0 at the end of the data. A failure to read
  // raises ExceptRead.
  int GetChar(char* c);
  // Reads one line into text (n >= 1 bytes): at most n - 1 bytes, a line feed
  // kept as the last byte. Returns the bytes stored; 0 only at the end.
  int GetLine(char* text, int n);
  // The time stamps; a null pointer skips that one.
  void GetTime(FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
  void SetTime(const FILETIME* creation, const FILETIME* lastAccess, const FILETIME* lastWrite);

 private:
  static constexpr int kCapacity = 8192;

  // One block read into the buffer; a failure raises ExceptRead.
  void Fill();
  // Writes out the buffered bytes; false when WriteFile fails.
  bool Flush();

  const char* name;
  int mode;
  HANDLE handle;
  std::unique_ptr<char[]> buffer;
  int position;
  int end;
  int capacity;
  int uncaught;  // exceptions in flight when the file was opened
};
