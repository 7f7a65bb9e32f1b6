// What another user of the machine may leave where the programs write: a link
// or a file of theirs in a folder that everyone may write into, and the list
// of deletions at restart. Playing the other user takes root (chown).
#include <gtest/gtest.h>

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/posix/process/program_start.h"
#include "platform/win32.h"
#include "support/sandbox.h"
#include "support/scoped_env.h"
#include "support/syscall_faults.h"

namespace {

constexpr uid_t kOther = 4321;

class PlantedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "playing another user takes root";
    box.MakeDir("shared");
    chmod(box.Host("shared").c_str(), 01777);  // as /tmp
    box.Write("victim.conf", "precious");
    box.Write("Tavrix.bin", "the updater");
  }
  // A link of owner's at the sandbox path rel, to the victim.
  void PlantLink(const std::string& rel, uid_t owner = kOther) {
    std::string at = box.Host(rel);
    ASSERT_EQ(symlink(box.Host("victim.conf").c_str(), at.c_str()), 0);
    ASSERT_EQ(lchown(at.c_str(), owner, owner), 0);
  }
  // Copying the updater onto a link that is followed writes the victim.
  void ExpectFollowed(const std::string& windows) {
    EXPECT_TRUE(CopyFileA(box.Win("Tavrix.bin").c_str(), windows.c_str(), FALSE)) << windows;
    EXPECT_EQ(box.Read("victim.conf"), "the updater") << windows;
    box.Write("victim.conf", "precious");
  }
  std::string Shared(const std::string& name) { return box.Win("shared\\" + name); }

  Sandbox box;
};

