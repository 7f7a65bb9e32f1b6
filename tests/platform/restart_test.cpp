// Deletion at the next restart and the profile strings of WININIT.INI: the
// two ways a program removes itself once Windows starts again.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/posix/process/program_start.h"
#include "platform/win32.h"
#include "support/sandbox.h"
#include "support/scoped_env.h"

TEST(RestartDeletion, OnlyWhatWasRegisteredGoesAndOnlyAfterARestart) {
  Sandbox box;
  for (const char* name : {"old.bin", "new.bin", "other.bin"}) box.Write(name, "x");
  box.MakeDir("folder");
  {
    ScopedEnv boot("ZEFA_BOOT_ID", "first");
    ASSERT_TRUE(MoveFileExA(box.Win("old.bin").c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExA(box.Win("folder").c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    posix::CarryOutPendingDeletions();  // the same boot: nothing yet
    EXPECT_TRUE(box.Exists("old.bin"));
  }
  ScopedEnv boot("ZEFA_BOOT_ID", "second");
  ASSERT_TRUE(MoveFileExA(box.Win("new.bin").c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  posix::CarryOutPendingDeletions();
  EXPECT_FALSE(box.Exists("old.bin"));
  EXPECT_TRUE(box.Exists("new.bin"));  // registered in this boot: it waits for the next
  EXPECT_TRUE(box.Exists("other.bin"));
  EXPECT_TRUE(box.Exists("folder"));  // a folder is never deleted this way

  // Only the deletion at restart is provided.
  EXPECT_FALSE(MoveFileExA(box.Win("other.bin").c_str(), box.Win("moved.bin").c_str(), 0));
  EXPECT_FALSE(MoveFileExA(box.Win("other.bin").c_str(), nullptr, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  EXPECT_TRUE(box.Exists("other.bin"));
}

TEST(RestartDeletion, AFileRegisteredAgainInTheSameBootIsListedOnce) {
  Sandbox box;
  box.Write("copy.bin", "x");
  box.Write("other.bin", "x");
  ScopedEnv boot("ZEFA_BOOT_ID", "first");
  for (int run = 0; run < 3; ++run)
    ASSERT_TRUE(MoveFileExA(box.Win("copy.bin").c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_TRUE(MoveFileExA(box.Win("other.bin").c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  std::ifstream in(box.Prefix() + "/pending-deletions");
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(in, line)) lines.push_back(line);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "first\t" + box.Host("copy.bin"));
  EXPECT_EQ(lines[1], "first\t" + box.Host("other.bin"));
  // Listed once, still deleted after the restart.
  ScopedEnv next("ZEFA_BOOT_ID", "second");
  posix::CarryOutPendingDeletions();
  EXPECT_FALSE(box.Exists("copy.bin"));
  EXPECT_FALSE(box.Exists("other.bin"));
}

TEST(ProfileStrings, CreateFileAndSectionAndReplaceAnExistingKey) {
  Sandbox box;
  std::string ini = box.Win("WININIT.INI");
  ASSERT_TRUE(WritePrivateProfileStringA("rename", "NUL", "C:\\TEMP\\A.BIN", ini.c_str()));
  EXPECT_EQ(box.Read("WININIT.INI"), "[rename]\r\nNUL=C:\\TEMP\\A.BIN\r\n");

  box.Write("WININIT.INI", "; kept\r\n[other]\r\nNUL=x\r\n[Rename]\r\nnul=C:\\OLD\r\nKEEP=1\r\n");
  ASSERT_TRUE(WritePrivateProfileStringA("rename", "NUL", "C:\\TEMP\\B.BIN", ini.c_str()));
  EXPECT_EQ(box.Read("WININIT.INI"), "; kept\r\n[other]\r\nNUL=x\r\n[Rename]\r\nnul=C:\\TEMP\\B.BIN\r\nKEEP=1\r\n");

  EXPECT_FALSE(WritePrivateProfileStringA("rename", "NUL", "x", box.Win("no\\such\\WININIT.INI").c_str()));
}
