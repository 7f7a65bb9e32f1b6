#include "fuzz_prefix.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace {

std::string prefix;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

void RemovePrefix() { nftw(prefix.c_str(), RemoveEntry, 8, FTW_DEPTH | FTW_PHYS); }

const std::string& DriveC() {
  static const std::string drive = [] {
    char tmpl[] = "/tmp/zefa-fuzz-XXXXXX";
    if (!mkdtemp(tmpl)) abort();
    prefix = tmpl;
    atexit(RemovePrefix);
    if (mkdir((prefix + "/drive_c").c_str(), 0755) || mkdir((prefix + "/dosdevices").c_str(), 0755) ||
        symlink("../drive_c", (prefix + "/dosdevices/c:").c_str()))
      abort();
    setenv("WINEPREFIX", prefix.c_str(), 1);
    return prefix + "/drive_c";
  }();
  return drive;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) abort();
  if (size && write(fd, data, size) != static_cast<ssize_t>(size)) abort();
  close(fd);
}

}  // namespace

void WriteFuzzFile(const char* name, const uint8_t* data, size_t size) { WriteFile(DriveC() + "/" + name, data, size); }

void WritePrefixFile(const char* name, const uint8_t* data, size_t size) {
  DriveC();  // makes the prefix
  WriteFile(prefix + "/" + name, data, size);
}
