// Disk images of a medium's disk folders: FAT12 floppy images made with
// mtools, or CD images (ISO 9660 with Joliet and Rock Ridge) made with
// xorriso or genisoimage.
#pragma once

#include <string>
#include <vector>

#include "disk_format.h"
#include "progress.h"

namespace mkmedium {

struct ImageOptions {
  std::string medium;  // a disk folder or a folder of them
  std::string output;  // where the images go; empty: the medium's folder
  bool iso = false;    // a CD image, else a floppy of format
  DiskFormat format;
  bool force = false;  // replace images that exist
};

// Makes one image per disk folder, named after the folder (disk1.img,
// disk2.img, or disk1.iso). Returns their paths. Raises Failure when a tool
// is missing or fails (a folder that does not fit its floppy among them);
// images already made in the run stay, none is left half written.
std::vector<std::string> MakeImages(const ImageOptions& options, Progress& progress);

// The first of names found on PATH as a program, or "".
std::string FindProgram(const std::vector<std::string>& names);

}  // namespace mkmedium
