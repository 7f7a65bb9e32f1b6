// The registry calls as the programs rely on them, on keys made for each test;
// written against the Win32 API alone, so that they hold on Windows as well.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win32.h"
#include "support/registry_fixture.h"
#include "support/sandbox.h"
#ifndef _WIN32
#include "support/syscall_faults.h"
#endif

namespace {

const char kKey[] = "SOFTWARE\\ZEFA\\CallsTest";

class RegistryCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    reg.SetString(HKEY_LOCAL_MACHINE, kKey, "Ascii", "abc");
    reg.SetString(HKEY_LOCAL_MACHINE, kKey, "Japanese", "ゲーム");
    reg.SetData(HKEY_LOCAL_MACHINE, kKey, "List", REG_MULTI_SZ, std::string("a\0表\0\0", 6));
    reg.SetData(HKEY_LOCAL_MACHINE, kKey, "Expand", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9));
    reg.SetString(HKEY_LOCAL_MACHINE, kKey, "", "default");
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | KEY_WOW64_32KEY, &key), ERROR_SUCCESS);
  }
  void TearDown() override {
    if (key) RegCloseKey(key);
  }

  Sandbox box;
  RegistryFixture reg{box};
  HKEY key = nullptr;
};

TEST_F(RegistryCalls, TextsAreSizedAndCopiedInTheAnsiCodePage) {
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Japanese", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(size, 7u);  // six CP932 bytes and the zero, not the 8 of UTF-16
  char buf[16];
  std::memset(buf, 'x', sizeof buf);
  size = sizeof buf;
  EXPECT_EQ(RegQueryValueExA(key, "Japanese", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 7u);
  EXPECT_STREQ(buf, "ゲーム");
  EXPECT_EQ(buf[7], 'x');

  size = sizeof buf;
  EXPECT_EQ(RegQueryValueExA(key, "List", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
  EXPECT_EQ(std::string(buf, size), std::string("a\0表\0\0", 6));
  size = sizeof buf;
  EXPECT_EQ(RegQueryValueExA(key, "Expand", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_EXPAND_SZ));
  EXPECT_STREQ(buf, "%TEMP%\\x");  // not expanded
}

TEST_F(RegistryCalls, TooSmallABufferGetsTheSizeNeeded) {
  char buf[3] = {'x', 'x', 'x'};
  DWORD type = 0, size = sizeof buf;
  EXPECT_EQ(RegQueryValueExA(key, "Ascii", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(type, DWORD(REG_SZ));
  size = 4;
  char exact[4];
  EXPECT_EQ(RegQueryValueExA(key, "Ascii", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size), ERROR_SUCCESS);
  EXPECT_STREQ(exact, "abc");
}

TEST_F(RegistryCalls, TheDefaultValueHasNoName) {
  char buf[16];
  for (const char* name : {static_cast<const char*>(nullptr), ""}) {
    DWORD size = sizeof buf;
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "default");
  }
}

TEST_F(RegistryCalls, MissingNamesAndBadArguments) {
  HKEY other = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZEFA\\None", 0, KEY_READ | KEY_WOW64_32KEY, &other),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(other, nullptr);
  DWORD size = 4;
  BYTE data[4];
  EXPECT_EQ(RegQueryValueExA(key, "None", nullptr, nullptr, data, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(key, "Ascii", nullptr, nullptr, data, nullptr), ERROR_INVALID_PARAMETER);
  // Neither data nor size: only whether the value is there.
  EXPECT_EQ(RegQueryValueExA(key, "Ascii", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
}

TEST_F(RegistryCalls, KeysOpenBelowOpenKeysAndCloseOnce) {
  HKEY zefa, below;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\ZEFA", 0, KEY_READ | KEY_WOW64_32KEY, &zefa),
            ERROR_SUCCESS);  // a key that holds nothing but the key below it
  ASSERT_EQ(RegOpenKeyExA(zefa, "CALLSTEST", 0, KEY_READ | KEY_WOW64_32KEY, &below), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(below, "ASCII", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(RegCloseKey(below), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(zefa), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(zefa), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(below, "Ascii", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
}

#ifndef _WIN32
// A registry file that the user may not read refuses every key below its
// root, as a key's access control would; the root itself still opens.
TEST_F(RegistryCalls, AnUnreadableRegistryFileRefusesItsKeys) {
  RefusedFile refused("/system.reg");
  HKEY other = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &other), ERROR_ACCESS_DENIED);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &other), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(other), ERROR_SUCCESS);
  // Other failures to read it leave it holding nothing.
  RefusedFile broken("/system.reg", EIO);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &other), ERROR_FILE_NOT_FOUND);
}
#endif

}  // namespace
