#include "script/update_script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/exception.h"
#include "foundation/file.h"
#include "foundation/process_values.h"
#include "support/sandbox.h"
#include "support/syscall_faults.h"

namespace {

class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { lstrcpyA(SourceDirectory, box.Win().c_str()); }

  // Loads content as Orbane.fix; returns the error message, or "" on success.
  std::string Load(const std::string& content) {
    box.Write("Orbane.fix", content);
    script.reset(new UpdateScript);
    try {
      script->Load("Orbane.fix");
    } catch (Exception& e) {
      return e.message ? e.message : "(null)";
    }
    return "";
  }

  const UpdateEntry& Entry(int i) { return *script->entries[i]; }
  std::vector<int> Disks(int i) { return std::vector<int>(Entry(i).disks, Entry(i).disks + Entry(i).diskCount); }

  Sandbox box;
  std::unique_ptr<UpdateScript> script;
};

TEST_F(ScriptTest, TheExampleScriptLoads) {
  ASSERT_EQ(Load("; update for the sample product\n"
                 "APPNAME=Sample Product\n"
                 "REGISTRY=SampleProduct\n"
                 "GARMOREGISTRY=ExpansionInstalled\n"
                 "MODE=NORMAL\n"
                 "1:readme.txt\n"
                 "1:main.ex_>main.exe\n"
                 "2:data\\stage.da_>data\\stage.dat\n"
                 "2+3:movie.da_>movie.dat\n"),
            "");
  EXPECT_STREQ(script->appName, "Sample Product");
  EXPECT_STREQ(script->registryName, "SampleProduct");
  EXPECT_STREQ(script->kitValueName, "ExpansionInstalled");
  EXPECT_EQ(script->mode, 0);
  ASSERT_EQ(script->entryCount, 4);
  EXPECT_EQ(Disks(0), std::vector<int>{1});
  EXPECT_STREQ(Entry(0).sourceName, "readme.txt");
  EXPECT_STREQ(Entry(0).destName, "");
  EXPECT_STREQ(Entry(1).destName, "main.exe");
  EXPECT_STREQ(Entry(2).sourceName, "data\\stage.da_");
  EXPECT_STREQ(Entry(2).destName, "data\\stage.dat");
  EXPECT_EQ(Disks(3), (std::vector<int>{2, 3}));
  EXPECT_STREQ(Entry(3).destName, "movie.dat");

  UpdateScriptIterator it(*script);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(it.Next(), script->entries[i]);
  EXPECT_EQ(it.Next(), nullptr);
  EXPECT_EQ(it.Next(), nullptr);
}

TEST_F(ScriptTest, EmptyLinesAndCommentsLoadNothing) {
  EXPECT_EQ(Load(""), "");
  EXPECT_EQ(script->entryCount, 0);
  EXPECT_EQ(Load("\n\r\n; comment\n;\n"), "");
  EXPECT_EQ(script->entryCount, 0);
  EXPECT_EQ(script->appName, nullptr);
  EXPECT_EQ(script->registryName, nullptr);
  EXPECT_EQ(script->kitValueName, nullptr);
  EXPECT_EQ(script->mode, 0);
}

TEST_F(ScriptTest, KeyLines) {
  EXPECT_EQ(Load("appname = Sample \n"), "");
  EXPECT_STREQ(script->appName, "Sample");
  EXPECT_EQ(Load("APPNAME= \n"), "");
  EXPECT_STREQ(script->appName, "");
  EXPECT_EQ(Load("APPNAME=A=B\n"), "");
  EXPECT_STREQ(script->appName, "A");
  EXPECT_EQ(Load("APPNAME==A\n"), "");
  EXPECT_STREQ(script->appName, "A");
  EXPECT_EQ(Load("APPNAME=first\nAPPNAME=second\n"), "");
  EXPECT_STREQ(script->appName, "second");
  EXPECT_EQ(Load("APPNAME=ゼファ ゲーム\nregistry=Zefa\ngarmoregistry=Kit\n"), "");
  EXPECT_STREQ(script->appName, "ゼファ ゲーム");
  EXPECT_STREQ(script->registryName, "Zefa");
  EXPECT_STREQ(script->kitValueName, "Kit");
}

TEST_F(ScriptTest, ModeIsNormalOnlyForNormal) {
  EXPECT_EQ(Load("MODE=normal\n"), "");
  EXPECT_EQ(script->mode, 0);
  EXPECT_EQ(Load("MODE=NORMAL2\n"), "");
  EXPECT_EQ(script->mode, 1);
  EXPECT_EQ(Load("MODE= \n"), "");
  EXPECT_EQ(script->mode, 1);
  EXPECT_EQ(Load("MODE=KIT\nMODE=Normal\n"), "");
  EXPECT_EQ(script->mode, 0);
}

