#include "drive_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "host_files.h"

namespace zefa {

DriveLink::DriveLink(const std::string& prefix, const std::string& target, RunRecord* record) : target_(target) {
  std::string devices = prefix + "/dosdevices";
  if (!mkmedium::IsFolder(devices)) throw mkmedium::Failure(prefix + ": the prefix has no dosdevices folder");
  // From D:, the first letter after the floppies and the system drive; Z: is
  // the host's root in every prefix, and a letter in use (a link, even a
  // broken one, or Wine's device entry "x::") is left alone.
  for (char l = 'd'; l < 'z'; ++l) {
    std::string path = devices + "/" + l + ":";
    struct stat st;
    if (lstat((path + ":").c_str(), &st) == 0 || lstat(path.c_str(), &st) == 0) continue;
    if (record) record->NoteDrive(path);
    if (symlink(target.c_str(), path.c_str()) == 0) {
      path_ = path;
      letter_ = static_cast<char>(l - 0x20);
      return;
    }
    int err = errno;
    if (record) record->ForgetDrive(path);
    if (err != EEXIST) throw mkmedium::SystemFailure("cannot add a drive in", devices, err);
  }
  throw mkmedium::Failure(prefix + ": every drive letter from D: to Y: is in use");
}

bool DriveLink::Point(const std::string& target) {
  if (path_.empty()) return false;
  // A new link put in place of the old in one step: the drive is never missing.
  std::string fresh = path_ + ".zefa-update-" + std::to_string(getpid());
  unlink(fresh.c_str());
  if (symlink(target.c_str(), fresh.c_str()) != 0) return false;
  if (rename(fresh.c_str(), path_.c_str()) != 0) {
    unlink(fresh.c_str());
    return false;
  }
  target_ = target;
  return true;
}

void DriveLink::Remove() {
  if (path_.empty()) return;
  char buf[PATH_MAX];
  ssize_t n = readlink(path_.c_str(), buf, sizeof buf - 1);
  if (n >= 0 && std::string(buf, static_cast<size_t>(n)) == target_) unlink(path_.c_str());
  path_.clear();
}

}  // namespace zefa