TEST_F(PlantedFiles, AnotherUsersLinkInASharedFolderIsNotFollowed) {
  PlantLink("shared/Tavrix.bin");
  EXPECT_FALSE(CopyFileA(box.Win("Tavrix.bin").c_str(), Shared("Tavrix.bin").c_str(), FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  PlantLink("shared/MOVIE.DA1");
  for (DWORD disposition : {CREATE_ALWAYS, OPEN_ALWAYS, OPEN_EXISTING, TRUNCATE_EXISTING}) {
    HANDLE h = CreateFileA(Shared("MOVIE.DA1").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE) << disposition;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  EXPECT_EQ(box.Read("victim.conf"), "precious");
  struct stat st;
  ASSERT_EQ(stat(box.Host("victim.conf").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0111, 0u);  // not made a program either
  // The links are left to their owner.
  EXPECT_EQ(lstat(box.Host("shared/Tavrix.bin").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(PlantedFiles, ALinkOfOneselfOrOfTheFoldersOwnerOrInAPrivateFolderIsFollowed) {
  PlantLink("shared/mine", geteuid());
  ExpectFollowed(Shared("mine"));
  box.MakeDir("theirs");
  chmod(box.Host("theirs").c_str(), 01777);
  chown(box.Host("theirs").c_str(), kOther, kOther);
  PlantLink("theirs/link");
  ExpectFollowed(box.Win("theirs\\link"));
  chmod(box.Host("shared").c_str(), 0755);  // no longer open to others
  PlantLink("shared/private");
  ExpectFollowed(Shared("private"));
}

// Nor is a link put in place of a file between the look at the name and its
// opening: the look here still sees the file of one's own that was there.
TEST_F(PlantedFiles, ALinkPutInPlaceAfterTheLookIsNotFollowed) {
  PlantLink("shared/late");
  SyscallFaults faults;
  faults.sys().lstat = [](const char* path, struct stat* st) {
    int result = posix::RealSyscalls().lstat(path, st);
    if (result == 0 && S_ISLNK(st->st_mode)) st->st_mode = S_IFREG | 0644, st->st_uid = geteuid();
    return result;
  };
  HANDLE h = CreateFileA(Shared("late").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  EXPECT_EQ(box.Read("victim.conf"), "precious");
}

TEST_F(PlantedFiles, AnotherUsersFileInASharedFolderIsReadButNotWritten) {
  box.Write("shared\\Tavrix.bin", "theirs");
  std::string planted = box.Host("shared/Tavrix.bin");
  chmod(planted.c_str(), 0666);
  chown(planted.c_str(), kOther, kOther);
  EXPECT_FALSE(CopyFileA(box.Win("Tavrix.bin").c_str(), Shared("Tavrix.bin").c_str(), FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(box.Read("shared\\Tavrix.bin"), "theirs");
  HANDLE h = CreateFileA(Shared("Tavrix.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  // A new file there is one's own.
  EXPECT_TRUE(CopyFileA(box.Win("Tavrix.bin").c_str(), Shared("new.bin").c_str(), FALSE));
  EXPECT_EQ(box.Read("shared\\new.bin"), "the updater");
}

// ---- the list of deletions at restart ------------------------------------

class PendingDeletions : public ::testing::Test {
 protected:
  std::string List() const { return box.Prefix() + "/pending-deletions"; }
  std::string ReadList() const {
    std::ifstream in(List(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void Register(const std::string& rel) {
    ASSERT_TRUE(MoveFileExA(box.Win(rel).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  }
  Sandbox box;
};

TEST_F(PendingDeletions, TheListIsTheUsersAloneAndAListOthersMayChangeIsIgnored) {
  box.Write("victim.conf", "precious");
  {
    ScopedEnv boot("ZEFA_BOOT_ID", "first");
    Register("victim.conf");
  }
  struct stat st;
  ASSERT_EQ(stat(List().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(access((List() + ".new").c_str(), F_OK), -1);

  ScopedEnv boot("ZEFA_BOOT_ID", "second");
  chmod(List().c_str(), 0622);  // anyone could have listed anything
  posix::CarryOutPendingDeletions();
  EXPECT_EQ(box.Read("victim.conf"), "precious");
  if (geteuid() == 0) {
    chmod(List().c_str(), 0600);
    chown(List().c_str(), 4321, 4321);  // another user's list
    posix::CarryOutPendingDeletions();
    EXPECT_EQ(box.Read("victim.conf"), "precious");
    chown(List().c_str(), 0, 0);
  }
  // A link in its place is not read through.
  std::string elsewhere = box.Host("list");
  ASSERT_EQ(rename(List().c_str(), elsewhere.c_str()), 0);
  chmod(elsewhere.c_str(), 0600);
  ASSERT_EQ(symlink(elsewhere.c_str(), List().c_str()), 0);
  posix::CarryOutPendingDeletions();
  EXPECT_EQ(box.Read("victim.conf"), "precious");
  // The list itself, in order, is carried out.
  ASSERT_EQ(remove(List().c_str()), 0);
  ASSERT_EQ(rename(elsewhere.c_str(), List().c_str()), 0);
  posix::CarryOutPendingDeletions();
  EXPECT_FALSE(box.Exists("victim.conf"));
  EXPECT_EQ(access(List().c_str(), F_OK), -1);  // emptied: gone
}

// Each step of writing the list failing: MoveFileExA fails, the list stays as
// it was, and nothing is left beside it.
TEST_F(PendingDeletions, AListThatCannotBeWrittenIsAFailureAndStaysAsItWas) {
  ScopedEnv boot("ZEFA_BOOT_ID", "first");
  box.Write("a.bin", "a");
  box.Write("b.bin", "b");
  Register("a.bin");
  std::string before = ReadList();
  ASSERT_NE(before.find("a.bin"), std::string::npos);

  static int failing;  // 0 open, 1 write, 2 close, 3 rename
  static std::string newFile;
  static int newFd;
  newFile = List() + ".new";
  newFd = -1;
  {
    SyscallFaults faults;
    faults.sys().open = [](const char* path, int flags, mode_t mode) {
      if (failing == 0 && path == newFile) return errno = ENOSPC, -1;
      int fd = posix::RealSyscalls().open(path, flags, mode);
      if (path == newFile) newFd = fd;
      return fd;
    };
    faults.sys().write = [](int fd, const void* buf, size_t n) -> ssize_t {
      if (failing == 1 && fd == newFd) return errno = ENOSPC, -1;
      return posix::RealSyscalls().write(fd, buf, n);
    };
    faults.sys().close = [](int fd) {
      int result = posix::RealSyscalls().close(fd);
      if (failing == 2 && fd == newFd) return errno = EIO, -1;
      return result;
    };
    faults.sys().rename = [](const char* from, const char* to) {
      if (failing == 3) return errno = EACCES, -1;
      return posix::RealSyscalls().rename(from, to);
    };
    for (failing = 0; failing < 4; ++failing) {
      SetLastError(0);
      EXPECT_FALSE(MoveFileExA(box.Win("b.bin").c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) << failing;
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << failing;
      EXPECT_EQ(ReadList(), before) << failing;
      EXPECT_EQ(access(newFile.c_str(), F_OK), -1) << failing;
    }
  }
  // An unreadable list is an empty one: what it held is not deleted, and the
  // list stays for a later start to read.
  {
    SyscallFaults faults;
    faults.sys().read = FailRead<EIO>;
    ScopedEnv later("ZEFA_BOOT_ID", "second");
    posix::CarryOutPendingDeletions();
  }
  EXPECT_TRUE(box.Exists("a.bin"));
  EXPECT_EQ(ReadList(), before);
}

}  // namespace
