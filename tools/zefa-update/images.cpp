#include "images.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host_files.h"
#include "progress.h"
#include "tool_run.h"

namespace zefa {
namespace {

using mkmedium::Failure;

uint32_t Le16(const unsigned char* p) { return p[0] | p[1] << 8; }
uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

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

void ExtractImage(const std::string& path, const ImageInfo& info, const std::string& into, bool progress) {
  std::string log = into + ".log";
  std::vector<std::string> argv;
  if (info.kind == ImageKind::kFat)
    argv = {"mcopy", "-s", "-m", "-n", "-Q", "-i", path, "::", into + "/"};
  else
    argv = {"xorriso", "-osirrox", "on", "-indev", path, "-extract", "/", into};
  mkmedium::Progress line(progress);
  std::string name = path.substr(path.find_last_of('/') + 1);
  auto wait = [&] {
    mkmedium::CheckInterrupt();
    if (!progress || info.size == 0) return;
    extracted = 0;
    nftw(into.c_str(), AddSize, 16, FTW_PHYS);
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
    throw Failure(path + ": " + argv[0] + " cannot read the image" + (tail.empty() ? "" : ":\n" + tail));
  }
  unlink(log.c_str());
}

}  // namespace zefa
