#include "images.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host_files.h"
#include "progress.h"
#include "tool_run.h"

namespace zefa {
namespace {

using mkmedium::Failure;

uint32_t Le16(const unsigned char* p) { return p[0] | p[1] << 8; }
uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// Room kept free beyond the files themselves: folders, and the file system's
// own blocks.
const uint64_t kRoomMargin = 1 << 20;

bool PowerOfTwo(uint32_t n) { return n && !(n & (n - 1)); }

// The boot sector of a FAT volume: a jump, a plausible BIOS parameter block.
// Returns the volume's size in bytes, or 0 when the sector is none.
uint64_t FatVolumeSize(const unsigned char* s) {
  if (s[0] != 0xEB && s[0] != 0xE9) return 0;
  uint32_t bytesPerSector = Le16(s + 11), sectorsPerCluster = s[13], reserved = Le16(s + 14), fats = s[16];
  if (bytesPerSector < 512 || bytesPerSector > 4096 || !PowerOfTwo(bytesPerSector)) return 0;
  if (!PowerOfTwo(sectorsPerCluster) || reserved == 0 || fats == 0 || fats > 2) return 0;
  uint64_t sectors = Le16(s + 19);
  if (sectors == 0) sectors = Le32(s + 32);
  return sectors * bytesPerSector;
}

// The primary volume descriptor of ISO 9660 at sector 16: type 1, "CD001".
// Returns the volume's size in bytes, or 0 when there is none.
uint64_t IsoVolumeSize(const unsigned char* d) {
  if (d[0] != 1 || std::string(reinterpret_cast<const char*>(d + 1), 5) != "CD001") return 0;
  return uint64_t(Le32(d + 80)) * Le16(d + 128);
}

bool ReadAt(int fd, off_t offset, unsigned char* buffer, size_t size) {
  return pread(fd, buffer, size, offset) == static_cast<ssize_t>(size);
}

uint64_t extracted = 0;
int AddSize(const char*, const struct stat* st, int type, struct FTW*) {
  if (type == FTW_F) extracted += static_cast<uint64_t>(st->st_size);
  return 0;
}

// The temporary folder of the tool's folder that into lies in.
std::string TemporaryOf(const std::string& into) {
  std::string work = into.substr(0, into.find_last_of('/'));
  return work.substr(0, work.find_last_of('/'));
}

std::string Megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
  return text;
}

// The room left to this user in the file system of path.
uint64_t FreeBytes(const std::string& path) {
  struct statvfs fs;
  if (statvfs(path.c_str(), &fs) != 0) return UINT64_MAX;  // unknown: the unpacking will tell
  return uint64_t(fs.f_bavail) * fs.f_frsize;
}

// An ISO's listing by xorriso's lsdl, one entry a line as ls -l has it:
// mode, links, owner, group, size (major,minor for a device), date, name.
void ReadIsoListing(const std::string& log, ImageListing* listing) {
  std::ifstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() < 11 || std::string("-dlpcbs").find(line[0]) == std::string::npos ||
        line.find_first_not_of("rwxsStT-", 1) != 10)
      continue;
    std::istringstream fields(line);
    std::string mode, links, owner, group, size;
    fields >> mode >> links >> owner >> group >> size;
    if (line[0] == '-') {
      listing->bytes += std::strtoull(size.c_str(), nullptr, 10);
    } else if (line[0] != 'd') {
      size_t quote = line.find('\'');
      listing->special.push_back(quote == std::string::npos ? line : line.substr(quote));
    }
  }
}

// A FAT image's listing by mdir: each folder ends with a line such as
// "3 files   1 234 bytes", and a listing of more than one folder with their
// sum on the line after "Total files listed:".
void ReadFatListing(const std::string& log, ImageListing* listing) {
  std::ifstream in(log);
  std::string line;
  auto bytesOf = [](const std::string& text, uint64_t* bytes) {
    size_t from = text.find(" file"), to = text.rfind(" bytes");
    if (from == std::string::npos || to == std::string::npos || to < from || text.compare(to, 7, " bytes") != 0 ||
        to + 6 != text.size())
      return false;
    *bytes = 0;
    for (size_t i = from; i < to; ++i)
      if (text[i] >= '0' && text[i] <= '9') *bytes = *bytes * 10 + uint64_t(text[i] - '0');
    return true;
  };
  uint64_t bytes;
  while (std::getline(in, line)) {
    if (line.find("Total files listed:") != std::string::npos) {
      listing->known = std::getline(in, line) && bytesOf(line, &listing->bytes);
      return;
    }
    if (bytesOf(line, &bytes)) listing->bytes += bytes, listing->known = true;
  }
}

// An image as xorriso's plain data file: without "stdio:" it takes a path
// under /dev (an image in /dev/shm, say) for a drive, and refuses it.
std::string XorrisoFile(const std::string& path) { return "stdio:" + path; }

}  // namespace

