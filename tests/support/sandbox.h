// A fresh, empty directory for one test, known by its Windows path. On POSIX
// it is drive C: of a prefix of its own (WINEPREFIX points there while the
// sandbox lives); on Windows it is a folder in the temporary directory.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // The Windows path of rel (a CP932 name with '\' separators) inside the sandbox.
  std::string Win(const std::string& rel = "") const;
  // The path of rel as the host's own file functions take it.
  std::string Host(const std::string& rel = "") const;
  // The prefix folder (POSIX) holding dosdevices, registry files and so on.
  const std::string& Prefix() const { return prefix_; }

  // Fixtures made with the host's own file functions, independent of the layer.
  void Write(const std::string& rel, const std::string& bytes) const;
  std::string Read(const std::string& rel) const;
  bool Exists(const std::string& rel) const;
  void MakeDir(const std::string& rel) const;
  void SetReadOnly(const std::string& rel, bool readOnly) const;
  // Last-write time as a FILETIME tick count, and setting it (the last-access time too).
  uint64_t WriteTime(const std::string& rel) const;
  void SetWriteTime(const std::string& rel, uint64_t ticks) const;

 private:
  std::string root_;    // the drive's folder (POSIX) or the folder itself (Windows)
  std::string prefix_;  // POSIX only
  std::string savedPrefix_;
  bool hadPrefix_ = false;
};

// Converts UTF-8 test text to CP932 (literals in tests are CP932 already; this
// serves texts read back from the terminal and the like).
std::string Cp932(const std::string& utf8);

// A FILETIME from its tick count.
FILETIME Ticks(uint64_t ticks);
uint64_t Ticks(const FILETIME& ft);
