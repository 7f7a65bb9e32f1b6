// What mapping a Windows path costs in system calls, counted through the
// layer's system-call table: bounded by the path's own components, the same
// for a prefix of two drives as for one of twenty-six, and never stale when
// the working directory or a drive link changes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "platform/posix/files/paths.h"
#include "platform/posix/files/syscalls.h"
#include "support/sandbox.h"
#include "support/syscall_faults.h"

namespace {

struct Counts {
  int getcwd = 0, realpath = 0, readlink = 0, stat = 0, lstat = 0, opendir = 0, readdir = 0, other = 0;
  int Total() const { return getcwd + realpath + readlink + stat + lstat + opendir + readdir + other; }
};

Counts counts;

// Every call that path mapping could make goes through a counter on its way
// to the real call.
class CountedSyscalls {
 public:
  CountedSyscalls() {
    posix::Syscalls& s = faults_.sys();
    s.getcwd = [](char* buf, size_t size) { return ++counts.getcwd, posix::RealSyscalls().getcwd(buf, size); };
    s.realpath = [](const char* p, char* out) { return ++counts.realpath, posix::RealSyscalls().realpath(p, out); };
    s.readlink = [](const char* p, char* buf, size_t n) {
      return ++counts.readlink, posix::RealSyscalls().readlink(p, buf, n);
    };
    s.stat = [](const char* p, struct stat* st) { return ++counts.stat, posix::RealSyscalls().stat(p, st); };
    s.lstat = [](const char* p, struct stat* st) { return ++counts.lstat, posix::RealSyscalls().lstat(p, st); };
    s.opendir = [](const char* p) { return ++counts.opendir, posix::RealSyscalls().opendir(p); };
    s.readdir = [](DIR* d) { return ++counts.readdir, posix::RealSyscalls().readdir(d); };
    s.closedir = [](DIR* d) { return ++counts.other, posix::RealSyscalls().closedir(d); };
    s.open = [](const char* p, int f, mode_t m) { return ++counts.other, posix::RealSyscalls().open(p, f, m); };
    s.statx = [](int dirfd, const char* p, int f, unsigned m, struct statx* out) {
      return ++counts.other, posix::RealSyscalls().statx(dirfd, p, f, m, out);
    };
  }

 private:
  SyscallFaults faults_;
};

class PathCost : public ::testing::Test {
 protected:
  void SetUp() override {
    char buf[PATH_MAX];
    saved_ = getcwd(buf, sizeof buf) ? buf : "/";
  }
  void TearDown() override { (void)!chdir(saved_.c_str()); }

  // The calls of one mapping, and its result.
  Counts Cost(const std::string& windows, std::string* host = nullptr) {
    std::string mapped;
    counts = Counts();
    {
      CountedSyscalls counted;
      EXPECT_EQ(posix::MapPath(windows.c_str(), &mapped), 0u) << windows;
    }
    if (host) *host = mapped;
    return counts;
  }

  std::string Map(const std::string& windows) {
    std::string host;
    EXPECT_EQ(posix::MapPath(windows.c_str(), &host), 0u) << windows;
    return host;
  }

  // Drives D: to Y:, each a folder of drive C:.
  void AddManyDrives() {
    for (char letter = 'd'; letter <= 'y'; ++letter) {
      std::string name = std::string("drive_") + letter;
      box.MakeDir(name);
      Link(letter, box.Host(name));
    }
  }

  void Link(char letter, const std::string& target) {
    std::string link = box.Prefix() + "/dosdevices/" + letter + ":";
    unlink(link.c_str());
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  }

  void ChangeDirectory(const std::string& dir) { ASSERT_EQ(chdir(dir.c_str()), 0) << dir; }

