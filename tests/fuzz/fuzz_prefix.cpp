#include "fuzz_prefix.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  chmod(path, 0700);
  return remove(path);
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) abort();
  if (size && write(fd, data, size) != static_cast<ssize_t>(size)) abort();
  close(fd);
}

}  // namespace

// Frames returned from are watched by the unit tests. In the fuzzers, where
// ASan of clang 15 and later watches them by default, that would cost a fifth
// of the runs. ASAN_OPTIONS still decides.
extern "C" const char* __asan_default_options() { return "detect_stack_use_after_return=0"; }

const std::string& FuzzPrefix() {
  static const std::string prefix = [] {
    // On a disk, every rewrite of an input would wait for the disk, and runs
    // would be ten times slower.
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string made = base + "/zefa-fuzz-XXXXXX";
    if (!mkdtemp(&made[0])) abort();
    for (const char* dir : {"/drive_c", "/drive_c/temp", "/dosdevices", "/zroot"})
      if (mkdir((made + dir).c_str(), 0755)) abort();
    if (symlink("../drive_c", (made + "/dosdevices/c:").c_str()) ||
        symlink("../zroot", (made + "/dosdevices/z:").c_str()))
      abort();
    setenv("WINEPREFIX", made.c_str(), 1);
    setenv("TMP", (made + "/drive_c/temp").c_str(), 1);
    return made;
  }();
  static const bool removed = atexit([] { RemoveTree(prefix); }) == 0;
  (void)removed;
  return prefix;
}

void RemoveTree(const std::string& path) { nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

void WriteFuzzFile(const char* name, const uint8_t* data, size_t size) {
  WriteFile(FuzzPrefix() + "/drive_c/" + name, data, size);
}

void WritePrefixFile(const char* name, const uint8_t* data, size_t size) {
  WriteFile(FuzzPrefix() + "/" + name, data, size);
}
