#include "disk_format.h"

#include <cstdlib>

namespace mkmedium {
namespace {

// The data area that mformat -f leaves: total sectors less the boot sector,
// two FATs and the root table, in clusters of one or two sectors.
DiskFormat Floppy(const char* name, int kb, uint32_t sectorsPerCluster, uint32_t fatSectors, uint32_t rootSlots) {
  DiskFormat f;
  f.name = name;
  uint32_t sectors = uint32_t(kb) * 2;
  uint32_t data = sectors - 1 - 2 * fatSectors - rootSlots * 32 / 512;
  f.clusterBytes = 512 * sectorsPerCluster;
  f.clusters = data / sectorsPerCluster;
  f.fat = true;
  f.rootSlots = rootSlots;
  f.floppyKb = kb;
  return f;
}

}  // namespace

bool ParseDiskFormat(const std::string& text, DiskFormat* format) {
  if (text == "720K") {
    *format = Floppy("720K", 720, 2, 3, 112);
  } else if (text == "1.44M") {
    *format = Floppy("1.44M", 1440, 1, 9, 224);
  } else if (text == "2.88M") {
    *format = Floppy("2.88M", 2880, 2, 9, 240);
  } else if (text == "650M") {
    // The volume descriptors, path tables and directory records of ISO 9660
    // with Joliet and Rock Ridge, for at most a few thousand names, stay well
    // below 4 MiB.
    *format = DiskFormat();
    format->name = text;
    format->clusterBytes = 2048;
    format->clusters = 333000 - (4 << 20) / 2048;
  } else {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 15) return false;
    uint64_t bytes = std::strtoull(text.c_str(), nullptr, 10);
    if (bytes == 0) return false;
    *format = DiskFormat();
    format->name = text;
    format->clusters = bytes;
  }
  return true;
}

}  // namespace mkmedium
