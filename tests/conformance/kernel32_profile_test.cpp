// Wine's conformance cases for WritePrivateProfileStringA, from
// dlls/kernel32/tests/profile.c of wine-mirror/wine at commit
// 51ccd95c49c2c61ad41960b25a01f834601d70c0 (Wine 9.22). Each check names the
// line whose expectation it holds the layer to.
//
// Where Wine reads a value back with GetPrivateProfileStringA, which the
// layer does not serve, the file's bytes are compared instead. Not ported:
// the other profile calls, the mapping of INI files to the registry, files
// deleted on close, folders with security descriptors.
#include <string>

#include "conformance/file_services_fixture.h"

#define AT(line) "profile.c:" #line

namespace {

class KernelProfile : public FileServices {
 protected:
  // What a file of the sandbox holds, or that there is none.
  std::string Contents(const std::string& rel) const { return box.Exists(rel) ? box.Read(rel) : "(no file)"; }
};

// test_WritePrivateProfileString: NULL and empty arguments, the Windows
// folder for a bare name, and the file as keys and sections come and go.
TEST_F(KernelProfile, WritePrivateProfileString) {
  const std::string path = Temp("wine1.tmp");
  const char* ini = path.c_str();

  SetLastError(0xdeadbeef);
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "key", "string", ini)) << AT(938);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND)) << AT(939);
  EXPECT_EQ(GetFileAttributesA(ini), INVALID_FILE_ATTRIBUTES) << AT(941);

  box.Write(InTemp("wine1.tmp"), "");
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "key", "string", ini)) << AT(950);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND)) << AT(951);
  EXPECT_EQ(Contents(InTemp("wine1.tmp")), "") << AT(953);
  DeleteFileA(ini);

  // Nothing to write or to remove still leaves the file, empty.
  EXPECT_TRUE(WritePrivateProfileStringA("App", nullptr, "string", ini)) << AT(970);
  EXPECT_EQ(Contents(InTemp("wine1.tmp")), "") << AT(973);
  DeleteFileA(ini);
  EXPECT_TRUE(WritePrivateProfileStringA("App", "key", nullptr, ini)) << AT(994);
  EXPECT_EQ(Contents(InTemp("wine1.tmp")), "") << AT(997);
  DeleteFileA(ini);

  EXPECT_TRUE(WritePrivateProfileStringA("App", "key", "", ini)) << AT(1005);
  EXPECT_EQ(Contents(InTemp("wine1.tmp")), "[App]\r\nkey=\r\n") << AT(1006);
  DeleteFileA(ini);

  SetLastError(0xdeadbeef);
  EXPECT_FALSE(WritePrivateProfileStringA("App", "key", "string", "")) << AT(1012);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << AT(1013);

  // A name without a folder is in the Windows folder.
  EXPECT_TRUE(WritePrivateProfileStringA("App", "key", "string", "win1.tmp")) << AT(1030);
  EXPECT_EQ(Contents("windows\\win1.tmp"), "[App]\r\nkey=string\r\n") << AT(1031);
  EXPECT_FALSE(box.Exists(InTemp("win1.tmp")));
  DeleteFileA("C:\\windows\\win1.tmp");

  box.Write(InTemp("wine1.tmp"), "");
  WritePrivateProfileStringA("App1", "key1", "string1", ini);
  WritePrivateProfileStringA("App1", "key2", "string2", ini);
  WritePrivateProfileStringA("App1", "key3", "string3", ini);
  WritePrivateProfileStringA("App2", "key4", "string4", ini);
  struct Step {
    int line;
    const char *section, *key, *value, *data;
  };
  const Step steps[] = {
      {1054, "App3", "key5", "string5",
       "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n"},
      {1066, "App1", "key2", nullptr,
       "[App1]\r\nkey1=string1\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n"},
      {1078, "App1", "key2", nullptr,
       "[App1]\r\nkey1=string1\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n"},
      {1087, "App1", nullptr, "string1", "[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n"},
      {1094, "App2", nullptr, nullptr, "[App3]\r\nkey5=string5\r\n"},
      {1100, "App3", "key5", nullptr, "[App3]\r\n"},
  };
  for (const Step& step : steps) {
    EXPECT_TRUE(WritePrivateProfileStringA(step.section, step.key, step.value, ini)) << "profile.c:" << step.line;
    EXPECT_EQ(Contents(InTemp("wine1.tmp")), step.data) << "profile.c:" << step.line + 1;
  }
  DeleteFileA(ini);

  // Bytes before the first section, NULs among them, stay as they are.
  const std::string before("Data \0 before \0 first \0 section", 31);
  box.Write(InTemp("wine1.tmp"), before);
  EXPECT_TRUE(WritePrivateProfileStringA("section1", "key1", "string1", ini)) << AT(1111);
  EXPECT_EQ(Contents(InTemp("wine1.tmp")), before + "\r\n[section1]\r\nkey1=string1\r\n") << AT(1113);
  DeleteFileA(ini);
}