TEST_F(ScriptTest, ScriptErrorsCarryTheirMessages) {
  struct Case {
    const char* line;
    const char* message;
  } cases[] = {
      {" \n", "ディスク番号が不正"},          {" ; comment\n", "ディスク番号が不正"},
      {"APPNAME=\n", "ディスク番号が不正"},   {"FOO=1\n", "情報ファイルがおかしい"},
      {" = \n", "情報ファイルがおかしい"},    {"1:a=b\n", "情報ファイルがおかしい"},
      {":a\n", "ディスク番号が不正"},         {"1:\n", "ディスク番号が不正"},
      {"1:a:b\n", "ディスク番号が不正"},      {"1:C:\\x\n", "ディスク番号が不正"},
      {"1+2:a\n", "ファイル分割の指定が不正"}, {"1+2:a>\n", "ファイル分割の指定が不正"},
      {"a:b:c>d\n", "ディスク番号が不正"},     // the ':' split comes first
  };
  for (const Case& c : cases) EXPECT_EQ(Load(c.line), c.message) << c.line;
}

TEST_F(ScriptTest, EntryLines) {
  ASSERT_EQ(Load(" 1 : a b \n"
                 "1::a\n"
                 "1:a=\n"
                 "1:a>C:\\x\n"
                 "1:a>\n"
                 "1:a> \n"
                 "1+2:a> \n"
                 "1+2:a>b\n"
                 "1:a>b>c\n"
                 "1 + 2:a>b\n"
                 "1x+2:a>b\n"
                 "+:a>b\n"
                 "0:a\n"),
            "");
  ASSERT_EQ(script->entryCount, 13);
  EXPECT_EQ(Disks(0), std::vector<int>{1});
  EXPECT_STREQ(Entry(0).sourceName, "a b");
  EXPECT_STREQ(Entry(1).sourceName, "a");
  EXPECT_STREQ(Entry(2).sourceName, "a=");
  EXPECT_STREQ(Entry(3).destName, "C:\\x");
  EXPECT_STREQ(Entry(4).destName, "");
  EXPECT_STREQ(Entry(5).destName, "");
  EXPECT_EQ(Disks(6), (std::vector<int>{1, 2}));
  EXPECT_STREQ(Entry(6).destName, "");
  EXPECT_EQ(Disks(7), (std::vector<int>{1, 2}));
  EXPECT_STREQ(Entry(7).destName, "b");
  EXPECT_STREQ(Entry(8).destName, "b");
  EXPECT_EQ(Disks(9), std::vector<int>{1});
  EXPECT_EQ(Disks(10), std::vector<int>{1});
  EXPECT_EQ(Disks(11), (std::vector<int>{0, 0}));
  EXPECT_EQ(Disks(12), std::vector<int>{0});
}

TEST_F(ScriptTest, DiskListsHoldAtMost19Numbers) {
  std::string list = "1";
  for (int i = 2; i <= 19; ++i) list += "+" + std::to_string(i);
  ASSERT_EQ(Load(list + ":a>b\n"), "");
  EXPECT_EQ(Entry(0).diskCount, 19);
  EXPECT_EQ(Entry(0).disks[18], 19);
  EXPECT_EQ(Load(list + "+20:a>b\n"), "ディスク分割が多すぎる");
  EXPECT_EQ(Load(list + "+:a>b\n"), "ディスク分割が多すぎる");
}

TEST_F(ScriptTest, DiskNumbersWrapModulo2To32) {
  ASSERT_EQ(Load("4294967297:a\n2147483648:b\n99999999999999999999:c\n"), "");
  EXPECT_EQ(Entry(0).disks[0], 1);
  EXPECT_EQ(Entry(1).disks[0], -2147483647 - 1);
  EXPECT_EQ(Entry(2).disks[0], 1661992959);
}

TEST_F(ScriptTest, At512EntriesTheNextEntryLineFailsWhateverItHolds) {
  std::string content;
  for (int i = 0; i < 512; ++i) content += "1:f" + std::to_string(i) + "\n";
  ASSERT_EQ(Load(content + "; still fine\nAPPNAME=late\n"), "");
  EXPECT_EQ(script->entryCount, 512);
  EXPECT_STREQ(script->appName, "late");
  EXPECT_STREQ(Entry(511).sourceName, "f511");
  EXPECT_EQ(Load(content + "1:one more\n"), "ファイルが多すぎる");
  EXPECT_EQ(Load(content + "malformed\n"), "ファイルが多すぎる");
  EXPECT_EQ(script->entryCount, 512);
}

