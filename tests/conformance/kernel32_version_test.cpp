// GetVersionExA held to what Wine's conformance tests expect of Windows:
// dlls/kernel32/tests/version.c of wine-mirror/wine, commit
// 004d32dae6cbb419e926fb9c6ad410d17b68f56c. Each case names the line
// (version.c:N) whose expectation it checks: the NT answer on a prefix of
// Windows 7, the 9x answer on one that names win98.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32.h"
#include "support/registry_fixture.h"
#include "support/sandbox.h"

namespace {

struct Size {
  DWORD size;
  int line;  // of the check of the result; the error's follows
};
const Size kWrongSizes[] = {{0, 118}, {sizeof(OSVERSIONINFOA) / 2, 127}, {sizeof(OSVERSIONINFOA) * 2, 136}};

void CheckVersionSizes(DWORD wrongSizeError) {
  OSVERSIONINFOA info;
  for (const Size& s : kWrongSizes) {
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = s.size;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetVersionExA(&info)) << "version.c:" << s.line;
    EXPECT_EQ(GetLastError(), wrongSizeError) << "version.c:" << s.line + 1;
  }
  info.dwOSVersionInfoSize = sizeof info;
  SetLastError(0xdeadbeef);
  EXPECT_TRUE(GetVersionExA(&info));       // version.c:145
  EXPECT_EQ(GetLastError(), 0xdeadbeefu);  // version.c:146
}

TEST(VersionConformance, NtRefusesARecordOfAnotherSizeAndSaysWhy) {
  Sandbox box;
  CheckVersionSizes(ERROR_INSUFFICIENT_BUFFER);
}

TEST(VersionConformance, NineXRefusesItWithoutAWord) {
  Sandbox box;
  RegistryFixture reg(box);
  reg.SetString(HKEY_CURRENT_USER, "Software\\Wine", "Version", "win98");
  CheckVersionSizes(0xdeadbeef);
}

}  // namespace
