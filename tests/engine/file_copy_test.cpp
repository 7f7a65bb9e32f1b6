#include "engine/file_copy.h"

#include <gtest/gtest.h>

#include <string>

#include "codec/reference.h"
#include "foundation/file.h"
#include "support/sandbox.h"
#ifndef _WIN32
#include "platform/posix/files/handles.h"
#include "support/syscall_faults.h"
#endif

namespace {

using szdd_test::Bytes;

const uint64_t kOld = 125911584000000000ULL + 1234567, kNew = 126500000000000000ULL + 7654321;

class FileCopy : public ::testing::Test {
 protected:
#ifndef _WIN32
  // The POSIX layer counts its open handles; Windows tells no such count.
  void TearDown() override { EXPECT_EQ(posix::OpenFileCount(), 0u) << "a handle was left open"; }
#endif
  std::string W(const char* rel) { return box.Win(rel); }
  void WriteBytes(const std::string& rel, const Bytes& data) { box.Write(rel, szdd_test::AsString(data)); }
  uint64_t Time(const std::string& rel, int which) {
    std::string path = box.Win(rel);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME t[3];
    EXPECT_TRUE(GetFileTime(h, &t[0], &t[1], &t[2]));
    CloseHandle(h);
    return Ticks(t[which]);
  }
  bool ReadOnly(const char* rel) { return GetFileAttributesA(W(rel).c_str()) & FILE_ATTRIBUTE_READONLY; }
  Sandbox box;
};

TEST_F(FileCopy, ACompressedSourceIsExpandedWithItsTimeOnAllThreeTimes) {
  Bytes data = szdd_test::TextSample(200000);
  WriteBytes("game.da_", szdd_test::Compress(data, 't'));
  box.SetWriteTime("game.da_", kOld);
  CopyOrExpand(W("game.da_").c_str(), W("game.dat").c_str());
  EXPECT_EQ(Time("game.dat", 2), kOld);
  EXPECT_EQ(Time("game.dat", 1), kOld);  // before reading the contents moves it
  EXPECT_TRUE(box.Read("game.dat") == szdd_test::AsString(data));
  EXPECT_FALSE(ReadOnly("game.dat"));
}

TEST_F(FileCopy, APlainSourceIsCopiedWithItsTime) {
  box.Write("readme.txt", "plain");
  box.SetWriteTime("readme.txt", kOld);
  CopyOrExpand(W("readme.txt").c_str(), W("copy.txt").c_str());
  EXPECT_EQ(box.Read("copy.txt"), "plain");
  EXPECT_EQ(Time("copy.txt", 2), kOld);
}

TEST_F(FileCopy, OnlyTheSourcesFinalUnderscoreDecidesOnExpansion) {
  // A compressed file without the underscore arrives byte for byte...
  Bytes compressed = szdd_test::Compress(szdd_test::TextSample(5000));
  WriteBytes("packed.dat", compressed);
  CopyOrExpand(W("packed.dat").c_str(), W("out_").c_str());
  EXPECT_TRUE(box.Read("out_") == szdd_test::AsString(compressed));
  // ...and a plain file with it goes through the library and arrives unchanged.
  box.Write("plain.tx_", "not compressed at all");
  CopyOrExpand(W("plain.tx_").c_str(), W("plain.txt").c_str());
  EXPECT_EQ(box.Read("plain.txt"), "not compressed at all");
}

TEST_F(FileCopy, AReadOnlyInstalledFileIsReplacedEitherWay) {
  box.Write("new.txt", "new");
  WriteBytes("new.tx_", szdd_test::Compress({'z', 'z', 'z'}));
  for (const char* source : {"new.txt", "new.tx_"}) {
    box.Write("installed", "old");
    box.SetReadOnly("installed", true);
    CopyOrExpand(W(source).c_str(), W("installed").c_str());
    EXPECT_EQ(box.Read("installed"), source[6] == '_' ? "zzz" : "new");
    EXPECT_FALSE(ReadOnly("installed"));
  }
}

TEST_F(FileCopy, TheSamePathInAnotherCaseIsNotCopied) {
  box.Write("Data.txt", "same");
  box.SetReadOnly("Data.txt", true);
  box.SetWriteTime("Data.txt", kOld);
  CopyOrExpand(W("Data.txt").c_str(), W("DATA.TXT").c_str());
  EXPECT_EQ(box.Read("Data.txt"), "same");
  EXPECT_FALSE(ReadOnly("Data.txt"));  // only the attributes were reset
  EXPECT_EQ(box.WriteTime("Data.txt"), kOld);
}

TEST_F(FileCopy, ExpansionFailuresAreRaisedWithTheirPaths) {
  std::string src = W("a.tx_"), dst = W("a.txt");
  try {
    CopyOrExpand(src.c_str(), dst.c_str());
    FAIL();
  } catch (File::ExceptOpen& e) {
    EXPECT_EQ(std::string(e.message), "ファイル'" + src + "'をオープンできません");
  }
  EXPECT_FALSE(box.Exists("a.txt"));

  WriteBytes("a.tx_", szdd_test::Compress({'a'}));
  std::string badDst = W("nodir\\a.txt");
  try {
    CopyOrExpand(src.c_str(), badDst.c_str());
    FAIL();
  } catch (File::ExceptCreate& e) {
    EXPECT_EQ(std::string(e.message), "ファイル'" + badDst + "'を作成できません");
  }

  // The source held by another program that shares nothing cannot be expanded.
  WriteBytes("a.tx_", szdd_test::Compress({'a'}));
  HANDLE holder = CreateFileA(src.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_THROW(CopyOrExpand(src.c_str(), dst.c_str()), File::ExceptOpen);
  CloseHandle(holder);
}

// The library expands until its input ends; a damaged file that ends early
// gives fewer bytes than its header states, which the library does not report.
TEST_F(FileCopy, ACompressedFileThatEndsEarlyIsACopyFailure) {
  std::string src = W("cut.ex_"), dst = W("cut.exe");
  Bytes random = szdd_test::Compress(szdd_test::RandomSample(20000));
  Bytes half(random.begin(), random.begin() + random.size() / 2);
  // Flags 0xFF: a run of literals, cut after ten of the twenty bytes.
  Bytes literals = szdd_test::WithHeader({0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0xFF, 'i', 'j'}, 20);
  // Data that ends inside a match: the POSIX layer's LZCopy reports a read
  // error, Wine's ends quietly with what came before, shorter than the
  // header's length. Either way the copy fails, and what was expanded stays.
  Bytes inMatch = szdd_test::WithHeader({0x03, 'a', 'b', 0x10}, 3);
  struct Damaged {
    const Bytes* bytes;
    const char* partial;  // what the destination keeps, where it is known
  } cases[] = {{&half, nullptr}, {&literals, nullptr}, {&inMatch, "ab"}};
  for (const Damaged& c : cases) {
    WriteBytes("cut.ex_", *c.bytes);
    try {
      CopyOrExpand(src.c_str(), dst.c_str());
      FAIL() << "a file of " << c.bytes->size() << " bytes was taken as complete";
    } catch (ExceptFileCopy& e) {
      EXPECT_EQ(std::string(e.message), "ﾌｧｲﾙ'" + src + "'を\nﾌｧｲﾙ'" + dst + "'にコピーできません");
    }
    if (c.partial) {
      EXPECT_EQ(box.Read("cut.exe"), c.partial);
    }
  }
  // A whole file still expands; so does a plain one, whose length is its size.
  WriteBytes("cut.ex_", random);
  CopyOrExpand(src.c_str(), dst.c_str());
  EXPECT_EQ(box.Read("cut.exe").size(), 20000u);
  box.Write("cut.ex_", "plain bytes");
  CopyOrExpand(src.c_str(), dst.c_str());
  EXPECT_EQ(box.Read("cut.exe"), "plain bytes");
}

// Injected through the POSIX layer's system call table: POSIX build only.
#ifndef _WIN32
TEST_F(FileCopy, FailuresWhileTheTimeIsCarriedOverAreRaised) {
  WriteBytes("a.tx_", szdd_test::Compress({'a'}));
  std::string src = W("a.tx_"), dst = W("a.txt");
  {
    SyscallFaults faults;
    faults.sys().statx = [](int, const char*, int, unsigned, struct statx*) { return errno = EIO, -1; };
    EXPECT_THROW(CopyOrExpand(src.c_str(), dst.c_str()), File::ExceptGetTime);
  }
  EXPECT_EQ(box.Read("a.txt"), "a");
  {
    SyscallFaults faults;
    faults.sys().futimens = [](int, const struct timespec*) { return errno = EPERM, -1; };
    EXPECT_THROW(CopyOrExpand(src.c_str(), dst.c_str()), File::ExceptSetTime);
  }
}

// The time is carried over by opening each file once more (the second open of
// each): the source cannot be opened again, or a close fails. The expanded
// destination stays, with the times it has by then.
TEST_F(FileCopy, TheSourceNotOpeningAgainOrAFailedCloseWhileTheTimeIsCarriedOverIsRaised) {
  WriteBytes("a.tx_", szdd_test::Compress({'a', 'b'}));
  box.SetWriteTime("a.tx_", kOld);
  std::string src = W("a.tx_"), dst = W("a.txt");
  struct Case {
    const char* file;
    FileFaults::What what;
    std::string message;
    bool timeCarried;
  } cases[] = {
      {"/a.tx_", FileFaults::kOpen, "ファイル'" + src + "'をオープンできません", false},
      {"/a.txt", FileFaults::kClose, "ファイル'" + dst + "'をクローズできません", true},
      {"/a.tx_", FileFaults::kClose, "ファイル'" + src + "'をクローズできません", true},
  };
  for (const Case& c : cases) {
    box.Write("a.txt", "old");
    box.SetWriteTime("a.txt", kNew);
    try {
      FileFaults faults(c.file, 2, c.what);
      CopyOrExpand(src.c_str(), dst.c_str());
      ADD_FAILURE() << c.message;
    } catch (File::Except& e) {
      EXPECT_EQ(std::string(e.message), c.message);
    }
    EXPECT_EQ(box.Read("a.txt"), "ab") << c.message;
    EXPECT_EQ(Time("a.txt", 2) == kOld, c.timeCarried) << c.message;
    EXPECT_EQ(GetFileAttributesA(dst.c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << c.message;
  }
}
#endif

TEST_F(FileCopy, APlainCopyFailureIsRaisedWithBothPaths) {
  std::string src = W("missing.txt"), dst = W("x.txt");
  try {
    CopyOrExpand(src.c_str(), dst.c_str());
    FAIL();
  } catch (ExceptFileCopy& e) {
    EXPECT_EQ(std::string(e.message), "ﾌｧｲﾙ'" + src + "'を\nﾌｧｲﾙ'" + dst + "'にコピーできません");
  }
}

TEST_F(FileCopy, TheInstalledFileIsSameOrNewerOnlyWhenItsTimeIsNotEarlier) {
  box.Write("src", "s");
  box.Write("inst", "i");
  std::string src = W("src"), inst = W("inst");
  box.SetWriteTime("src", kOld);
  box.SetWriteTime("inst", kOld);
  EXPECT_TRUE(IsInstalledSameOrNewer(src.c_str(), inst.c_str()));
  box.SetWriteTime("inst", kNew);
  EXPECT_TRUE(IsInstalledSameOrNewer(src.c_str(), inst.c_str()));
  box.SetWriteTime("inst", kOld - 1);  // one tick older
  EXPECT_FALSE(IsInstalledSameOrNewer(src.c_str(), inst.c_str()));
  std::string missing = W("missing");
  EXPECT_FALSE(IsInstalledSameOrNewer(src.c_str(), missing.c_str()));
  EXPECT_FALSE(IsInstalledSameOrNewer(missing.c_str(), inst.c_str()));
#ifndef _WIN32  // an unreadable time, injected through the POSIX layer
  SyscallFaults faults;
  faults.sys().statx = [](int, const char*, int, unsigned, struct statx*) { return errno = EIO, -1; };
  box.SetWriteTime("inst", kNew);
  EXPECT_FALSE(IsInstalledSameOrNewer(src.c_str(), inst.c_str()));
#endif
}

TEST_F(FileCopy, ExpandedSizeIsTheContentsLengthAfterExpansion) {
  WriteBytes("c.da_", szdd_test::Compress(szdd_test::Zeros(3000000)));
  box.Write("plain", std::string(12345, 'p'));
  std::string compressed = W("c.da_"), plain = W("plain");
  EXPECT_EQ(ExpandedSize(compressed.c_str()), 3000000u);
  EXPECT_EQ(ExpandedSize(plain.c_str()), 12345u);
  // While the file is open for reading elsewhere, as the overwrite dialog has it.
  File reading(compressed.c_str(), File::kRead);
  EXPECT_EQ(ExpandedSize(compressed.c_str()), 3000000u);
  std::string missing = W("missing");
  try {
    ExpandedSize(missing.c_str());
    FAIL();
  } catch (File::ExceptOpen& e) {
    EXPECT_EQ(std::string(e.message), "ファイル'" + missing + "'をオープンできません");
  }
}

}  // namespace
