// The update job's construction and the installation locator, on registry
// keys made for each test.
#include "engine/update_job.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/exception.h"
#include "foundation/text.h"
#include "support/registry_fixture.h"
#include "support/sandbox.h"
#include "support/scoped_env.h"
#ifndef _WIN32
#include "support/syscall_faults.h"
#endif

namespace {

const char kMakerKey[] = "SOFTWARE\\ZEFA\\Sample";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample";

class LocatorTest : public ::testing::Test {
 protected:
  LocatorTest() {
    box.MakeDir("Game");
    box.MakeDir("Game\\Data");
  }
  void Script(const char* registryName, const char* kitValueName, int mode) {
    delete[] script.registryName;
    delete[] script.kitValueName;
    script.registryName = DupString(registryName);
    script.kitValueName = DupString(kitValueName);
    script.mode = mode;
  }
  void Install(const std::string& uninstallString) {
    reg.SetString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", uninstallString);
  }
  void Kit(DWORD value) { reg.SetDword(HKEY_CURRENT_USER, kMakerKey, "Garmo", value); }
  // Where the file behind root was opened, it was read.
  void ExpectUnread(HKEY root) {
    if (RegistryFixture::CanCountReads()) {
      EXPECT_EQ(reg.Reads(root), 0);
    }
  }

