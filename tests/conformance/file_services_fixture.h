// The machine on which Wine's cases for the file services run: a prefix of
// its own whose C: holds the temporary folder (TMP names it) and the Windows
// folder, with the current directory in the temporary folder, where Wine's
// tests make their files. Every handle that a case opens must be closed by
// its end.
#pragma once

#include <gtest/gtest.h>

#include <time.h>
#include <unistd.h>

#include <climits>
#include <optional>
#include <string>

#include "platform/posix/files/handles.h"
#include "platform/win32.h"
#include "support/registry_fixture.h"
#include "support/sandbox.h"
#include "support/scoped_env.h"

class FileServices : public ::testing::Test {
 protected:
  FileServices() {
    box.MakeDir("temp");
    box.MakeDir("windows");
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) savedDir_ = cwd;
    EXPECT_EQ(chdir(box.Host("temp").c_str()), 0);
  }
  ~FileServices() override {
    EXPECT_EQ(posix::OpenFileCount(), handlesAtStart_) << "a handle was left open";
    if (!savedDir_.empty()) {
      EXPECT_EQ(chdir(savedDir_.c_str()), 0);
    }
  }

  // The Windows path of a name in the temporary folder, and its place in the sandbox.
  static std::string Temp(const std::string& name) { return "C:\\temp\\" + name; }
  static std::string InTemp(const std::string& name) { return "temp\\" + name; }

  // Makes the prefix play Windows 98, as Wine's configuration names it.
  void PlayWindows98() { reg.SetString(HKEY_CURRENT_USER, "Software\\Wine", "Version", "win98"); }

  Sandbox box;
  RegistryFixture reg{box};
  ScopedEnv tmp{"TMP", box.Host("temp")};
  ScopedEnv temp{"TEMP", nullptr};

 private:
  std::string savedDir_;
  size_t handlesAtStart_ = posix::OpenFileCount();
};

// The host's time zone for the life of one object (TZ, read again at once).
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    env_.emplace("TZ", zone);
    tzset();
  }
  ~ScopedTimeZone() {
    env_.reset();
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<ScopedEnv> env_;
};
