// Disk images as a medium: a FAT floppy image (a raw sector image, read with
// mtools) or an ISO 9660 image (read with xorriso). Nothing is mounted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// What an image holds by its own listing (mdir, xorriso), before any of it
// is unpacked.
struct ImageListing {
  uint64_t bytes = 0;                // its files together
  std::vector<std::string> special;  // entries neither a file nor a folder (ISO: devices, pipes, links)
  bool known = false;                // the listing said how much
};

// Lists the image with its tool (its output in log while it runs). Raises
// mkmedium::Failure when the tool cannot read it.
ImageListing ListImage(const std::string& path, const ImageInfo& info, const std::string& log);

// The most that an image may unpack to: twice what its volume holds. The
// files of a disk fit the disk; more means entries that share their bytes.
inline uint64_t UnpackLimit(const ImageInfo& info) { return 2 * info.size; }

// Raises mkmedium::Failure, naming path, for an image whose listing holds
// special entries, adds up to more than UnpackLimit, or does not fit the
// room left in the file system of into.
void CheckImageListing(const std::string& path, const ImageInfo& info, const ImageListing& listing,
                       const std::string& into);

// Copies every file of the image into the folder into (which exists), with
// its time, once its listing passed CheckImageListing; an extraction that
// grows past UnpackLimit is stopped. progress: show how far a long
// extraction is on the terminal. Raises mkmedium::Failure with the reason
// when it fails (the tool's, or a full temporary folder).
void ExtractImage(const std::string& path, const ImageInfo& info, const std::string& into, bool progress);

}  // namespace zefa
