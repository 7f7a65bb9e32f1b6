#include "layout.h"

#include "disk_room.h"
#include "medium_name.h"
#include "script/update_entry.h"

namespace mkmedium {

std::string LabelName(int n) { return "disk" + std::to_string(n) + ".fix"; }

bool PlanLayout(const DiskFormat& format, const std::vector<FixedFile>& firstDisk, const std::vector<Item>& items,
                const PieceSizer& sizer, Layout* layout, std::string* error) {
  *layout = Layout();
  std::vector<DiskRoom> disks;
  auto newDisk = [&]() {
    disks.emplace_back(format);
    return disks.back().Add(LabelName(int(disks.size())), 0);
  };
  if (!newDisk()) {
    *error = "the disk label does not fit a disk";
    return false;
  }
  for (const FixedFile& f : firstDisk) {
    if (!disks[0].Add(f.name, f.size)) {
      *error = Readable(f.name) + " does not fit the first disk";
      return false;
    }
  }

  for (size_t i = 0; i < items.size(); ++i) {
    const Item& item = items[i];
    std::vector<Piece> pieces;
    uint64_t offset = 0;
    bool fresh = false;  // whether the disk in hand holds nothing but its label
    for (;;) {
      DiskRoom& room = disks.back();
      int disk = int(disks.size());
      if (pieces.empty() && room.Room(item.stored) >= int64_t(item.storedSize)) {
        room.Add(item.stored, item.storedSize);
        pieces.push_back(Piece{disk, item.stored, 0, item.size, item.storedSize});
        break;
      }
      std::string name = PieceName(item.pieceStem.empty() ? item.stored : item.pieceStem, int(pieces.size()) + 1);
      int64_t avail = room.Room(name);
      uint64_t length = 0, storedSize = 0;
      if (avail > 0) {
        length = sizer(i, offset, uint64_t(avail), &storedSize);
        // A file that is split at all comes in two pieces at least.
        if (pieces.empty() && length >= item.size) length = 0;
      }
      if (length == 0) {
        if (fresh) {
          *error = Readable(item.stored) + ": not even a piece of it fits an empty disk";
          return false;
        }
        if (!newDisk()) {
          *error = "the disk label does not fit a disk";
          return false;
        }
        fresh = true;
        continue;
      }
      room.Add(name, storedSize);
      pieces.push_back(Piece{disk, name, offset, length, storedSize});
      offset += length;
      if (offset >= item.size) break;
      if (pieces.size() == size_t(UpdateEntry::kMaxDisks)) {
        *error = Readable(item.stored) + " needs more than " + std::to_string(UpdateEntry::kMaxDisks) +
                 " disks, the most that one entry of the script can list";
        return false;
      }
      if (!newDisk()) {
        *error = "the disk label does not fit a disk";
        return false;
      }
      fresh = true;
    }
    // The next item starts on the disk this one ended on; it is no longer empty.
    fresh = false;
    layout->pieces.push_back(std::move(pieces));
  }
  layout->disks = int(disks.size());
  for (const DiskRoom& d : disks) layout->freeBytes.push_back(d.FreeBytes());
  return true;
}

}  // namespace mkmedium
