// Wine's conformance cases for GetTempPathA, GetWindowsDirectoryA and the
// file calls on relative and long names, from dlls/kernel32/tests/path.c of
// wine-mirror/wine at commit 51ccd95c49c2c61ad41960b25a01f834601d70c0 (Wine
// 9.22). Each check names the line whose expectation it holds the layer to.
//
// TMP holds a host path here, as the layer reads it (Wine's test sets a
// Windows path in the Windows environment): the folder that Wine names by its
// Windows path is given by its host path. Not ported, being outside what the
// layer serves: GetTempFileNameA, CreateDirectoryA, the current directory
// calls, short, long and full path names, SearchPathA, the W forms.
#include <cstring>
#include <string>

#include "conformance/file_services_fixture.h"

#define AT(line) "path.c:" #line

namespace {

using KernelPath = FileServices;

// test_GetTempPathA (path.c:928): the path of the folder tmpDir, its
// length, and the buffers too small for it, which are left as they were.
void CheckTempPath(const std::string& tmpDir, const std::string& variable) {
  SCOPED_TRACE("TMP=" + variable);
  const DWORD withNull = static_cast<DWORD>(tmpDir.size() + 1);
  char buf[MAX_PATH];
  std::strcpy(buf, "foo");
  DWORD len = GetTempPathA(MAX_PATH, buf);
  EXPECT_LE(len, DWORD(MAX_PATH)) << AT(937);
  EXPECT_EQ(lstrcmpiA(buf, tmpDir.c_str()), 0) << AT(938) << ": " << buf;
  EXPECT_EQ(len, std::strlen(buf)) << AT(939);

  EXPECT_GE(GetTempPathA(1, buf), withNull) << AT(949);
  len = GetTempPathA(0, nullptr);
  EXPECT_GE(len, withNull) << AT(952);
  std::strcpy(buf, "foo");
  len = GetTempPathA(len, buf);
  EXPECT_EQ(lstrcmpiA(buf, tmpDir.c_str()), 0) << AT(959) << ": " << buf;
  EXPECT_EQ(len, std::strlen(buf)) << AT(960);

  std::memset(buf, 'a', sizeof buf);
  len = GetTempPathA(sizeof buf, buf);
  EXPECT_EQ(lstrcmpiA(buf, tmpDir.c_str()), 0) << AT(964) << ": " << buf;
  EXPECT_EQ(len, std::strlen(buf)) << AT(965);
  DWORD slen = len + 1;
  for (++len; len < sizeof buf; ++len) EXPECT_EQ(buf[len], 'a') << AT(969) << " at " << len;

  std::memset(buf, 'a', sizeof buf);
  len = GetTempPathA(slen / 2, buf);
  EXPECT_EQ(len, slen) << AT(974);
  for (len = 0; len < sizeof buf; ++len) EXPECT_EQ(buf[len], 'a') << AT(977) << " at " << len;
}

// test_InitPathA and test_GetTempPath: the temporary folder as TMP names it,
// the Windows folder, the root of its drive, the current folder.
TEST_F(KernelPath, GetTempPathA) {
  char tmppath[MAX_PATH], tmpstr[MAX_PATH];
  DWORD len = GetTempPathA(MAX_PATH, tmppath);
  EXPECT_TRUE(len != 0 && len < MAX_PATH) << AT(348);
  EXPECT_EQ(tmppath[std::strlen(tmppath) - 1], '\\') << AT(349);
  std::strcpy(tmpstr, "aaaaaaaa");
  EXPECT_EQ(GetTempPathA(len, tmpstr), len + 1) << AT(353);

  char windir[MAX_PATH];
  ASSERT_NE(GetWindowsDirectoryA(windir, sizeof windir), 0u);
  {
    ScopedEnv windowsFolder("TMP", box.Host("windows"));
    CheckTempPath(std::string(windir) + "\\", "the Windows folder");  // path.c:1102
  }
  {
    ScopedEnv driveRoot("TMP", box.Host(""));
    CheckTempPath(std::string(windir, 3), "the root of its drive");  // path.c:1111
  }
  {
    // The current folder of the drive (C: on Windows; a relative host path here).
    ASSERT_EQ(chdir(box.Host("windows").c_str()), 0);
    ScopedEnv currentFolder("TMP", ".");
    CheckTempPath(std::string(windir) + "\\", "the current folder");  // path.c:1121
  }
}

// test_GetWindowsDirectory: the size it takes, terminator included, when the
// buffer is too small, and the length without it when the path fits.
TEST_F(KernelPath, GetWindowsDirectoryA) {
  char buffer[MAX_PATH + 4];
  SetLastError(0xdeadbeef);
  UINT total = GetWindowsDirectoryA(nullptr, 0);
  ASSERT_GT(total, 0u) << AT(1484);
  EXPECT_EQ(GetWindowsDirectoryA(nullptr, total - 1), total) << AT(1493);
  ASSERT_LE(total, UINT(MAX_PATH));

  buffer[0] = 0;
  UINT res = GetWindowsDirectoryA(buffer, total);
  EXPECT_EQ(res, total - 1) << AT(1502);
  EXPECT_NE(buffer[0], 0) << AT(1502);
  buffer[0] = 0;
  res = GetWindowsDirectoryA(buffer, total + 1);
  EXPECT_EQ(res, total - 1) << AT(1510);
  EXPECT_NE(buffer[0], 0) << AT(1510);
  std::memset(buffer, '#', total + 1);
  buffer[total + 2] = 0;
  EXPECT_EQ(GetWindowsDirectoryA(buffer, total - 1), total) << AT(1519);
  std::memset(buffer, '#', total + 1);
  buffer[total + 2] = 0;
  EXPECT_EQ(GetWindowsDirectoryA(buffer, total - 2), total) << AT(1527);
}

// test_drive_letter_case: the drive letters of the paths given out are upper case.
TEST_F(KernelPath, DriveLettersAreUpperCase) {
  char buf[MAX_PATH] = {};
  UINT ret = GetWindowsDirectoryA(buf, sizeof buf);
  EXPECT_NE(ret, 0u) << AT(1595);
  EXPECT_LT(ret, sizeof buf) << AT(1596);
  EXPECT_EQ(buf[1], ':') << AT(1597);
  EXPECT_TRUE(buf[0] >= 'A' && buf[0] <= 'Z') << AT(1598);

  std::memset(buf, 0, sizeof buf);
  ret = GetTempPathA(sizeof buf, buf);
  EXPECT_NE(ret, 0u) << AT(1629);
  EXPECT_LT(ret, sizeof buf) << AT(1630);
  EXPECT_EQ(buf[1], ':') << AT(1633);
  EXPECT_EQ(buf[std::strlen(buf) - 1], '\\') << AT(1634);
}

// test_InitPathA and test_CleanupPathA: files with short and long names, in
// folders with short and long names; a name never made is not deleted.
TEST_F(KernelPath, LongAndShortNames) {
  box.MakeDir(InTemp("path1.tmp"));
  box.MakeDir(InTemp("path1.tmp\\shortdir"));
  box.MakeDir(InTemp("path1.tmp\\Long Directory"));
  const std::string newdir = Temp("path1.tmp");
  struct File {
    int created, closed, deleted;
    const char* name;
  };
  const File files[] = {
      {428, 429, 550, "\\shortdir\\pathtest.pth"},
      {433, 434, 552, "\\shortdir\\Long File test.path"},
      {438, 439, 554, "\\Long Directory\\pathtest.pth"},
      {443, 444, 556, "\\Long Directory\\Long File test.path"},
  };
  for (const File& f : files) {
    HANDLE h = CreateFileA((newdir + f.name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << "path.c:" << f.created;
    EXPECT_TRUE(CloseHandle(h)) << "path.c:" << f.closed;
  }
  for (const File& f : files) EXPECT_TRUE(DeleteFileA((newdir + f.name).c_str())) << "path.c:" << f.deleted;

  EXPECT_FALSE(DeleteFileA(Temp("tfn1.tmp").c_str())) << AT(385);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND)) << AT(385);
}

// test_relative_path: names relative to the current folder, and ".." in them.
TEST_F(KernelPath, RelativePath) {
  box.MakeDir(InTemp("foo"));
  HANDLE file = CreateFileA("foo\\file", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << AT(2132);
  CloseHandle(file);
  box.MakeDir(InTemp("bar"));
  ASSERT_EQ(chdir(box.Host(InTemp("bar")).c_str()), 0);
  EXPECT_NE(GetFileAttributesA("..\\foo\\file"), INVALID_FILE_ATTRIBUTES) << AT(2140);
  EXPECT_TRUE(box.Exists(InTemp("foo\\file")));
}

}  // namespace
