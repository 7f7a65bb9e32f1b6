// The registry reader on keys made for each test.
#include "foundation/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "support/registry_fixture.h"
#include "support/sandbox.h"
#ifndef _WIN32
#include "platform/posix/registry/registry.h"
#include "support/syscall_faults.h"
#endif

namespace {

const char kKey[] = "SOFTWARE\\ZEFA\\RegistryTest";

class RegistryTest : public ::testing::Test {
 protected:
  DWORD Dword(const char* name) {
    Registry reader(HKEY_CURRENT_USER);
    reader.Open(kKey);
    return reader.ReadDword(name);
  }
  // The text ReadString leaves in a buffer of size bytes filled with 'x' first.
  std::string String(const char* name, DWORD size) {
    std::string buffer(size, 'x');
    Registry reader(HKEY_CURRENT_USER);
    reader.Open(kKey);
    reader.ReadString(name, &buffer[0], size);
    return buffer;
  }

  Sandbox box;
  RegistryFixture reg{box};
};

TEST_F(RegistryTest, AMissingKeyIsNamedAndLeavesNothingToClose) {
  Registry reader(HKEY_CURRENT_USER);
  try {
    reader.Open("SOFTWARE\\ZEFA\\Missing");
    FAIL() << "opened a missing key";
  } catch (Registry::ExceptOpen& e) {
    EXPECT_STREQ(e.message, "レジストリ'SOFTWARE\\ZEFA\\Missing'をオープンできません");
  }
  EXPECT_EQ(reader.key, nullptr);
}

TEST_F(RegistryTest, KeyAndValueNamesIgnoreCase) {
  reg.SetDword(HKEY_CURRENT_USER, kKey, "Garmo", 7);
  Registry reader(HKEY_CURRENT_USER);
  reader.Open("software\\zefa\\REGISTRYTEST");
  EXPECT_EQ(reader.ReadDword("GARMO"), 7u);
}

TEST_F(RegistryTest, NumbersComeFromTheBytesWhateverTheType) {
  reg.SetDword(HKEY_CURRENT_USER, kKey, "Dword", 1);
  reg.SetData(HKEY_CURRENT_USER, kKey, "OneByte", REG_BINARY, std::string(1, '\x01'));
  reg.SetData(HKEY_CURRENT_USER, kKey, "OneByteNone", REG_NONE, std::string(1, '\x01'));
  reg.SetData(HKEY_CURRENT_USER, kKey, "TwoBytes", REG_BINARY, "\x34\x12");
  reg.SetString(HKEY_CURRENT_USER, kKey, "Text", "1");
  reg.SetData(HKEY_CURRENT_USER, kKey, "Long", REG_BINARY, std::string("\x01\0\0\0\0", 5));
  EXPECT_EQ(Dword("Dword"), 1u);
  EXPECT_EQ(Dword("OneByte"), 1u);
  EXPECT_EQ(Dword("OneByteNone"), 1u);
  EXPECT_EQ(Dword("TwoBytes"), 0x1234u);
  EXPECT_EQ(Dword("Text"), 49u);  // '1' and its terminating zero
  try {
    Dword("Long");
    FAIL() << "a five-byte value read as a number";
  } catch (Registry::ExceptRead& e) {
    EXPECT_STREQ(e.message, "レジストリ'Long'を読み込めません");
  }
  EXPECT_THROW(Dword("Missing"), Registry::ExceptRead);
}

TEST_F(RegistryTest, TextsArriveInTheAnsiCodePageWithTheirZero) {
  reg.SetString(HKEY_CURRENT_USER, kKey, "Path", "C:\\ゲーム\\表示\\uninst.exe");
  std::string text = String("Path", MAX_PATH);
  EXPECT_STREQ(text.c_str(), "C:\\ゲーム\\表示\\uninst.exe");
  EXPECT_EQ(text[std::strlen("C:\\ゲーム\\表示\\uninst.exe") + 1], 'x');  // nothing written past the data
}

TEST_F(RegistryTest, ATextIsAlwaysTerminatedInsideTheBuffer) {
  reg.SetData(HKEY_CURRENT_USER, kKey, "Bare", REG_SZ, "abc");  // stored without its zero
  reg.SetString(HKEY_CURRENT_USER, kKey, "Fits", std::string(259, 'f'));
  reg.SetData(HKEY_CURRENT_USER, kKey, "Fills", REG_SZ, std::string(260, 'g'));
  reg.SetString(HKEY_CURRENT_USER, kKey, "Long", std::string(299, 'l'));
  EXPECT_EQ(String("Bare", MAX_PATH).substr(0, 5), std::string("abc\0x", 5));
  EXPECT_EQ(String("Fits", MAX_PATH), std::string(259, 'f') + '\0');
  EXPECT_THROW(String("Fills", MAX_PATH), Registry::ExceptRead);  // no room left for the zero
  try {
    String("Long", MAX_PATH);
    FAIL() << "300 bytes read into 260";
  } catch (Registry::ExceptRead& e) {
    EXPECT_STREQ(e.message, "レジストリ'Long'を読み込めません");
  }
}

TEST_F(RegistryTest, TheKeyIsClosedWhenTheReaderEnds) {
  reg.SetDword(HKEY_CURRENT_USER, kKey, "Value", 1);
  HKEY opened;
  {
    Registry reader(HKEY_CURRENT_USER);
    reader.Open(kKey);
    opened = reader.key;
    ASSERT_NE(opened, nullptr);
#ifndef _WIN32
    EXPECT_EQ(posix::OpenKeyCount(), 1u);
#endif
  }
#ifndef _WIN32
  EXPECT_EQ(posix::OpenKeyCount(), 0u);
#endif
  EXPECT_EQ(RegCloseKey(opened), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, AFailedCloseIsRaisedWithoutAName) {
  reg.SetDword(HKEY_CURRENT_USER, kKey, "Value", 1);
  try {
    Registry reader(HKEY_CURRENT_USER);
    reader.Open(kKey);
    ASSERT_EQ(RegCloseKey(reader.key), ERROR_SUCCESS);  // the close in the destructor now fails
  } catch (Registry::ExceptOpen&) {
    FAIL() << "the close failure came as an open failure";
  } catch (Registry::Except& e) {
    EXPECT_STREQ(e.message, "レジストリをクローズできません");
    return;
  }
  FAIL() << "the failed close was not raised";
}

TEST_F(RegistryTest, AFailedCloseDuringAnotherFailureIsDropped) {
  reg.SetDword(HKEY_CURRENT_USER, kKey, "Value", 1);
  try {
    Registry reader(HKEY_CURRENT_USER);
    reader.Open(kKey);
    ASSERT_EQ(RegCloseKey(reader.key), ERROR_SUCCESS);
    throw std::runtime_error("first");
  } catch (std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "first");  // and the process is still alive
  }
}

#ifndef _WIN32
TEST_F(RegistryTest, AKeyWhoseOpenIsRefusedIsNamedAndLeavesNothingToClose) {
  reg.SetDword(HKEY_CURRENT_USER, kKey, "Value", 1);
  RefusedFile refused("/user.reg");
  Registry reader(HKEY_CURRENT_USER);
  try {
    reader.Open(kKey);
    FAIL() << "opened a refused key";
  } catch (Registry::ExceptOpen& e) {
    EXPECT_STREQ(e.message, "レジストリ'SOFTWARE\\ZEFA\\RegistryTest'をオープンできません");
  }
  EXPECT_EQ(reader.key, nullptr);
  EXPECT_EQ(posix::OpenKeyCount(), 0u);
}
#endif

#ifdef _WIN32
}  // namespace

