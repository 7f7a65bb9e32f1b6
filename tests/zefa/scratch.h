// A folder of a test's own, removed afterwards, with small helpers to lay
// files out in it.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "host_files.h"
#include "media.h"

class Scratch {
 public:
  // In memory where the machine has a file system there: what syncs its
  // writes does not wait for a disk.
  Scratch() {
    struct stat st;
    std::string pattern = std::string(stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp") +
                          "/zefa-parts.XXXXXX";
    root_ = mkdtemp(&pattern[0]);
  }
  ~Scratch() { zefa::RemoveWorkTree(root_); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  std::string operator/(const std::string& rel) const { return root_ + "/" + rel; }
  void Write(const std::string& rel, const std::string& bytes) const {
    std::string path = *this / rel;
    mkmedium::MakeFolders(path.substr(0, path.find_last_of('/')));
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string Read(const std::string& rel) const {
    std::ifstream in(*this / rel, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  const std::string& root() const { return root_; }

 private:
  std::string root_;
};
