// Wine's conformance cases for GetModuleFileNameA, from
// dlls/kernel32/tests/module.c of wine-mirror/wine at commit
// 51ccd95c49c2c61ad41960b25a01f834601d70c0 (Wine 9.22). Each check names the
// line whose expectation it holds the layer to. The layer knows one module,
// the program (a NULL handle); GetModuleHandleA, the W form and the loader
// are not served.
#include <cstring>
#include <string>

#include "conformance/file_services_fixture.h"

#define AT(line) "module.c:" #line

namespace {

using KernelModule = FileServices;

// testGetModuleFileName(NULL): the program's path, its length, and a buffer
// too small for it.
TEST_F(KernelModule, GetModuleFileNameA) {
  char bufA[MAX_PATH];
  std::memset(bufA, '-', sizeof bufA);
  SetLastError(0xdeadbeef);
  DWORD len1A = GetModuleFileNameA(nullptr, bufA, sizeof bufA);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS)) << AT(187);
  EXPECT_GT(len1A, 0u) << AT(190);
  EXPECT_EQ(len1A, std::strlen(bufA)) << AT(203);

  std::memset(bufA, '-', sizeof bufA);
  DWORD len2A = GetModuleFileNameA(nullptr, bufA, len1A / 2);
  EXPECT_GT(len2A, 0u) << AT(214);
  EXPECT_EQ(len2A, len1A / 2) << AT(225);

  std::string big(0x10000, '-');
  EXPECT_GT(GetModuleFileNameA(nullptr, &big[0], 0x10000), 0u) << AT(229);
}

// testGetModuleFileName_Wrong: a handle of no module, and the buffer untouched.
TEST_F(KernelModule, GetModuleFileNameOfNoModule) {
  char bufA[MAX_PATH];
  bufA[0] = '*';
  EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0xffffffff)), bufA, sizeof bufA),
            0u)
      << AT(249);
  EXPECT_EQ(bufA[0], '*') << AT(250);
}

}  // namespace