ImageInfo InspectImage(const std::string& path) {
  mkmedium::Fd fd(mkmedium::OpenRead(path));
  struct stat st;
  if (fstat(fd.get(), &st) != 0) throw mkmedium::SystemFailure("cannot read", path, errno);
  uint64_t have = static_cast<uint64_t>(st.st_size);
  ImageInfo info;
  unsigned char sector[2048];
  if (ReadAt(fd.get(), 16 * 2048, sector, sizeof sector) && (info.size = IsoVolumeSize(sector)) != 0) {
    info.kind = ImageKind::kIso;
  } else if (ReadAt(fd.get(), 0, sector, 512) && (info.size = FatVolumeSize(sector)) != 0) {
    info.kind = ImageKind::kFat;
  } else {
    return ImageInfo{};
  }
  if (have < info.size)
    throw Failure(path + ": the image is truncated: " + std::to_string(have) + " bytes of the " +
                  std::to_string(info.size) + " its " + (info.kind == ImageKind::kIso ? "ISO 9660" : "FAT") +
                  " header names");
  return info;
}

ImageListing ListImage(const std::string& path, const ImageInfo& info, const std::string& log) {
  std::vector<std::string> argv;
  if (info.kind == ImageKind::kFat)
    argv = {"mdir", "-/", "-a", "-i", path, "::"};
  else
    argv = {"xorriso", "-indev", XorrisoFile(path), "-find", "/", "-exec", "lsdl", "--"};
  int status = RunTool(argv, log);
  if (status == -2)
    throw Failure(path + ": cannot run " + argv[0] + " (Debian package " +
                  (info.kind == ImageKind::kFat ? "mtools" : "xorriso") + ")");
  // mdir finds nothing to list on an empty floppy.
  if (status != 0 && info.kind == ImageKind::kFat && LogTail(log, 1).find("not found") != std::string::npos) {
    unlink(log.c_str());
    ImageListing empty;
    empty.known = true;
    return empty;
  }
  if (status != 0) {
    std::string tail = mkmedium::Exists(log) ? LogTail(log) : "";
    throw Failure(path + ": " + argv[0] + " cannot read the image" + (tail.empty() ? "" : ":\n" + tail));
  }
  ImageListing listing;
  if (info.kind == ImageKind::kFat) {
    ReadFatListing(log, &listing);
  } else {
    listing.known = true;
    ReadIsoListing(log, &listing);
  }
  unlink(log.c_str());
  if (!listing.known) throw Failure(path + ": mdir does not say how much the image holds");
  return listing;
}

void CheckImageListing(const std::string& path, const ImageInfo& info, const ImageListing& listing,
                       const std::string& into) {
  if (!listing.special.empty()) {
    std::string text = path + ": the image holds entries that are neither files nor folders (devices, pipes, "
                       "links), which could bring files from outside it into the installation; nothing was changed:";
    for (const std::string& s : listing.special) text += "\n  " + s;
    throw Failure(text);
  }
  // The files of a disk fit the disk. An image whose entries point at
  // the same bytes over and over would fill the temporary folder.
  if (listing.bytes > UnpackLimit(info))
    throw Failure(path + ": its files add up to " + Megabytes(listing.bytes) + ", far more than the " +
                  Megabytes(info.size) + " of the image can hold (its entries share their bytes); nothing was changed");
  uint64_t room = FreeBytes(into);
  if (room < listing.bytes + kRoomMargin)
    throw Failure(path + ": its files take " + Megabytes(listing.bytes) + " when unpacked, and the temporary folder " +
                  TemporaryOf(into) + " has " + Megabytes(room) +
                  " free: make room there, or name a folder with room in TMP; nothing was changed");
}

void ExtractImage(const std::string& path, const ImageInfo& info, const std::string& into, bool progress) {
  std::string log = into + ".log";
  CheckImageListing(path, info, ListImage(path, info, log), into);
  std::vector<std::string> argv;
  if (info.kind == ImageKind::kFat)
    argv = {"mcopy", "-s", "-m", "-n", "-Q", "-i", path, "::", into + "/"};
  else
    argv = {"xorriso", "-osirrox", "on", "-indev", XorrisoFile(path), "-extract", "/", into};
  mkmedium::Progress line(progress);
  std::string name = path.substr(path.find_last_of('/') + 1);
  auto wait = [&] {
    mkmedium::CheckInterrupt();
    extracted = 0;
    nftw(into.c_str(), AddSize, 16, FTW_PHYS);
    // What the listing said, the tool must keep to.
    if (extracted > UnpackLimit(info))
      throw Failure(path + ": it unpacks to more than " + Megabytes(UnpackLimit(info)) + ", far more than the " +
                    Megabytes(info.size) + " of the image can hold; nothing was changed");
    if (!progress || info.size == 0) return;
    uint64_t percent = extracted >= info.size ? 99 : extracted * 100 / info.size;
    line.Show("extracting " + name + ": " + std::to_string(percent) + "%");
  };
  int status = RunTool(argv, log, wait);
  line.Clear();
  mkmedium::CheckInterrupt();
  if (status == -2)
    throw Failure(path + ": cannot run " + argv[0] + " (Debian package " +
                  (info.kind == ImageKind::kFat ? "mtools" : "xorriso") + ")");
  if (status != 0) {
    std::string tail = mkmedium::Exists(log) ? LogTail(log) : "";
    if (FreeBytes(into) < kRoomMargin || tail.find("No space left") != std::string::npos)
      throw Failure(path + ": the temporary folder " + TemporaryOf(into) +
                    " ran out of room while the image was unpacked; nothing was changed");
    throw Failure(path + ": " + argv[0] + " cannot read the image" + (tail.empty() ? "" : ":\n" + tail));
  }
  unlink(log.c_str());
}

}  // namespace zefa