TEST_F(ScriptTest, LineLengthsAndLineEnds) {
  std::string name259 = "1:" + std::string(257, 'n');
  ASSERT_EQ(Load(name259 + "\n" + name259 + "\r\n"), "");
  ASSERT_EQ(script->entryCount, 2);
  EXPECT_EQ(std::string(Entry(1).sourceName), std::string(257, 'n'));
  // A text of 260 bytes is two lines; the second is its last byte alone.
  EXPECT_EQ(Load("1:" + std::string(258, 'n') + "\n"), "ディスク番号が不正");
  ASSERT_EQ(Load("APPNAME=" + std::string(251, 'a') + "1:x\n"), "");
  EXPECT_EQ(std::string(script->appName), std::string(251, 'a'));
  ASSERT_EQ(script->entryCount, 1);
  EXPECT_STREQ(Entry(0).sourceName, "x");
}

TEST_F(ScriptTest, CarriageReturnsZeroBytesAndTheLastLine) {
  static const char kText[] = "APPNAME=a\rb\r\r\n1:x\0garbage\n1:last";
  ASSERT_EQ(Load(std::string(kText, sizeof kText - 1)), "");
  EXPECT_STREQ(script->appName, "a\rb");
  ASSERT_EQ(script->entryCount, 2);
  EXPECT_STREQ(Entry(0).sourceName, "x");
  EXPECT_STREQ(Entry(1).sourceName, "last");
}

TEST_F(ScriptTest, ParentFoldersAreRefused) {
  for (const char* line : {"1:..\\x\n", "1:a>..\\..\\Windows\\x.dll\n", "1:a>sub/../../x\n", "1+2:a>...\\x\n"})
    EXPECT_EQ(Load(line), "情報ファイルがおかしい") << line;
  EXPECT_EQ(Load("1:a..b>c..d\n"), "");
}

TEST_F(ScriptTest, WhatWasReadBeforeAnErrorStays) {
  EXPECT_EQ(Load("APPNAME=kept\n1:a\nbad line\n1:b\n"), "ディスク番号が不正");
  EXPECT_STREQ(script->appName, "kept");
  EXPECT_EQ(script->entryCount, 1);
}

TEST_F(ScriptTest, AMissingScriptNamesItsFullPath) {
  UpdateScript s;
  try {
    s.Load("Orbane.fix");
    FAIL();
  } catch (File::ExceptOpen& e) {
    EXPECT_EQ(std::string(e.message), "ファイル'" + box.Win("Orbane.fix") + "'をオープンできません");
  }
}

// Injected through the POSIX layer's system call table: POSIX build only.
#ifndef _WIN32
TEST_F(ScriptTest, AReadFailureIsAnErrorNotTheEndOfTheScript) {
  box.Write("Orbane.fix", "1:a\n");
  SyscallFaults faults;
  faults.sys().read = FailRead<EIO>;
  UpdateScript s;
  try {
    s.Load("Orbane.fix");
    FAIL() << "the script seemed complete";
  } catch (File::ExceptRead& e) {
    EXPECT_EQ(std::string(e.message), "ファイル'" + box.Win("Orbane.fix") + "'を読み込めません");
  }
}

// The first read delivers 4 bytes, the next one fails: the block is lost, not
// a short script.
int readsSoFar = 0;
ssize_t FourBytesThenEio(int fd, void* buf, size_t n) {
  if (readsSoFar++ == 0) return posix::RealSyscalls().read(fd, buf, n < 4 ? n : 4);
  errno = EIO;
  return -1;
}

TEST_F(ScriptTest, AReadThatFailsAfterPartOfABlockIsAnError) {
  box.Write("Orbane.fix", "1:a\n1:b\n1:c\n");
  SyscallFaults faults;
  readsSoFar = 0;
  faults.sys().read = FourBytesThenEio;
  UpdateScript s;
  try {
    s.Load("Orbane.fix");
    FAIL() << "the script seemed complete with " << s.entryCount << " entries";
  } catch (File::ExceptRead& e) {
    EXPECT_EQ(std::string(e.message), "ファイル'" + box.Win("Orbane.fix") + "'を読み込めません");
  }
  EXPECT_EQ(readsSoFar, 2);
}
#endif

}  // namespace
