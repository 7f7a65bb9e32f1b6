// The current directory changed for the life of one object, as a test that
// works with relative names needs it, and put back at its end.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::string& dir) {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd) || chdir(dir.c_str()) != 0)
      throw std::runtime_error("cannot change the current directory to " + dir);
    saved_ = cwd;
  }
  ~CurrentDirectory() {
    if (chdir(saved_.c_str()) != 0) std::abort();  // every later test would run elsewhere
  }
  CurrentDirectory(const CurrentDirectory&) = delete;
  CurrentDirectory& operator=(const CurrentDirectory&) = delete;

 private:
  std::string saved_;
};
