// GetTempPathA on the POSIX layer: the host's temporary directory in its
// Windows form.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win32.h"
#include "support/sandbox.h"
#include "support/scoped_env.h"

namespace {

class TempPath : public ::testing::Test {
 protected:
  std::string Get() {
    char buf[MAX_PATH];
    DWORD n = GetTempPathA(sizeof buf, buf);
    EXPECT_LT(n, sizeof buf);
    EXPECT_EQ(n, std::strlen(buf));
    return buf;
  }
  Sandbox box;
  ScopedEnv tmp{"TMP", nullptr}, temp{"TEMP", nullptr}, tmpdir{"TMPDIR", nullptr};
};

TEST_F(TempPath, TmpComesBeforeTempAndTmpdir) {
  EXPECT_EQ(Get(), "Z:\\tmp\\");
  ScopedEnv third("TMPDIR", box.Host("c"));
  EXPECT_EQ(Get(), "C:\\c\\");
  ScopedEnv second("TEMP", box.Host("b"));
  EXPECT_EQ(Get(), "C:\\b\\");
  ScopedEnv first("TMP", box.Host("a"));
  EXPECT_EQ(Get(), "C:\\a\\");
  ScopedEnv empty("TMP", "");  // an empty variable counts as unset
  EXPECT_EQ(Get(), "C:\\b\\");
}

TEST_F(TempPath, EndsInOneBackslashOfItsOwn) {
  ScopedEnv root("TMP", box.Host(""));
  EXPECT_EQ(Get(), "C:\\");
  box.MakeDir("ソ");  // ends in the byte 0x5C, which is no separator
  ScopedEnv so("TMP", box.Host("ソ"));
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
