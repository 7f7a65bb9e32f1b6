// What one disk of a medium holds: its size as a number of bytes for files,
// the unit in which files take that room, and, for floppies, the FAT12
// directory rules that cost room too.
#pragma once

#include <cstdint>
#include <string>

namespace mkmedium {

struct DiskFormat {
  std::string name;        // as given: "1.44M", "650M" or a byte count
  uint64_t clusters = 0;   // allocation units for files and folders
  uint32_t clusterBytes = 1;
  // FAT: each name takes directory slots of 32 bytes; the root has a fixed
  // table of rootSlots, a folder takes clusters for its slots.
  bool fat = false;
  uint32_t rootSlots = 0;
  int floppyKb = 0;  // mformat's -f for the image, 0 when not a floppy

  uint64_t Bytes() const { return clusters * clusterBytes; }
};

// "720K", "1.44M", "2.88M" (FAT12 floppies as mformat lays them out), "650M"
// (a CD: 333000 sectors of 2048 bytes, less room for the file system's own
// records), or a number of bytes (a folder to download: no allocation
// units). False for anything else.
bool ParseDiskFormat(const std::string& text, DiskFormat* format);

}  // namespace mkmedium
