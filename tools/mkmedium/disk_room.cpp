#include "disk_room.h"

#include <cstring>

#include "wintext/cp932.h"

namespace mkmedium {
namespace {

bool IsShortNameChar(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         (c && std::strchr("!#$%&'()-@^_`{}~", c));
}

// Whether an 8.3 entry holds the name as it is. Names in one letter case are
// stored with Windows NT's case marks instead of a long name; mixed case and
// anything beyond ASCII take a long name (mtools and Windows both do so).
bool FitsShortName(const std::string& name) {
  size_t dot = name.find('.');
  std::string base = name.substr(0, dot);
  std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3 || ext.find('.') != std::string::npos) return false;
  if (dot != std::string::npos && ext.empty()) return false;
  bool upper = false, lower = false;
  for (unsigned char c : base + ext) {
    if (!IsShortNameChar(c)) return false;
    upper |= c >= 'A' && c <= 'Z';
    lower |= c >= 'a' && c <= 'z';
  }
  return !(upper && lower);
}

}  // namespace

uint32_t NameSlots(const std::string& name) {
  if (FitsShortName(name)) return 1;
  // A long name holds 13 UTF-16 units a slot; every CP932 character is one.
  uint32_t chars = 0;
  for (size_t i = 0; i < name.size(); ++i, ++chars)
    if (wintext::IsLeadByte(static_cast<unsigned char>(name[i])) && i + 1 < name.size()) ++i;
  return 1 + (chars + 12) / 13;
}

uint64_t DiskRoom::FolderClusters(uint32_t slots) const {
  return (uint64_t(slots) * 32 + format_.clusterBytes - 1) / format_.clusterBytes;
}

bool DiskRoom::Enter(const std::string& name, State* state) const {
  if (!format_.fat) return true;
  // Walk the folders from the root: a folder not yet made is entered in its
  // parent and gets its first cluster; the name is entered in the last one.
  std::string folder;
  size_t start = 0;
  for (;;) {
    size_t sep = name.find('\\', start);
    bool last = sep == std::string::npos;
    std::string part = name.substr(start, last ? std::string::npos : sep - start);
    std::string path = last ? name : name.substr(0, sep);
    if (last || !state->folderSlots.count(path)) {
      uint32_t slots = NameSlots(part);
      if (folder.empty()) {
        if (state->rootSlots + slots > format_.rootSlots) return false;
        state->rootSlots += slots;
      } else {
        uint32_t& used = state->folderSlots[folder];
        state->usedClusters += FolderClusters(used + slots) - FolderClusters(used);
        used += slots;
      }
      if (!last) {
        state->folderSlots[path] = 2;
        state->usedClusters += FolderClusters(2);
      }
    }
    if (last) break;
    folder = path;
    start = sep + 1;
  }
  return state->usedClusters <= format_.clusters;
}

int64_t DiskRoom::Room(const std::string& name) const {
  State state{usedClusters_, rootSlots_, folderSlots_};
  if (!Enter(name, &state)) return -1;
  return int64_t(format_.clusters - state.usedClusters) * format_.clusterBytes;
}

bool DiskRoom::Add(const std::string& name, uint64_t size) {
  State state{usedClusters_, rootSlots_, folderSlots_};
  if (!Enter(name, &state)) return false;
  uint64_t clusters = (size + format_.clusterBytes - 1) / format_.clusterBytes;
  if (clusters > format_.clusters - state.usedClusters) return false;
  usedClusters_ = state.usedClusters + clusters;
  rootSlots_ = state.rootSlots;
  folderSlots_ = std::move(state.folderSlots);
  return true;
}

}  // namespace mkmedium
