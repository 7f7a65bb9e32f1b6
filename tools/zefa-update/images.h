// Disk images as a medium: a FAT floppy image (a raw sector image, read with
// mtools) or an ISO 9660 image (read with xorriso). Nothing is mounted.
#pragma once

#include <cstdint>
#include <string>

namespace zefa {

enum class ImageKind { kNone, kFat, kIso };

struct ImageInfo {
  ImageKind kind = ImageKind::kNone;
  uint64_t size = 0;  // the bytes the image's own header says it holds
};

// What the file at path is, by its content. Raises mkmedium::Failure for a
// file that cannot be read, and for an image shorter than its header says
// (truncated).
ImageInfo InspectImage(const std::string& path);

// Copies every file of the image into the folder into (which exists), with
// its time. progress: show how far a long extraction is on the terminal.
// Raises mkmedium::Failure with the tool's reason when it fails.
void ExtractImage(const std::string& path, const ImageInfo& info, const std::string& into, bool progress);

}  // namespace zefa