// The access the reader asks RegOpenKeyExA for, caught in this program's own
// import of the call, the one the reader's code calls through.
#ifdef _WIN64
extern "C" void* open_import asm("__imp_RegOpenKeyExA");
#else
extern "C" void* open_import asm("__imp__RegOpenKeyExA@20");
#endif

namespace {
using OpenCall = LSTATUS(WINAPI*)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
OpenCall system_open;
REGSAM asked;

LSTATUS WINAPI RecordingOpen(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY out) {
  asked = access;
  return system_open(root, subKey, options, access, out);
}

class ImportedOpen {
 public:
  ImportedOpen() { system_open = reinterpret_cast<OpenCall>(Swap(reinterpret_cast<void*>(&RecordingOpen))); }
  ~ImportedOpen() { Swap(reinterpret_cast<void*>(system_open)); }

 private:
  static void* Swap(void* call) {
    DWORD protection;
    VirtualProtect(&open_import, sizeof open_import, PAGE_READWRITE, &protection);
    void* old = open_import;
    open_import = call;
    VirtualProtect(&open_import, sizeof open_import, protection, &protection);
    return old;
  }
};

// The games registered themselves as 32-bit programs. A 32-bit program sees
// their keys by itself and must not name a view: Windows 2000 and NT 4.0 know
// no such flag and refuse the open (access denied). A 64-bit build must ask
// for the 32-bit view, or it reads the 64-bit keys.
TEST_F(RegistryTest, OnlyA64BitProgramAsksForThe32BitView) {
  reg.SetDword(HKEY_LOCAL_MACHINE, kKey, "Value", 1);
  asked = 0;
  {
    ImportedOpen recording;
    Registry reader(HKEY_LOCAL_MACHINE);
    reader.Open(kKey);
  }
  ASSERT_NE(asked, 0u) << "the reader did not call RegOpenKeyExA";
#ifdef _WIN64
  EXPECT_EQ(asked, static_cast<REGSAM>(KEY_READ | KEY_WOW64_32KEY));
#else
  EXPECT_EQ(asked, static_cast<REGSAM>(KEY_READ));
#endif
}
#endif

}  // namespace
