#include "foundation/file.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "support/sandbox.h"
#include "support/syscall_faults.h"

namespace {

class FileTest : public ::testing::Test {
 protected:
  std::string Path(const char* rel) { return box.Win(rel); }
  Sandbox box;
};

std::string ReadAll(File& f) {
  std::string out;
  char c;
  while (f.GetChar(&c)) out += c;
  return out;
}

TEST_F(FileTest, EmptyFileEndsAtOnce) {
  box.Write("e", "");
  std::string path = Path("e");
  File f(path.c_str(), File::kRead);
  char c = 'x';
  EXPECT_EQ(f.GetChar(&c), 0);
  char line[MAX_PATH] = "junk";
  EXPECT_EQ(f.GetLine(line, sizeof line), 0);
  EXPECT_STREQ(line, "");
}

TEST_F(FileTest, DeliversEveryByteAcrossBlockBoundaries) {
  std::string block(8192, '\0');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
  for (const std::string& content : {block, block + "Z", block + block + "tail"}) {
    box.Write("f", content);
    std::string path = Path("f");
    File f(path.c_str(), File::kRead);
    EXPECT_EQ(ReadAll(f), content);
    char c;
    EXPECT_EQ(f.GetChar(&c), 0);  // the end is final
  }
}

TEST_F(FileTest, LinesKeepTheirLineFeedAndComeInPiecesOfNMinusOne) {
  box.Write("l", "one\r\n" + std::string(299, 'x') + "\nlast");
  std::string path = Path("l");
  File f(path.c_str(), File::kRead);
  char line[MAX_PATH];
  EXPECT_EQ(f.GetLine(line, 1), 0);  // n = 1 consumes nothing
  EXPECT_STREQ(line, "");
  EXPECT_EQ(f.GetLine(line, sizeof line), 5);
  EXPECT_STREQ(line, "one\r\n");
  EXPECT_EQ(f.GetLine(line, sizeof line), 259);
  EXPECT_EQ(std::string(line), std::string(259, 'x'));
  EXPECT_EQ(f.GetLine(line, sizeof line), 41);
  EXPECT_EQ(std::string(line), std::string(40, 'x') + "\n");
  EXPECT_EQ(f.GetLine(line, sizeof line), 4);
  EXPECT_STREQ(line, "last");
  EXPECT_EQ(f.GetLine(line, sizeof line), 0);
}

TEST_F(FileTest, WriteModeOpensOnlyAnExistingFileAndLeavesItAsItIs) {
  std::string missing = Path("missing");
  try {
    File f(missing.c_str(), File::kWrite);
    FAIL() << "opened a missing file";
  } catch (File::ExceptOpen& e) {
    EXPECT_EQ(std::string(e.message), "ファイル'" + missing + "'をオープンできません");
  }
  EXPECT_FALSE(box.Exists("missing"));

  box.Write("kept", "contents");
  std::string kept = Path("kept");
  { File f(kept.c_str(), File::kWrite); }
  EXPECT_EQ(box.Read("kept"), "contents");
}

TEST_F(FileTest, CreateModeEmptiesOrCreates) {
  box.Write("old", "contents");
  std::string old = Path("old"), made = Path("made");
  { File f(old.c_str(), File::kCreate); }
  { File f(made.c_str(), File::kCreate); }
  EXPECT_EQ(box.Read("old"), "");
  EXPECT_TRUE(box.Exists("made"));

  std::string noDir = Path("nodir\\x");
  EXPECT_THROW(File(noDir.c_str(), File::kCreate), File::ExceptCreate);
}

TEST_F(FileTest, ReadersShareOnlyWithReaders) {
  box.Write("s", "x");
  std::string path = Path("s");
  {
    File reader(path.c_str(), File::kRead);
    File second(path.c_str(), File::kRead);
    EXPECT_THROW(File(path.c_str(), File::kWrite), File::ExceptOpen);
    EXPECT_THROW(File(path.c_str(), File::kCreate), File::ExceptCreate);
  }
  {
    File writer(path.c_str(), File::kWrite);
    EXPECT_THROW(File(path.c_str(), File::kRead), File::ExceptOpen);
  }
  EXPECT_EQ(box.Read("s"), "x");  // the refused create emptied nothing
}

TEST_F(FileTest, TimesAreReadAndWrittenOnlyWhereAsked) {
  box.Write("t", "x");
  const uint64_t kTime = 125911584000000000ULL + 1234567;  // 1999, with 100 ns digits
  box.SetWriteTime("t", kTime);
  std::string path = Path("t");
  File f(path.c_str(), File::kRead);
  FILETIME creation = Ticks(1), access = Ticks(2), write = Ticks(3);
  f.GetTime(nullptr, nullptr, &write);
  EXPECT_EQ(Ticks(write), kTime);
  f.GetTime(nullptr, nullptr, nullptr);
  EXPECT_EQ(Ticks(creation), 1u);
  EXPECT_EQ(Ticks(access), 2u);

  box.Write("u", "y");
  std::string other = Path("u");
  {
    File w(other.c_str(), File::kWrite);
    FILETIME t = Ticks(kTime + 10);
    w.SetTime(&t, &t, &t);
  }
  EXPECT_EQ(box.WriteTime("u"), kTime + 10);
  {
    File w(other.c_str(), File::kWrite);
    FILETIME t = Ticks(kTime + 20);
    w.SetTime(nullptr, &t, nullptr);  // the last-write time stays
  }
  EXPECT_EQ(box.WriteTime("u"), kTime + 10);
}

// The failures below are injected through the POSIX layer's system call table;
// Windows has no such table, so they run in the POSIX build only.
#ifndef _WIN32

TEST_F(FileTest, EveryFailureIsRaisedWithTheFileName) {
  box.Write("f", "data");
  std::string path = Path("f");
  std::string named = "'" + path + "'";
  auto expectMessage = [&](const Exception& e, const char* tail) {
    EXPECT_EQ(std::string(e.message), "ファイル" + named + tail);
  };

  {
    SyscallFaults faults;
    faults.sys().open = FailOpen<EACCES>;
    try {
      File f(path.c_str(), File::kRead);
      FAIL();
    } catch (File::ExceptOpen& e) {
      expectMessage(e, "をオープンできません");
    }
    try {
      File f(path.c_str(), File::kCreate);
      FAIL();
    } catch (File::ExceptCreate& e) {
      expectMessage(e, "を作成できません");
    }
  }
  {
    File f(path.c_str(), File::kRead);
    SyscallFaults faults;
    faults.sys().read = FailRead<EIO>;
    char c;
    try {
      f.GetChar(&c);
      FAIL() << "a read failure ended the data silently";
    } catch (File::ExceptRead& e) {
      expectMessage(e, "を読み込めません");
    }
  }
  {
    File f(path.c_str(), File::kRead);
    SyscallFaults faults;
    faults.sys().statx = [](int, const char*, int, unsigned, struct statx*) { return errno = EIO, -1; };
    FILETIME t;
    try {
      f.GetTime(nullptr, nullptr, &t);
      FAIL();
    } catch (File::ExceptGetTime& e) {
      expectMessage(e, "の時刻が読み込めません");
    }
  }
  {
    File f(path.c_str(), File::kWrite);
    SyscallFaults faults;
    faults.sys().futimens = [](int, const struct timespec*) { return errno = EPERM, -1; };
    FILETIME t = Ticks(125911584000000000ULL);
    try {
      f.SetTime(&t, &t, &t);
      FAIL();
    } catch (File::ExceptSetTime& e) {
      expectMessage(e, "の時刻が書き込めません");
    }
  }
}

TEST_F(FileTest, CloseFailuresAreRaisedAndTheHandleIsClosedAnyway) {
  box.Write("f", "data");
  std::string path = Path("f");
  SyscallFaults faults;
  faults.sys().close = FailClose<EIO>;
  bool raised = false;
  try {
    File f(path.c_str(), File::kRead);
  } catch (File::ExceptClose& e) {
    raised = true;
    EXPECT_EQ(std::string(e.message), "ファイル'" + path + "'をクローズできません");
  }
  EXPECT_TRUE(raised);
  // The zero-byte flush of a write-mode file reaches the file; its failure is raised.
  faults.sys() = posix::RealSyscalls();
  faults.sys().write = FailWrite<ENOSPC>;
  EXPECT_THROW({ File f(path.c_str(), File::kWrite); }, File::ExceptWrite);
  faults.sys() = posix::RealSyscalls();
  File reopened(path.c_str(), File::kWrite);  // the failed close left no handle behind
}

TEST_F(FileTest, ACloseFailureDuringAnotherExceptionIsDropped) {
  box.Write("f", "data");
  std::string path = Path("f");
  SyscallFaults faults;
  faults.sys().close = FailClose<EIO>;
  try {
    File f(path.c_str(), File::kWrite);
    throw std::runtime_error("first");
  } catch (std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "first");
  }
}

#endif

}  // namespace
