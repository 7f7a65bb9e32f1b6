// The ground for in-process runs of a whole program's WinMain on the POSIX
// build: an installed product, a one-disk medium in C:\medium, a temporary
// directory, the program's own file as GetModuleFileNameA reports it, and a
// scripted person in front of it all.
#pragma once

#ifndef _WIN32
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/win32.h"
#include "support/registry_fixture.h"
#include "support/sandbox.h"
#include "support/scoped_env.h"
#include "support/scripted_user.h"
#include "support/syscall_faults.h"

class ProgramRun : public ::testing::Test {
 protected:
  ProgramRun() {
    for (const char* dir : {"Game", "medium", "temp"}) box.MakeDir(dir);
    box.Write("medium\\Orbane.fix", "APPNAME=Sample\r\nREGISTRY=Sample\r\n1:README.TXT\r\n");
    box.Write("medium\\disk1.fix", "");
    box.Write("medium\\README.TXT", "read me");
    reg.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample",
                  "UninstallString", "C:\\Game\\uninst.exe *C:\\Game\\uninst.log");
    box.Write("temp\\Tavrix.bin", "the running copy");
    RunningFrom("temp\\Tavrix.bin");
    faults.sys().readlink = OwnPath;
  }

  // The program's file, as the kernel names it (rel inside the sandbox's C:);
  // an empty rel: the kernel cannot say.
  void RunningFrom(const std::string& rel) { ownPath_ = rel.empty() ? "" : box.Host(rel); }

  // What the list of deletions at restart holds (host paths, one a line).
  std::string Pending() const {
    std::ifstream in(box.Prefix() + "/pending-deletions", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string paths;
    for (size_t start = 0; start < text.size();) {
      size_t end = text.find('\n', start);
      std::string line = text.substr(start, end - start);
      paths += line.substr(line.find('\t') + 1) + "\n";
      start = end == std::string::npos ? text.size() : end + 1;
    }
    return paths;
  }

  Sandbox box;
  RegistryFixture reg{box};
  ScopedEnv tmp{"TMP", box.Host("temp")}, temp{"TEMP", nullptr};
  ScriptedUser user;
  SyscallFaults faults;

 private:
  static ssize_t OwnPath(const char* path, char* buf, size_t size) {
    if (std::strcmp(path, "/proc/self/exe") != 0) return posix::RealSyscalls().readlink(path, buf, size);
    if (ownPath_.empty()) return errno = ENOENT, -1;
    size_t n = ownPath_.size() < size ? ownPath_.size() : size;
    std::memcpy(buf, ownPath_.data(), n);
    return static_cast<ssize_t>(n);
  }
  static inline std::string ownPath_;
};
#endif
