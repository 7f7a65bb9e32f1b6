// GetTempPathA on the POSIX layer: the folder that TMP or TEMP names, else
// the prefix user's own temporary folder, never the host's shared one.
#include <gtest/gtest.h>

#include <errno.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/win32.h"
#include "support/registry_fixture.h"
#include "support/sandbox.h"
#include "support/scoped_env.h"
#include "support/syscall_faults.h"

namespace {

const char kProfileList[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000";

std::string Expandable(const std::string& text) { return text + std::string(1, '\0'); }

class TempPath : public ::testing::Test {
 protected:
  std::string Get() {
    char buf[MAX_PATH];
    DWORD n = GetTempPathA(sizeof buf, buf);
    EXPECT_LT(n, sizeof buf);
    EXPECT_EQ(n, std::strlen(buf));
    return buf;
  }
  mode_t Mode(const std::string& rel) {
    struct stat st;
    return stat(box.Host(rel).c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }
  void Profile(const std::string& path) {
    reg.SetString(HKEY_LOCAL_MACHINE, kProfileList, "ProfileImagePath", path);
  }
  Sandbox box;
  RegistryFixture reg{box};
  ScopedEnv tmp{"TMP", nullptr}, temp{"TEMP", nullptr}, tmpdir{"TMPDIR", nullptr};
};

TEST_F(TempPath, TmpComesBeforeTempAndTmpdirCountsNoLonger) {
  Profile("C:\\users\\tester");
  ScopedEnv third("TMPDIR", box.Host("c"));
  EXPECT_EQ(Get(), "C:\\users\\tester\\Temp\\");
  ScopedEnv second("TEMP", box.Host("b"));
  EXPECT_EQ(Get(), "C:\\b\\");
  ScopedEnv first("TMP", box.Host("a"));
  EXPECT_EQ(Get(), "C:\\a\\");
  ScopedEnv empty("TMP", "");  // an empty variable counts as unset
  EXPECT_EQ(Get(), "C:\\b\\");
  ScopedEnv outside("TMP", "/tmp");  // who names the shared folder gets it
  EXPECT_EQ(Get(), "Z:\\tmp\\");
}

// As Wine writes a new prefix: the user's TEMP and TMP are %USERPROFILE%\Temp,
// and the profile is the one the machine lists for Wine's user.
TEST_F(TempPath, ByDefaultTheUsersTempFolderInThePrefixMadeForTheUserAlone) {
  Profile("C:\\users\\tester");
  reg.SetData(HKEY_CURRENT_USER, "Environment", "TEMP", REG_EXPAND_SZ, Expandable("%USERPROFILE%\\Temp"));
  EXPECT_EQ(Get(), "C:\\users\\tester\\Temp\\");
  EXPECT_EQ(Mode("users"), 0700u);
  EXPECT_EQ(Mode("users/tester/Temp"), 0700u);
  EXPECT_EQ(Get(), "C:\\users\\tester\\Temp\\");  // found the second time
  // A folder that is there keeps the mode it has.
  chmod(box.Host("users/tester/Temp").c_str(), 0750);
  EXPECT_EQ(Get(), "C:\\users\\tester\\Temp\\");
  EXPECT_EQ(Mode("users/tester/Temp"), 0750u);
}

TEST_F(TempPath, TheUsersTmpComesBeforeTheirTempAndBothMayNameAnyFolder) {
  reg.SetString(HKEY_CURRENT_USER, "Environment", "TEMP", "C:\\Temp B");
  EXPECT_EQ(Get(), "C:\\Temp B\\");
  EXPECT_EQ(Mode("Temp B"), 0700u);
  reg.SetData(HKEY_CURRENT_USER, "Environment", "TMP", REG_EXPAND_SZ,
              Expandable("%SystemDrive%\\%Work%\\%windir:~0%"));  // a name nobody gives
  EXPECT_EQ(Get(), "C:\\Temp B\\");
  reg.SetString(HKEY_CURRENT_USER, "Environment", "Work", "Work");
  reg.SetData(HKEY_CURRENT_USER, "Environment", "TMP", REG_EXPAND_SZ, Expandable("%SystemDrive%\\%Work%\\Temp"));
  EXPECT_EQ(Get(), "C:\\Work\\Temp\\");
}

TEST_F(TempPath, WithoutAnyEntryTheProfileOfTheHostUserAsWineMakesIt) {
  struct passwd* pw = getpwuid(getuid());
  ASSERT_NE(pw, nullptr);
  std::string expected = std::string("C:\\users\\") + pw->pw_name + "\\Temp\\";
  EXPECT_EQ(Get(), expected);
  EXPECT_EQ(Mode(std::string("users/") + pw->pw_name + "/Temp"), 0700u);
  // A profile path that cannot be expanded is not taken either.
  reg.SetData(HKEY_LOCAL_MACHINE, kProfileList, "ProfileImagePath", REG_EXPAND_SZ,
              Expandable("%USERPROFILE%\\again"));
  EXPECT_EQ(Get(), expected);
}

TEST_F(TempPath, AFolderThatCannotBeMadeIsAFailure) {
  Profile("C:\\users\\tester");
  box.Write("users", "a file in the way");
  char buf[MAX_PATH] = "untouched";
  SetLastError(0);
  EXPECT_EQ(GetTempPathA(sizeof buf, buf), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_STREQ(buf, "untouched");

  remove(box.Host("users").c_str());
  {
    SyscallFaults faults;
    faults.sys().mkdir = [](const char*, mode_t) { return errno = EACCES, -1; };
    EXPECT_EQ(GetTempPathA(sizeof buf, buf), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  EXPECT_FALSE(box.Exists("users"));
}

TEST_F(TempPath, EndsInOneBackslashOfItsOwn) {
  ScopedEnv root("TMP", box.Host(""));
  EXPECT_EQ(Get(), "C:\\");
  box.MakeDir("ソ");  // ends in the byte 0x5C, which is no separator
  ScopedEnv so("TMP", box.Host("ソ"));
  EXPECT_EQ(Get(), "C:\\ソ\\");
  ScopedEnv none("TMP", nullptr);
  reg.SetString(HKEY_CURRENT_USER, "Environment", "TMP", "C:\\ソ\\");
  EXPECT_EQ(Get(), "C:\\ソ\\");
}

TEST_F(TempPath, TooSmallABufferGetsTheSizeNeededAndNothingElse) {
  ScopedEnv a("TMP", box.Host("abcd"));  // C:\abcd\ is 8 bytes
  char buf[16];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(GetTempPathA(8, buf), 9u);
  EXPECT_EQ(buf[0], 'x');
  EXPECT_EQ(GetTempPathA(9, buf), 8u);
  EXPECT_STREQ(buf, "C:\\abcd\\");
}

TEST_F(TempPath, ANameThatCp932CannotWriteIsAFailure) {
  ScopedEnv a("TMP", box.Host("") + u8"/caf\u00e9");
  char buf[MAX_PATH];
  EXPECT_EQ(GetTempPathA(sizeof buf, buf), 0u);
}

}  // namespace
