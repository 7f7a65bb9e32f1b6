// The LZ expansion library held to what Wine's conformance tests expect of
// Windows: dlls/lz32/tests/lzexpand_main.c of wine-mirror/wine, commit
// 02baf6c630b4df83de65c6e7a2d820a8c64305ce. Each case names the line
// (lzexpand_main.c:N) whose expectation it checks; where Windows 9x answers
// otherwise, the NT answer is the one held, as the layer plays NT. Names are
// relative to the current folder, as in Wine's test, which is the root of
// the sandbox's drive C: here.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/posix/files/handles.h"
#include "platform/win32.h"
#include "support/current_directory.h"
#include "support/registry_fixture.h"
#include "support/sandbox.h"

namespace {

class LzConformance : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(posix::OpenFileCount(), 0u) << "a handle was left open"; }

  INT Open(const std::string& name, WORD style) {
    std::string writable = name;
    return LZOpenFileA(&writable[0], &info, style);
  }
  // create_file(): makes name, empty, through the library.
  void Create(const std::string& name) {
    OFSTRUCT ofs;
    std::string writable = name;
    INT file = LZOpenFileA(&writable[0], &ofs, OF_CREATE);
    EXPECT_GE(file, 0) << name;  // lzexpand_main.c:98
    LZClose(file);
    EXPECT_NE(GetFileAttributesA(name.c_str()), INVALID_FILE_ATTRIBUTES) << name;  // lzexpand_main.c:101
  }

  Sandbox box;
  CurrentDirectory cwd{box.Host()};
  OFSTRUCT info;
};

TEST_F(LzConformance, OpeningStyles) {
  SetLastError(0xfaceabee);
  EXPECT_EQ(Open("badfilename_", OF_READ), LZERROR_BADINHANDLE);  // lzexpand_main.c:331
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));         // lzexpand_main.c:333

  INT file = Open("testfile.xx_", OF_CREATE);
  EXPECT_GE(file, 0);  // lzexpand_main.c:339
  LZClose(file);
  EXPECT_NE(GetFileAttributesA("testfile.xx_"), INVALID_FILE_ATTRIBUTES);  // lzexpand_main.c:342
  struct {
    WORD style;
    int line;
  } const styles[] = {{OF_READ, 347}, {OF_WRITE, 350}, {OF_READWRITE, 353}, {OF_EXIST, 356}};
  for (const auto& s : styles) {
    file = Open("testfile.xx_", s.style);
    EXPECT_GE(file, 0) << "lzexpand_main.c:" << s.line;
    LZClose(file);
  }
}

// A name that is not there is found as its compressed name: "testfile.xxx"
// as "testfile.xx_", a name without an extension with "._" added, one with
// an empty extension with "_" added; a name ending in '_' is only itself.
struct Naming {
  const char* asked;
  const char* found;
  int line;  // of the check of the handle, or of the branch that success takes
};
const Naming kNames[] = {{"testfile.xxx", "testfile.xx_", 141},
                         {"dotless", "dotless._", 166},
                         {"extless.", "extless._", 193},
                         {"_terminated.xxxx_", "_terminated.xxxx_", 219}};

TEST_F(LzConformance, AnExistenceTestFindsTheCompressedNameAndGivesItsFullPath) {
  for (const Naming& n : kNames) Create(n.found);
  for (const Naming& n : kNames) {
    std::memset(&info, 0xA5, sizeof info);
    INT file = Open(n.asked, OF_EXIST);
    EXPECT_GE(file, 0) << "lzexpand_main.c:" << n.line;  // NT's branch; Windows 9x does not look again
    int first = n.line + 1;                              // the record's checks follow
    EXPECT_EQ(info.cBytes, sizeof(OFSTRUCT)) << "lzexpand_main.c:" << first;
    EXPECT_EQ(info.nErrCode, 0) << "lzexpand_main.c:" << first + 2;
    EXPECT_EQ(std::string(info.szPathName), box.Win(n.found)) << "lzexpand_main.c:" << first + 4;
    LZClose(file);
  }
}

TEST_F(LzConformance, AFailedExistenceTestLeavesTheRecordButTheErrorAndPath) {
  const int lines[] = {254, 272, 290, 308};  // of the handle; the record's checks follow at +3, +5 and +7
  for (size_t i = 0; i < 4; ++i) {
    const Naming& n = kNames[i];
    std::memset(&info, 0xA5, sizeof info);
    int line = lines[i];
    EXPECT_EQ(Open(n.asked, OF_EXIST), LZERROR_BADINHANDLE) << "lzexpand_main.c:" << line;
    EXPECT_EQ(info.cBytes, 0xA5) << "lzexpand_main.c:" << line + 3;
    EXPECT_EQ(info.nErrCode, ERROR_FILE_NOT_FOUND) << "lzexpand_main.c:" << line + 5;
    EXPECT_EQ(std::string(info.szPathName), box.Win(n.found)) << "lzexpand_main.c:" << line + 7;
  }
}

// The prefix's Windows version changes only what GetVersionExA says: on one
// that names Windows 98 the library still looks for the compressed name,
// where Windows 9x fails and leaves the record as it was (an expected
// difference, which these checks hold).
TEST_F(LzConformance, OnAPrefixOfWindows98TheLibraryAnswersAsNt) {
  RegistryFixture reg(box);
  reg.SetString(HKEY_CURRENT_USER, "Software\\Wine", "Version", "win98");
  Create("testfile.xx_");
  std::memset(&info, 0xA5, sizeof info);
  INT file = Open("testfile.xxx", OF_EXIST);
  EXPECT_GE(file, 0);                        // Windows 9x: LZERROR_BADINHANDLE (lzexpand_main.c:141)
  EXPECT_EQ(info.cBytes, sizeof(OFSTRUCT));  // lzexpand_main.c:151 expects 0xA5 of 9x
  EXPECT_EQ(info.nErrCode, 0);               // lzexpand_main.c:153 expects ERROR_FILE_NOT_FOUND of 9x
  EXPECT_NE(static_cast<unsigned char>(info.szPathName[0]), 0xA5);  // lzexpand_main.c:155 expects it untouched
  LZClose(file);
}

// The file COMPRESS.EXE makes of the text "This is a test file.", the one
// Wine's test expands.
const unsigned char kCompressed[] = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33, 0x41, 0x74, 0x75, 0x14,
                                     0x00, 0x00, 0xDF, 0x54, 0x68, 0x69, 0x73, 0x20, 0xF2, 0xF0, 0x61, 0x20,
                                     0xFF, 0x74, 0x65, 0x73, 0x74, 0x20, 0x66, 0x69, 0x6C, 0x03, 0x65, 0x2E};
const char kText[] = "This is a test file.";

TEST_F(LzConformance, CopyExpandsACompressedFile) {
  box.Write("testfile.xx_", std::string(reinterpret_cast<const char*>(kCompressed), sizeof kCompressed));
  OFSTRUCT destInfo;
  INT source = Open("testfile.xx_", OF_READ);
  EXPECT_GT(source, 0);  // lzexpand_main.c:389, 428
  std::string destName = "testfile.yyy";
  INT dest = LZOpenFileA(&destName[0], &destInfo, OF_CREATE);
  EXPECT_GE(dest, 0);                  // lzexpand_main.c:430
  EXPECT_GT(LZCopy(source, dest), 0);  // lzexpand_main.c:433
  LZClose(source);
  LZClose(dest);
  EXPECT_EQ(box.Read("testfile.yyy"), kText);  // lzexpand_main.c:444, 446
}

}  // namespace
