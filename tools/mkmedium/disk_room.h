// The room left on one disk as files are put on it. On a FAT floppy a name
// takes slots in its folder (one, or more for a long name), the root's table
// is fixed, and a folder takes whole clusters for its slots; elsewhere only
// the files' allocation units count.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "disk_format.h"

namespace mkmedium {

// The directory slots that a FAT file system gives one name (CP932, no
// separator): one for a name that a short 8.3 entry holds in one letter case,
// else one more for each 13 characters of its long name.
uint32_t NameSlots(const std::string& name);

class DiskRoom {
 public:
  explicit DiskRoom(const DiskFormat& format) : format_(format) {}

  // The most bytes that a new file named name (CP932, relative to the disk's
  // root, '\' between folders) can hold, after its name and any folder it
  // needs have taken their room. -1 when the name itself no longer fits.
  int64_t Room(const std::string& name) const;

  // Puts a file of size bytes there; false, with nothing taken, when it does
  // not fit.
  bool Add(const std::string& name, uint64_t size);

  uint64_t FreeBytes() const { return (format_.clusters - usedClusters_) * format_.clusterBytes; }

 private:
  struct State {
    uint64_t usedClusters;
    uint32_t rootSlots;
    std::map<std::string, uint32_t> folderSlots;  // slots in use, "." and ".." counted
  };

  // The state after the name (without its data) is entered; false when it
  // does not fit.
  bool Enter(const std::string& name, State* state) const;
  uint64_t FolderClusters(uint32_t slots) const;

  DiskFormat format_;
  uint64_t usedClusters_ = 0;
  uint32_t rootSlots_ = 0;
  std::map<std::string, uint32_t> folderSlots_;
};

}  // namespace mkmedium