  Sandbox box;
  // The job asks for the temporary folder, which the layer would otherwise
  // take from the user's registry: the counts of reads are the locator's.
  ScopedEnv tmp{"TMP", box.Host("temp")};
  RegistryFixture reg{box};
  UpdateScript script;
};

// ---- the expansion kit's mark, row by row --------------------------------

TEST_F(LocatorTest, WithoutAKitValueTheMakerKeyIsNeverRead) {
  Install("C:\\Game\\uninst.exe *" + box.Win("Game\\uninst.log"));
  Kit(1);
  for (int mode : {0, 1}) {
    Script("Sample", nullptr, mode);
    UpdateJob job(&script);
    EXPECT_EQ(job.Locate(), 1) << mode;
    EXPECT_EQ(job.installDir, box.Win("Game"));
    EXPECT_EQ(job.refused, 0);
  }
  ExpectUnread(HKEY_CURRENT_USER);
}

TEST_F(LocatorTest, AnUnreadableMarkLetsTheBaseUpdateGoOn) {
  Install("*" + box.Win("Game\\uninst.log"));
  Script("Sample", "Garmo", 0);
  UpdateJob missingKey(&script);
  EXPECT_EQ(missingKey.Locate(), 1);
  reg.SetDword(HKEY_CURRENT_USER, kMakerKey, "Other", 1);  // the key without the value
  UpdateJob missingValue(&script);
  EXPECT_EQ(missingValue.Locate(), 1);
  reg.SetData(HKEY_CURRENT_USER, kMakerKey, "Garmo", REG_BINARY, std::string("\x01\0\0\0\0", 5));
  UpdateJob longValue(&script);
  EXPECT_EQ(longValue.Locate(), 1);
  EXPECT_EQ(longValue.refused, 0);
}

TEST_F(LocatorTest, AnUnreadableMarkStopsAnyOtherUpdateBeforeTheUninstallKey) {
  Install("*" + box.Win("Game\\uninst.log"));
  Script("Sample", "Garmo", 1);
  UpdateJob job(&script);
  EXPECT_EQ(job.Locate(), 0);
  EXPECT_EQ(job.refused, 0);
  EXPECT_STREQ(job.installDir, "");
  ExpectUnread(HKEY_LOCAL_MACHINE);
}

TEST_F(LocatorTest, TheKitRefusesTheBaseUpdateBeforeTheUninstallKey) {
  Install("*" + box.Win("Game\\uninst.log"));
  Kit(1);
  Script("Sample", "Garmo", 0);
  UpdateJob job(&script);
  EXPECT_EQ(job.Locate(), 0);
  EXPECT_EQ(job.refused, 1);
  ExpectUnread(HKEY_LOCAL_MACHINE);
  reg.SetData(HKEY_CURRENT_USER, kMakerKey, "Garmo", REG_BINARY, std::string(1, '\x01'));  // one byte is 1 as well
  UpdateJob oneByte(&script);
  EXPECT_EQ(oneByte.Locate(), 0);
  EXPECT_EQ(oneByte.refused, 1);
}

TEST_F(LocatorTest, TheKitDoesNotStopAnUpdateForTheKit) {
  Install("*" + box.Win("Game\\uninst.log"));
  Kit(1);
  Script("Sample", "Garmo", 1);
  UpdateJob job(&script);
  EXPECT_EQ(job.Locate(), 1);
  EXPECT_EQ(job.refused, 0);
}

TEST_F(LocatorTest, OnlyTheNumberOneIsTheMark) {
  Install("*" + box.Win("Game\\uninst.log"));
  for (DWORD value : {0u, 2u, 0x101u}) {
    Kit(value);
    for (int mode : {0, 1}) {
      UpdateScript s;
      s.registryName = DupString("Sample");
      s.kitValueName = DupString("Garmo");
      s.mode = mode;
      UpdateJob job(&s);
      EXPECT_EQ(job.Locate(), 1) << value << " mode " << mode;
      EXPECT_EQ(job.refused, 0);
    }
  }
  reg.SetString(HKEY_CURRENT_USER, kMakerKey, "Garmo", "1");  // the text 1 reads as 49
  Script("Sample", "Garmo", 0);
  UpdateJob text(&script);
  EXPECT_EQ(text.Locate(), 1);
}

// ---- the uninstall command ------------------------------------------------

TEST_F(LocatorTest, TheDirectoryIsWhatPrecedesTheLastBackslashAfterTheFirstStar) {
  Script("Sample", nullptr, 0);
  Install("C:\\x\\uninst.exe *" + box.Win("Game\\Data\\uninst.log"));
  UpdateJob job(&script);
  EXPECT_EQ(job.Locate(), 1);
  EXPECT_EQ(job.installDir, box.Win("Game\\Data"));  // no trailing backslash

  Install("uninst.exe *" + box.Win("Game\\*x.log"));  // the second '*' stays in the path
  UpdateJob twoStars(&script);
  EXPECT_EQ(twoStars.Locate(), 1);
  EXPECT_EQ(twoStars.installDir, box.Win("Game"));
}

TEST_F(LocatorTest, AJapaneseDirectoryIsFoundThroughItsTrailBytes) {
  box.MakeDir("ゲーム");
  box.MakeDir("ゲーム\\表");  // 表 ends in the byte 0x5C
  Script("Sample", nullptr, 0);
  Install("*" + box.Win("ゲーム\\表\\uninst.log"));
  UpdateJob job(&script);
  EXPECT_EQ(job.Locate(), 1);
  EXPECT_EQ(job.installDir, box.Win("ゲーム\\表"));
}

TEST_F(LocatorTest, AnythingButAnExistingDirectoryIsNotSetUp) {
  box.Write("Game\\file", "x");
  Script("Sample", nullptr, 0);
  UpdateJob noKey(&script);
  EXPECT_EQ(noKey.Locate(), 0);
  for (const std::string& command : {box.Win("Game\\uninst.log"),              // no '*'
                                     "*" + box.Win("Game\\file\\uninst.log"),  // a file
                                     "*" + box.Win("Missing\\uninst.log"),     // nothing
                                     std::string("*uninst.log")}) {            // no directory at all
    Install(command);
    UpdateJob job(&script);
    EXPECT_EQ(job.Locate(), 0) << command;
    EXPECT_EQ(job.refused, 0);
    EXPECT_STREQ(job.installDir, "");
  }
}

TEST_F(LocatorTest, TheCommandMustFitItsBufferWithItsZero) {
  Script("Sample", nullptr, 0);
  std::string prefix = "*" + box.Win("Game\\");
  Install(prefix + std::string(259 - prefix.size(), 'n'));
  UpdateJob fits(&script);
  EXPECT_EQ(fits.Locate(), 1);
  Install(prefix + std::string(260 - prefix.size(), 'n'));
  UpdateJob tooLong(&script);
  EXPECT_EQ(tooLong.Locate(), 0);
}

TEST_F(LocatorTest, ACommandStoredWithoutItsZeroIsReadOnlyToItsEnd) {
  Script("Sample", nullptr, 0);
  std::string command = "*" + box.Win("Game\\uninst.log");
  reg.SetData(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", REG_SZ, command);
  UpdateJob job(&script);
  EXPECT_EQ(job.Locate(), 1);
  EXPECT_EQ(job.installDir, box.Win("Game"));
  // Data that fills the whole buffer without a zero could only be read past it.
  reg.SetData(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", REG_SZ,
              command + std::string(260 - command.size(), 'n'));
  UpdateJob full(&script);
  EXPECT_EQ(full.Locate(), 0);
}

#ifndef _WIN32
// A key whose open is refused (access denied) is one that cannot be read: the
// maker's key stops only an update that is not NORMAL, the uninstall key
// leaves the product not set up.
TEST_F(LocatorTest, ARefusedKeyIsAnUnreadableOne) {
  Install("C:\\Game\\uninst.exe *" + box.Win("Game\\uninst.log"));
  Kit(1);
  {
    RefusedFile refused("/user.reg");
    for (int mode : {0, 1}) {
      Script("Sample", "Garmo", mode);
      UpdateJob job(&script);
      EXPECT_EQ(job.Locate(), mode == 0 ? 1 : 0) << mode;
      EXPECT_EQ(job.refused, 0) << mode;
      if (mode == 0) {
        EXPECT_EQ(job.installDir, box.Win("Game"));
      }
    }
  }
  {
    RefusedFile refused("/system.reg");
    Script("Sample", nullptr, 0);
    UpdateJob job(&script);
    EXPECT_EQ(job.Locate(), 0);
    EXPECT_EQ(job.refused, 0);
  }
}
#endif

// ---- the registry name ------------------------------------------------------

TEST_F(LocatorTest, AMissingOrEmptyNameIsNotSetUpAndReadsNothing) {
  Install("*" + box.Win("Game\\uninst.log"));
  reg.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "UninstallString",
                "*" + box.Win("Game\\uninst.log"));
  Kit(1);
  for (const char* name : {static_cast<const char*>(nullptr), ""}) {
    for (int mode : {0, 1}) {
      UpdateScript s;
      s.registryName = DupString(name);
      s.kitValueName = DupString("Garmo");
      s.mode = mode;
      UpdateJob job(&s);
      EXPECT_EQ(job.Locate(), 0);
      EXPECT_EQ(job.refused, 0);
    }
  }
  ExpectUnread(HKEY_CURRENT_USER);
  ExpectUnread(HKEY_LOCAL_MACHINE);
}

TEST_F(LocatorTest, ANameTooLongForTheKeyPathIsNeverCutToAnotherProduct) {
  // The uninstall key path has room for 207 bytes of name.
  std::string fits(207, 'p');
  std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + fits;
  reg.SetString(HKEY_LOCAL_MACHINE, key, "UninstallString", "*" + box.Win("Game\\uninst.log"));
  Script(fits.c_str(), nullptr, 0);
  UpdateJob located(&script);
  EXPECT_EQ(located.Locate(), 1);

  UpdateScript longer;
  longer.registryName = DupString((fits + "X").c_str());  // cut at 259 bytes it would be the name above
  UpdateJob job(&longer);
  EXPECT_EQ(job.Locate(), 0);
  EXPECT_EQ(job.refused, 0);
}

// ---- construction and the attribute tests ----------------------------------

TEST_F(LocatorTest, TheJobStartsEmptyWithTheTemporaryDirectory) {
  box.MakeDir("Temp");
  ScopedEnv otherTmp("TMP", box.Host("Temp"));
  UpdateJob job(&script);
  EXPECT_EQ(job.tempDir, box.Win("Temp\\"));
  EXPECT_STREQ(job.installDir, "");
  EXPECT_EQ(job.refused, 0);
  EXPECT_EQ(job.script, &script);
}

TEST_F(LocatorTest, ATemporaryPathThatDoesNotFitIsNotFound) {
  // The temporary directory is taken as named, whether it exists or not.
  std::string deep = std::string(120, 'd') + "\\" + std::string(120, 'e') + "\\" + std::string(30, 'f');
  ScopedEnv otherTmp("TMP", box.Host(deep));
  try {
    UpdateJob job(&script);
    FAIL() << "took " << job.tempDir;
  } catch (Exception& e) {
    EXPECT_STREQ(e.message, "テンポラリディレクトリがみつかりません");
  }
}

TEST_F(LocatorTest, FilesAndDirectoriesExistOnlyDirectoriesAreDirectories) {
  box.Write("file", "x");
  EXPECT_EQ(FileExists(box.Win("file").c_str()), 1);
  EXPECT_EQ(FileExists(box.Win("Game").c_str()), 1);
  EXPECT_EQ(FileExists(box.Win("none").c_str()), 0);
  EXPECT_EQ(IsDirectory(box.Win("Game").c_str()), 1);
  EXPECT_EQ(IsDirectory(box.Win("file").c_str()), 0);
  EXPECT_EQ(IsDirectory(box.Win("none").c_str()), 0);
}

}  // namespace