// test_profile_existing: an INI file that the process holds open is written
// when the handle shares both reading and writing, else refused.
TEST_F(KernelProfile, FileHeldOpen) {
  struct Row {
    int line;
    DWORD access, share, error;
  };
  const Row rows[] = {
      {375, GENERIC_READ, FILE_SHARE_READ, ERROR_SHARING_VIOLATION},
      {376, GENERIC_READ, FILE_SHARE_WRITE, ERROR_SHARING_VIOLATION},
      {377, GENERIC_WRITE, FILE_SHARE_READ, ERROR_SHARING_VIOLATION},
      {378, GENERIC_WRITE, FILE_SHARE_WRITE, ERROR_SHARING_VIOLATION},
      {379, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, ERROR_SHARING_VIOLATION},
      {380, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, ERROR_SHARING_VIOLATION},
      {381, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0},
      {382, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0},
      {384, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0},
  };
  const char* testfile = ".\\winesharing1.ini";
  for (const Row& row : rows) {
    HANDLE h = CreateFileA(testfile, row.access, row.share, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << AT(397) << ", row of line " << row.line;
    SetLastError(0xdeadbeef);
    BOOL ret = WritePrivateProfileStringA("Test", "ProfileInt", "12345", testfile);
    DWORD err = GetLastError();
    CloseHandle(h);
    if (!row.error) {
      EXPECT_TRUE(ret) << AT(404) << ", row of line " << row.line << ": " << err;
      EXPECT_EQ(Contents(InTemp("winesharing1.ini")), "[Test]\r\nProfileInt=12345\r\n")
          << AT(409) << ", row of line " << row.line;
    } else {
      EXPECT_FALSE(ret) << AT(416) << ", row of line " << row.line;
      EXPECT_EQ(err, row.error) << AT(418) << ", row of line " << row.line;
      EXPECT_EQ(Contents(InTemp("winesharing1.ini")), "") << AT(422) << ", row of line " << row.line;
    }
    EXPECT_TRUE(DeleteFileA(testfile)) << AT(425);
  }
}

// test_profile_struct: a name with a folder, "./", is relative to the current one.
TEST_F(KernelProfile, NameRelativeToTheCurrentFolder) {
  const struct {
    int line;
    const char* value;
  } writes[] = {{1154, "636163747573006F"}, {1162, "6361637475730083"}, {1170, "636163747573008Q"},
                {1178, "16361637475730083"}};
  for (const auto& w : writes)
    EXPECT_TRUE(WritePrivateProfileStringA("s", "key", w.value, "./winetest.ini")) << "profile.c:" << w.line;
  EXPECT_EQ(Contents(InTemp("winetest.ini")), "[s]\r\nkey=16361637475730083\r\n");
  EXPECT_TRUE(DeleteFileA("./winetest.ini")) << AT(1191);
}

}  // namespace
