// Where each file of an update goes: the files in their order, each whole on
// the disk in hand when it fits the room left there, else split into pieces
// that fill that disk and the following ones.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "disk_format.h"

namespace mkmedium {

// A file of the medium that is no file of the update: the programs, the
// script and the disk labels.
struct FixedFile {
  std::string name;  // CP932
  uint64_t size;
};

struct Item {
  std::string stored;   // its name on the medium, whole (CP932)
  uint64_t size;        // its bytes
  uint64_t storedSize;  // the bytes it takes on the medium, whole
  // The name its pieces are numbered after, in the root of their disks;
  // empty for stored.
  std::string pieceStem = "";
};

struct Piece {
  int disk;
  std::string stored;   // name on the medium; the item's own when whole
  uint64_t offset;      // the part of the file it holds
  uint64_t length;
  uint64_t storedSize;  // the bytes it takes on the medium
};

// The most bytes of item from offset on (at least 1, at most what is left)
// whose stored form takes at most room bytes, and in storedSize that form's
// size. 0 when not one byte fits.
using PieceSizer = std::function<uint64_t(size_t item, uint64_t offset, uint64_t room, uint64_t* storedSize)>;

struct Layout {
  int disks = 0;
  std::vector<std::vector<Piece>> pieces;  // per item: one piece when whole
  std::vector<uint64_t> freeBytes;         // per disk, from disk 1
};

// The label file of disk n.
std::string LabelName(int n);

// Lays the items out over as many disks as they need. Disk 1 holds first
// the fixed files given for it; every disk holds its label. Fails, with the
// reason in error, when a fixed file does not fit disk 1, when a piece fits
// no empty disk, or when a file needs more than 19 disks.
bool PlanLayout(const DiskFormat& format, const std::vector<FixedFile>& firstDisk, const std::vector<Item>& items,
                const PieceSizer& sizer, Layout* layout, std::string* error);

}  // namespace mkmedium
