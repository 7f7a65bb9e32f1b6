// The ground for in-process runs of the copy engine: a medium of several
// disks with a drive folder to put them in, an installation, a temporary
// directory, the progress dialog, and a scripted person in front of it all.
#pragma once

#ifndef _WIN32
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "engine/update_job.h"
#include "script/update_script.h"
#include "support/sandbox.h"
#include "support/scripted_user.h"

class EngineRun : public ::testing::Test {
 protected:
  static constexpr uint64_t kOld = 125000000000000000ULL;  // 1997
  static constexpr uint64_t kNew = 126000000000000000ULL;  // 2000

  void SetUp() override;
  void TearDown() override;

  // A file on disk n (its label file is made with the first of its files).
  void OnDisk(int n, const std::string& name, const std::string& content, uint64_t time = kNew);
  void OnDiskCompressed(int n, const std::string& name, const std::string& content, uint64_t time = kNew);
  // A file of the installation (C:\Game).
  void Installed(const std::string& name, const std::string& content, uint64_t time);
  // Puts disk n in the drive (C:\medium), taking out what was there.
  void Insert(int n);
  // An action for the scripted person: insert disk n.
  std::function<void()> Inserting(int n) {
    return [this, n] { Insert(n); };
  }

  // Loads the script on disk 1 (in the drive) and runs the job; the message of
  // the exception it ends with, or "".
  std::string Run(const std::string& script);

  int BarPosition() const;
  int BarMaximum() const;

  // Where the run finds the installation (a Windows path) and the folder of
  // the sandbox that is the drive with the medium.
  std::string installDir = "C:\\Game";
  std::string mediumFolder = "medium";

  Sandbox box;
  ScriptedUser user;
  HWND progress = nullptr;
};
#endif
