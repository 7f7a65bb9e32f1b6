#include "foundation/file_cat.h"

#include <gtest/gtest.h>

#include <string>

#include "support/sandbox.h"
#include "support/syscall_faults.h"
#ifndef _WIN32
#include "platform/posix/files/handles.h"
#endif

namespace {

const uint64_t kFirst = 125911584000000000ULL + 1111111, kSecond = 126000000000000000ULL;

class FileCatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dest = box.Win("dest");
    piece1 = box.Win("p1");
    piece2 = box.Win("p2");
  }
#ifndef _WIN32
  void TearDown() override { EXPECT_EQ(posix::OpenFileCount(), 0u) << "a handle was left open"; }
#endif
  Sandbox box;
  std::string dest, piece1, piece2;
};

TEST_F(FileCatTest, JoinsPiecesInOrderAndDeletesThem) {
  std::string block(8192, 'a');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31 + 7);
  box.Write("p1", block);
  box.Write("p2", "Z");
  box.Write("p3", "");
  {
    FileCat cat(dest.c_str());
    cat.Append(piece1.c_str());
    cat.Append(piece2.c_str());
    std::string piece3 = box.Win("p3");
    cat.Append(piece3.c_str());  // an empty piece adds nothing and goes too
  }
  EXPECT_EQ(box.Read("dest"), block + "Z");
  EXPECT_FALSE(box.Exists("p1"));
  EXPECT_FALSE(box.Exists("p2"));
  EXPECT_FALSE(box.Exists("p3"));
}

TEST_F(FileCatTest, TheDestinationTakesTheFirstPiecesTimeForAllItsTimes) {
  box.Write("p1", "one");
  box.Write("p2", "two");
  box.SetWriteTime("p1", kFirst);
  box.SetWriteTime("p2", kSecond);
  {
    FileCat cat(dest.c_str());
    cat.Append(piece1.c_str());
    cat.Append(piece2.c_str());
  }
  EXPECT_EQ(box.WriteTime("dest"), kFirst);
  HANDLE h = CreateFileA(dest.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  FILETIME access;
  ASSERT_TRUE(GetFileTime(h, nullptr, &access, nullptr));
  EXPECT_EQ(Ticks(access), kFirst);
  CloseHandle(h);
}

TEST_F(FileCatTest, AReadOnlyDestinationIsReplacedAndEndsNormal) {
  box.Write("dest", "old contents");
  box.SetReadOnly("dest", true);
  box.Write("p1", "new");
  {
    FileCat cat(dest.c_str());
    cat.Append(piece1.c_str());
  }
  EXPECT_EQ(box.Read("dest"), "new");
  EXPECT_FALSE(GetFileAttributesA(dest.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(FileCatTest, AWriterWithNoPieceLeavesAnEmptyFileOfTheCurrentTime) {
  box.Write("dest", "old");
  box.SetWriteTime("dest", kFirst);
  { FileCat cat(dest.c_str()); }
  EXPECT_EQ(box.Read("dest"), "");
  EXPECT_GT(box.WriteTime("dest"), kSecond);
}

TEST_F(FileCatTest, AMissingPieceIsRaisedAndTheJoinSoFarStays) {
  box.Write("p1", "first");
  box.SetWriteTime("p1", kFirst);
  try {
    FileCat cat(dest.c_str());
    cat.Append(piece1.c_str());
    cat.Append(piece2.c_str());
    FAIL() << "a missing piece was appended";
  } catch (FileCat::ExceptOpen& e) {
    EXPECT_EQ(std::string(e.message), "ファイル'" + piece2 + "'をオープンできません");
  }
  EXPECT_FALSE(box.Exists("p1"));
  EXPECT_EQ(box.Read("dest"), "first");
  EXPECT_EQ(box.WriteTime("dest"), kFirst);
}

TEST_F(FileCatTest, ADestinationThatCannotBeCreatedIsRaised) {
  std::string bad = box.Win("nodir\\dest");
  try {
    FileCat cat(bad.c_str());
    FAIL();
  } catch (FileCat::ExceptCreate& e) {
    EXPECT_EQ(std::string(e.message), "ファイル'" + bad + "'を作成できません");
  }
}

#ifndef _WIN32

ssize_t writeBudget;
ssize_t WriteWithinBudget(int fd, const void* buf, size_t n) {
  size_t part = std::min<size_t>(n, static_cast<size_t>(writeBudget));
  writeBudget -= static_cast<ssize_t>(part);
  return part ? posix::RealSyscalls().write(fd, buf, part) : 0;
}

TEST_F(FileCatTest, EveryFailureNamesItsFileAndKeepsThePiece) {
  box.Write("p1", std::string(20000, 'x'));
  box.SetWriteTime("p1", kFirst);
  struct Case {
    const char* what;
    std::string message;
    void (*inject)(posix::Syscalls&);
  } cases[] = {
      {"time", "ファイル'" + piece1 + "'の時刻が読み込めません",
       [](posix::Syscalls& s) { s.statx = [](int, const char*, int, unsigned, struct statx*) { return errno = EIO, -1; }; }},
      {"read", "ファイル'" + piece1 + "'を読み込めません", [](posix::Syscalls& s) { s.read = FailRead<EIO>; }},
      {"write", "ファイル'" + dest + "'に書き込めません", [](posix::Syscalls& s) { s.write = FailWrite<ENOSPC>; }},
      // A write that stores less than asked, as on a full disk, fails too.
      {"short write", "ファイル'" + dest + "'に書き込めません",
       [](posix::Syscalls& s) {
         writeBudget = 10000;
         s.write = WriteWithinBudget;
       }},
  };
  for (const Case& c : cases) {
    try {
      FileCat cat(dest.c_str());
      SyscallFaults faults;
      c.inject(faults.sys());
      cat.Append(piece1.c_str());
      FAIL() << c.what;
    } catch (FileCat::Except& e) {
      EXPECT_EQ(std::string(e.message), c.message) << c.what;
    }
    EXPECT_TRUE(box.Exists("p1")) << c.what;
  }
  // The short write left what it wrote, with the piece's time.
  EXPECT_EQ(box.Read("dest"), std::string(10000, 'x'));
  EXPECT_EQ(box.WriteTime("dest"), kFirst);
}

TEST_F(FileCatTest, FailuresAtTheCloseAreSwallowed) {
  box.Write("p1", "data");
  {
    FileCat cat(dest.c_str());
    cat.Append(piece1.c_str());
    SyscallFaults faults;
    faults.sys().close = FailClose<EIO>;
    faults.sys().futimens = [](int, const struct timespec*) { return errno = EPERM, -1; };
    faults.sys().chmod = [](const char*, mode_t) { return errno = EPERM, -1; };
  }
  EXPECT_EQ(box.Read("dest"), "data");
}

#endif

}  // namespace
