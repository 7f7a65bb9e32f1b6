#include "media.h"

#include <dirent.h>
#include <string.h>
#include <ftw.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <memory>

#include "case_clash.h"
#include "host_files.h"
#include "images.h"
#include "medium_name.h"

namespace zefa {
namespace {

using mkmedium::Failure;

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) throw mkmedium::SystemFailure("cannot read the folder", folder, errno);
  while (struct dirent* e = readdir(dir.get())) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  // disk2 before disk10.
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return strverscmp(a.c_str(), b.c_str()) < 0; });
  return names;
}

// Calls visit for every entry below folder (links not followed), a folder
// before what it holds.
void Walk(const std::string& folder, const std::string& shown,
          const std::function<void(const std::string&, const struct stat&)>& visit) {
  for (const std::string& name : Entries(folder)) {
    std::string path = folder + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) throw mkmedium::SystemFailure("cannot read", path, errno);
    visit(shown + "/" + name, st);
    if (S_ISDIR(st.st_mode)) Walk(path, shown + "/" + name, visit);
  }
}

// What someone other than this user (and root) may change in a folder: one
// they own, or may write into. A folder others may write into with the
// sticky bit (as /tmp) lets them change only what is theirs.
bool OthersMayChange(const struct stat& st, bool stickyCounts) {
  if (st.st_uid != geteuid() && st.st_uid != 0) return true;
  if ((st.st_mode & S_ISVTX) && stickyCounts) return false;
  return (st.st_mode & S_IWOTH) || ((st.st_mode & S_IWGRP) && st.st_gid != getegid());
}

// A folder medium that another user may change could have a file swapped
// for a link to one of this user's private files after it was looked at,
// which the update would then install for everyone to read. The folders of
// the medium and those above it must be this user's (or root's) alone.
void RefuseOthersWritable(const std::string& real, const std::string& shown) {
  std::vector<std::string> found;
  std::string above;
  struct stat st;
  for (size_t slash = 0; slash != std::string::npos; slash = real.find('/', slash + 1)) {
    above = slash == 0 ? "/" : real.substr(0, slash);
    if (lstat(above.c_str(), &st) != 0) throw mkmedium::SystemFailure("cannot read", above, errno);
    // Below a sticky folder, what counts is whose the next folder is.
    if (OthersMayChange(st, true)) found.push_back(above);
  }
  if (lstat(real.c_str(), &st) != 0) throw mkmedium::SystemFailure("cannot read", real, errno);
  if (OthersMayChange(st, false)) found.push_back(shown);
  Walk(real, shown, [&](const std::string& path, const struct stat& entry) {
    if (S_ISDIR(entry.st_mode) && OthersMayChange(entry, false)) found.push_back(path);
  });
  if (found.empty()) return;
  std::string text = "another user may change the medium " + shown +
                     " while it is read (a folder that is not yours or that others may write into); "
                     "copy it into a folder of your own; nothing was changed:";
  for (const std::string& f : found) text += "\n  " + f;
  throw Failure(text);
}

// Names that differ only in letter case: Windows, and the updater, reach one
// of them, and which one depends on the host.
void RefuseCaseClashes(const std::string& root, const std::string& shown) {
  std::vector<mkmedium::Clash> clashes = mkmedium::FindCaseClashes(root);
  if (clashes.empty()) return;
  std::string text = "the medium holds names that differ only in letter case, of which Windows would hold one; "
                     "nothing was changed:";
  for (const mkmedium::Clash& c : clashes) text += "\n  " + shown + ": " + mkmedium::ClashText(c);
  throw Failure(text);
}

void AddDisk(Medium* medium, const std::string& folder, const std::string& origin) {
  for (int n : Labels(folder)) {
    auto known = medium->disks.find(n);
    if (known != medium->disks.end())
      throw Failure("two disks have the label disk" + std::to_string(n) + ".fix: " + known->second.origin +
                    " and " + origin + "; nothing was changed");
    medium->disks[n] = Disk{n, folder, origin};
  }
}