  Sandbox box;
  std::string saved_;
};

TEST_F(PathCost, APathCostsItsOwnComponentsWhateverTheNumberOfDrives) {
  box.MakeDir("Work");
  box.MakeDir("Work\\Data");
  box.Write("Work\\a.txt", "x");
  box.Write("Work\\Data\\a.txt", "x");
  ChangeDirectory(box.Host("Work"));
  Map("first.txt");  // the first relative path works the current directory out
  // An absolute path: the drive's folder, then one look-up for each of its
  // three components; no drive and no current directory is resolved.
  Counts absolute = Cost("C:\\Work\\Data\\a.txt");
  EXPECT_EQ(absolute.getcwd, 0);
  EXPECT_EQ(absolute.realpath, 0);
  EXPECT_EQ(absolute.readlink, 0);
  EXPECT_EQ(absolute.Total(), 4);
  // A relative one: the working directory, the link of its drive, the drive's
  // folder, two names (a missing name would cost a scan of its folder, as
  // anywhere).
  Counts relative = Cost("a.txt");
  EXPECT_EQ(relative.getcwd, 1);
  EXPECT_EQ(relative.readlink, 1);
  EXPECT_EQ(relative.realpath, 0);
  EXPECT_EQ(relative.Total(), 5);

  AddManyDrives();
  EXPECT_EQ(Cost("C:\\Work\\Data\\a.txt").Total(), absolute.Total());
  EXPECT_EQ(Cost("a.txt").Total(), relative.Total());
  EXPECT_EQ(Cost("\\Work\\a.txt").Total(), relative.Total());
  EXPECT_EQ(Cost("C:a.txt").Total(), relative.Total());
  // A name in another case costs one scan of its folder, still no drive.
  Counts scanned = Cost("C:\\WORK\\Data\\a.txt");
  EXPECT_EQ(scanned.opendir, 1);
  EXPECT_EQ(scanned.readlink + scanned.realpath + scanned.getcwd, 0);
}

TEST_F(PathCost, WorkingTheCurrentDirectoryOutResolvesOnlyTheDrivesThatExist) {
  box.MakeDir("Work");
  box.Write("Work\\a.txt", "x");
  ChangeDirectory(box.Host("Work"));
  Counts first = Cost("a.txt");
  // One look at the prefix's drives finds them, the link of the drive found
  // is read once; only C: and the working directory are resolved.
  EXPECT_EQ(first.opendir, 1);
  EXPECT_EQ(first.readlink, 1);
  EXPECT_EQ(first.realpath, 2);
}

TEST_F(PathCost, TheCurrentDirectoryFollowsTheWorkingDirectory) {
  box.MakeDir("One");
  box.MakeDir("Two");
  std::string c = box.Prefix() + "/dosdevices/c:";
  ChangeDirectory(box.Host("One"));
  EXPECT_EQ(Map("a.txt"), c + "/One/a.txt");
  ChangeDirectory(box.Host("Two"));
  EXPECT_EQ(Map("a.txt"), c + "/Two/a.txt");
  EXPECT_EQ(Map("..\\One\\a.txt"), c + "/One/a.txt");
  ChangeDirectory(box.Host("One"));
  EXPECT_EQ(Map("a.txt"), c + "/One/a.txt");
}

TEST_F(PathCost, TheCurrentDirectoryFollowsItsDriveLink) {
  box.MakeDir("Disk1");
  box.MakeDir("Disk2");
  std::string c = box.Prefix() + "/dosdevices/c:", d = box.Prefix() + "/dosdevices/d:";
  Link('d', box.Host("Disk1"));
  ChangeDirectory(box.Host("Disk1"));
  EXPECT_EQ(Map("a.txt"), d + "/a.txt");
  EXPECT_EQ(Map("\\a.txt"), d + "/a.txt");
  // A disk change re-points D:; the working directory is still the first
  // disk, now only reached through C:, and D: is the second disk.
  Link('d', box.Host("Disk2"));
  EXPECT_EQ(Map("a.txt"), c + "/Disk1/a.txt");
  EXPECT_EQ(Map("\\a.txt"), c + "/a.txt");
  EXPECT_EQ(Map("D:\\a.txt"), d + "/a.txt");
  // The first disk back in the drive: D: is the working directory's folder
  // again, but a drive link does not move the current directory, which stays
  // in C:.
  Link('d', box.Host("Disk1"));
  EXPECT_EQ(Map("a.txt"), c + "/Disk1/a.txt");
  EXPECT_EQ(Map("D:a.txt"), d + "/a.txt");
}

TEST_F(PathCost, TheCurrentDirectoryBelongsToItsPrefix) {
  box.MakeDir("Work");
  ChangeDirectory(box.Host("Work"));
  EXPECT_EQ(Map("a.txt"), box.Prefix() + "/dosdevices/c:/Work/a.txt");
  {
    // Another prefix whose Z: is the first one's drive C:: the same working
    // directory is a folder of Z: there.
    Sandbox other;
    ASSERT_EQ(symlink(box.Host().c_str(), (other.Prefix() + "/dosdevices/z:").c_str()), 0);
    EXPECT_EQ(Map("a.txt"), other.Prefix() + "/dosdevices/z:/Work/a.txt");
  }
  EXPECT_EQ(Map("a.txt"), box.Prefix() + "/dosdevices/c:/Work/a.txt");
}

}  // namespace
