// Builds one destination file from pieces: appends whole piece files in the
// order given, deletes each piece once it is copied, and gives the destination
// the last-write time of the first piece when its life ends.
#pragma once

#include <memory>

#include "exception.h"
#include "platform/win32.h"

class FileCat {
 public:
  using Except = ExceptionFamily<FileCat>;
  class ExceptCreate : public Except {
   public:
    explicit ExceptCreate(const char* name) : Except("ファイル'%s'を作成できません", name) {}
  };
  class ExceptOpen : public Except {
   public:
    explicit ExceptOpen(const char* name) : Except("ファイル'%s'をオープンできません", name) {}
  };
  class ExceptGetTime : public Except {
   public:
    explicit ExceptGetTime(const char* name) : Except("ファイル'%s'の時刻が読み込めません", name) {}
  };
  class ExceptRead : public Except {
   public:
    explicit ExceptRead(const char* name) : Except("ファイル'%s'を読み込めません", name) {}
  };
  class ExceptWrite : public Except {
   public:
    explicit ExceptWrite(const char* name) : Except("ファイル'%s'に書き込めません", name) {}
  };

  // Creates (or empties) destination, which the caller keeps alive as long as
  // the object. Raises ExceptCreate.
  explicit FileCat(const char* destination);
  FileCat(const FileCat&) = delete;
  FileCat& operator=(const FileCat&) = delete;
  // Sets the time, closes, resets the attributes; raises nothing.
  virtual ~FileCat();

  // Appends the whole piece, then deletes it. Raises ExceptOpen, ExceptGetTime
  // or ExceptRead naming the piece, ExceptWrite naming the destination.
  void Append(const char* piece);

 private:
  static constexpr DWORD kBufferSize = 8192;

  int timeTaken;
  FILETIME time;
  HANDLE handle;
  std::unique_ptr<char[]> buffer;
  const char* name;
};
