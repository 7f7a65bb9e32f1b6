// Builds an update medium: one folder per disk with its label, the programs,
// the script and the update's files on it, compressed where that pays and
// split where a file is larger than the room left.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk_format.h"
#include "layout.h"
#include "medium_check.h"
#include "progress.h"
#include "script_text.h"

namespace mkmedium {

struct BuildOptions {
  std::string files;  // the folder of updated files, as in the installation
  std::string out;    // the medium's folder, made new: disk1, disk2, ... in it
  ScriptKeys keys;
  DiskFormat format;
  std::string launcher;  // the built Orbane (Linux) or Orbane.exe (Windows)
  std::string updater;   // the built Tavrix.bin of the same platform
  bool force = false;    // replace out when it exists
};

struct BuiltFile {
  std::string name;    // in the installation (CP932)
  std::string stored;  // on the medium, whole (CP932)
  uint64_t size = 0;
  bool compressed = false;
  std::vector<Piece> pieces;  // one when whole
};

struct BuildResult {
  std::vector<BuiltFile> files;  // in script order
  int disks = 0;
  std::vector<uint64_t> freeBytes;  // per disk
  std::string launcherName;         // Orbane or Orbane.exe
  std::vector<Problem> notes;       // the check's notes: folders the installation must have
};

// Raises Failure with the reason; out is then as it was before.
BuildResult BuildMedium(const BuildOptions& options, Progress& progress);

}  // namespace mkmedium