// A folder that is a disk (holds a label) or holds disk folders.
void AddFolder(Medium* medium, const std::string& folder, const std::string& shown) {
  if (!Labels(folder).empty()) {
    AddDisk(medium, folder, shown);
    return;
  }
  size_t before = medium->disks.size();
  for (const std::string& name : Entries(folder)) {
    std::string path = folder + "/" + name;
    if (mkmedium::IsFolder(path) && !Labels(path).empty()) AddDisk(medium, path, shown + "/" + name);
  }
  if (medium->disks.size() != before) return;
  std::string text = shown + ": holds no disk (no label file disk<n>.fix in it or in a folder of it)";
  // A label in another form than the updater's: it never finds it.
  for (const std::string& name : Entries(folder))
    if (mkmedium::LooksLikeLabel(name)) {
      text += "; " + name + " is no label: the updater looks for the form " + mkmedium::LabelMeant(name);
      break;
    }
  throw Failure(text);
}

int MakeWritable(const char* path, const struct stat* st, int type, struct FTW*) {
  if (type == FTW_D) chmod(path, (st->st_mode & 07777) | S_IRWXU);
  return 0;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}

}  // namespace

std::vector<int> Labels(const std::string& folder) {
  std::vector<int> found;
  int n;
  for (const std::string& name : Entries(folder))
    if (mkmedium::IsLabelName(name, &n) && !mkmedium::IsFolder(folder + "/" + name)) found.push_back(n);
  return found;
}

bool Holds(const std::string& folder, const std::string& name) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return false;
  while (struct dirent* e = readdir(dir.get()))
    if (strcasecmp(e->d_name, name.c_str()) == 0) return true;
  return false;
}

void RefuseLinks(const std::string& root, const std::string& shown) {
  std::vector<std::string> found;
  Walk(root, shown, [&](const std::string& path, const struct stat& st) {
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) found.push_back(path);
  });
  if (found.empty()) return;
  std::string text = "the medium holds " +
                     std::string(found.size() == 1 ? "a symbolic link or special file" : "symbolic links or special files") +
                     ", which could bring files from outside it into the installation; nothing was changed:";
  for (const std::string& f : found) text += "\n  " + f;
  throw Failure(text);
}

Medium GatherMedium(const std::vector<std::string>& arguments, const std::string& work, bool progress) {
  Medium medium;
  int images = 0;
  for (const std::string& argument : arguments) {
    struct stat st;
    if (stat(argument.c_str(), &st) != 0) throw mkmedium::SystemFailure("no medium at", argument, errno);
    if (S_ISDIR(st.st_mode)) {
      std::string real = mkmedium::RealPath(argument);
      RefuseLinks(real, argument);
      RefuseOthersWritable(real, argument);
      RefuseCaseClashes(real, argument);
      AddFolder(&medium, real, argument);
      continue;
    }
    if (!S_ISREG(st.st_mode)) throw Failure(argument + ": neither a folder nor a disk image");
    ImageInfo info = InspectImage(argument);
    if (info.kind == ImageKind::kNone)
      throw Failure(argument + ": neither a folder nor a disk image (no FAT boot sector, no ISO 9660 volume)");
    std::string into = work + "/medium" + std::to_string(++images);
    if (mkdir(into.c_str(), 0700) != 0) throw mkmedium::SystemFailure("cannot create", into, errno);
    ExtractImage(argument, info, into, progress);
    RefuseLinks(into, argument);
    RefuseCaseClashes(into, argument);
    // A disk image is one disk; a CD image may hold disk folders.
    AddFolder(&medium, into, argument);
  }
  for (const auto& [number, disk] : medium.disks)
    if (Holds(disk.folder, "Orbane.fix")) {
      medium.start = disk.folder;
      break;
    }
  if (medium.start.empty()) throw Failure("no disk of the medium holds the update script Orbane.fix");
  return medium;
}

void RemoveWorkTree(const std::string& path) {
  nftw(path.c_str(), MakeWritable, 16, FTW_PHYS);
  nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace zefa
