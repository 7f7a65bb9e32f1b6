// Registry keys for one test. On POSIX they go into the sandbox prefix's
// registry files, written as Wine writes them; on Windows they are real keys
// in the 32-bit view, removed again when the fixture ends.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32.h"
#include "support/sandbox.h"

class RegistryFixture {
 public:
  explicit RegistryFixture(const Sandbox& box);
  ~RegistryFixture();
  RegistryFixture(const RegistryFixture&) = delete;
  RegistryFixture& operator=(const RegistryFixture&) = delete;

  // A REG_SZ text (CP932) stored with its terminating zero.
  void SetString(HKEY root, const std::string& key, const std::string& name, const std::string& text);
  void SetDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
  // Data of any type, given as the ANSI calls take it: texts in CP932, stored
  // with a terminating zero only where bytes end in one.
  void SetData(HKEY root, const std::string& key, const std::string& name, DWORD type, const std::string& bytes);

  // Whether Reads can tell; only the POSIX layer lets a test see its files.
  static bool CanCountReads();
  // How many times the file behind root was opened since the fixture was made.
  int Reads(HKEY root) const;

 private:
  struct Value {
    std::string name;
    DWORD type;
    std::string bytes;
  };
  using Hive = std::map<std::string, std::vector<Value>>;

  void WriteHive(HKEY root);

  const Sandbox& box_;
  Hive machine_, user_;
  std::vector<std::pair<HKEY, std::string>> created_;
};
