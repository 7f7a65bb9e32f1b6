// Wine's conformance cases for the file services, from
// dlls/kernel32/tests/file.c of wine-mirror/wine at commit
// 51ccd95c49c2c61ad41960b25a01f834601d70c0 (Wine 9.22). Each check names the
// line of that file whose expectation it holds the layer to; where Windows
// gave several answers, the one of the NT family is expected.
//
// Not ported, being outside what the layer serves: the _l* and _h* calls,
// OpenFile, the W and Ex forms, CreateFile2, DELETE and the FILE_* rights,
// FILE_FLAG_* flags, the \\?\ and volume names, file mappings, protected
// memory, overlapped and asynchronous I/O, locks, searches, moves,
// replacements, GetFileSize, SetFilePointer, SetEndOfFile, GetTempFileNameA,
// CreateDirectoryA, DuplicateHandle. Where Wine makes a file with one of
// these, the case makes it with the sandbox's own file functions; where a
// flag serves only as a hint (FILE_FLAG_RANDOM_ACCESS), it is left out.
#include <cstring>
#include <string>

#include "conformance/file_services_fixture.h"

#define AT(line) "file.c:" #line

namespace {

HANDLE Open(const std::string& name, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0) {
  return CreateFileA(name.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

using KernelFile = FileServices;

// test_CopyFileA: sharing with the handles the process holds, NULL names,
// the time and the read-only attribute carried over.
TEST_F(KernelFile, CopyFileA) {
  const std::string source = Temp("pfx1.tmp"), dest = Temp("pfx2.tmp");
  const char prefix[] = "pfx";
  box.Write(InTemp("pfx1.tmp"), "");

  SetLastError(0xdeadbeef);
  EXPECT_FALSE(CopyFileA(source.c_str(), source.c_str(), FALSE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION)) << AT(700);

  HANDLE h = Open(source, GENERIC_WRITE, 0, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << AT(705);
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(h, prefix, sizeof prefix, &n, nullptr)) << AT(707);
  EXPECT_EQ(n, sizeof prefix) << AT(707);
  // Every handle may read the file's times, also one opened for writing only.
  FILETIME ft1, ft2;
  EXPECT_TRUE(GetFileTime(h, nullptr, nullptr, &ft1)) << AT(712);
  ft1.dwLowDateTime -= 600000000;
  EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &ft1)) << AT(715);
  GetFileTime(h, nullptr, nullptr, &ft1);
  CloseHandle(h);
  box.Write(InTemp("pfx2.tmp"), "");

  SetLastError(0xdeadbeef);
  EXPECT_FALSE(CopyFileA(source.c_str(), dest.c_str(), TRUE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS)) << AT(724);
  EXPECT_TRUE(CopyFileA(source.c_str(), dest.c_str(), FALSE)) << AT(728);

  EXPECT_FALSE(CopyFileA(nullptr, dest.c_str(), TRUE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND)) << AT(732);
  EXPECT_FALSE(CopyFileA(source.c_str(), nullptr, TRUE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND)) << AT(735);

  // A source that another handle reads without sharing reading.
  h = Open(source, GENERIC_READ, FILE_SHARE_WRITE, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << AT(740);
  EXPECT_FALSE(CopyFileA(source.c_str(), dest.c_str(), FALSE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION)) << AT(742);
  EXPECT_FALSE(CopyFileA("25f99d3b-4ba4-4f66-88f5-2906886993cc", dest.c_str(), FALSE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND)) << AT(746);
  CloseHandle(h);

  // A source that another handle writes while sharing reading is copied.
  h = Open(source, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << AT(752);
  EXPECT_TRUE(CopyFileA(source.c_str(), dest.c_str(), FALSE)) << AT(754);
  CloseHandle(h);

  // A destination that another handle writes without sharing writing.
  h = Open(dest, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << AT(768);
  EXPECT_FALSE(CopyFileA(source.c_str(), dest.c_str(), FALSE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION)) << AT(770);
  CloseHandle(h);

  // Destinations whose other handles share writing are written.
  h = Open(dest, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << AT(776);
  EXPECT_TRUE(CopyFileA(source.c_str(), dest.c_str(), FALSE)) << AT(778);
  CloseHandle(h);
  h = Open(dest, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << AT(796);
  EXPECT_TRUE(CopyFileA(source.c_str(), dest.c_str(), FALSE)) << AT(798);
  CloseHandle(h);

  h = Open(dest, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << AT(804);
  EXPECT_TRUE(GetFileTime(h, nullptr, nullptr, &ft2)) << AT(810);
  EXPECT_EQ(CompareFileTime(&ft1, &ft2), 0) << AT(811);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(CopyFileA(source.c_str(), dest.c_str(), FALSE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION)) << AT(815);
  char buf[10];
  EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr)) << AT(822);
  EXPECT_EQ(n, sizeof prefix) << AT(822);
  EXPECT_EQ(std::memcmp(prefix, buf, sizeof prefix), 0) << AT(824);
  CloseHandle(h);

  DWORD attributes = GetFileAttributesA(source.c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << AT(855);
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY) << AT(856);
  attributes = GetFileAttributesA(dest.c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << AT(858);
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY) << AT(859);

  for (int line : {863, 873}) {
    EXPECT_TRUE(SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY)) << "file.c:" << line;
    attributes = GetFileAttributesA(source.c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << "file.c:" << line + 2;
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY) << "file.c:" << line + 3;
    attributes = GetFileAttributesA(dest.c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << "file.c:" << line + 5;
    EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY) << "file.c:" << line + 6;
  }

  // A copy of a read-only file is read-only, over a file or as a new one.
  EXPECT_TRUE(CopyFileA(source.c_str(), dest.c_str(), FALSE)) << AT(882);
  attributes = GetFileAttributesA(dest.c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << AT(884);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY) << AT(885);
  EXPECT_TRUE(SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_NORMAL)) << AT(889);
  EXPECT_TRUE(DeleteFileA(dest.c_str())) << AT(891);
  EXPECT_TRUE(CopyFileA(source.c_str(), dest.c_str(), TRUE)) << AT(893);
  attributes = GetFileAttributesA(dest.c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << AT(895);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY) << AT(896);

  EXPECT_TRUE(SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL)) << AT(899);
  EXPECT_TRUE(SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_NORMAL)) << AT(901);
  EXPECT_TRUE(DeleteFileA(source.c_str())) << AT(904);
  EXPECT_TRUE(DeleteFileA(dest.c_str())) << AT(906);
}

// test_CreateFileA: dispositions on an existing file, and the errors of
// names that end in a backslash, of folders and of invalid names.
TEST_F(KernelFile, CreateFileA) {
  const std::string name = Temp("pfx3.tmp");
  box.Write(InTemp("pfx3.tmp"), "");

  SetLastError(0xdeadbeef);
  HANDLE h = Open(name, GENERIC_READ, 0, CREATE_NEW);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE) << AT(1310);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS)) << AT(1310);

  SetLastError(0xdeadbeef);
  h = Open(name, GENERIC_READ, FILE_SHARE_READ, CREATE_ALWAYS);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << AT(1316);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS)) << AT(1316);
  CloseHandle(h);

  SetLastError(0xdeadbeef);
  h = Open(name, GENERIC_READ, FILE_SHARE_READ, OPEN_ALWAYS);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << AT(1324);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS)) << AT(1324);
  CloseHandle(h);
  EXPECT_TRUE(DeleteFileA(name.c_str())) << AT(1330);

  SetLastError(0xdeadbeef);
  h = Open(name, GENERIC_READ, FILE_SHARE_READ, OPEN_ALWAYS);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << AT(1335);
  EXPECT_EQ(GetLastError(), 0u) << AT(1335);
  CloseHandle(h);
  EXPECT_TRUE(DeleteFileA(name.c_str())) << AT(1341);

  SetLastError(0xdeadbeef);
  h = Open("c:\\*.*", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE) << AT(1345);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME)) << AT(1346);

  char windows[MAX_PATH];
  UINT length = GetWindowsDirectoryA(windows, sizeof windows);
  EXPECT_LT(length, sizeof windows) << AT(1352);
  EXPECT_NE(length, 0u) << AT(1353);

  // Opened for reading and writing, sharing both, from the temporary folder.
  box.MakeDir(InTemp("removeme"));
  struct Case {
    int line;
    std::string name;  // a drive's names take the Windows folder's drive
    DWORD error;
  };
  const std::string tempPath = Temp("");
  const std::string drive(1, windows[0]);
  const Case cases[] = {
      {1282, tempPath, ERROR_PATH_NOT_FOUND},                    // the folder, with its backslash
      {1284, tempPath + "a", ERROR_FILE_NOT_FOUND},              // no such file
      {1285, tempPath + "a\\", ERROR_FILE_NOT_FOUND},            // no such folder
      {1286, tempPath + "removeme", ERROR_ACCESS_DENIED},        // a folder
      {1287, tempPath + "removeme\\", ERROR_PATH_NOT_FOUND},     // a folder, with its backslash
      {1288, drive + ":", ERROR_ACCESS_DENIED},                  // the drive's current folder
      {1290, drive + ":\\", ERROR_PATH_NOT_FOUND},               // the drive's root
      {1292, drive + ":c:\\windows", ERROR_INVALID_NAME},        // a second drive
  };
  for (const Case& c : cases) {
    SetLastError(0xdeadbeef);
    h = Open(c.name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
             FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE) << AT(1406) << ", entry of line " << c.line << ": " << c.name;
    EXPECT_EQ(GetLastError(), c.error) << AT(1406) << ", entry of line " << c.line << ": " << c.name;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
}

// test_CreateFile: a folder under every disposition, and each disposition
// with each access on a file, with what its handle may then do.
TEST_F(KernelFile, CreateFileDispositionsAndAccess) {
  const std::string folder = "C:\\temp";  // without its backslash
  for (DWORD disposition = 0; disposition <= 5; ++disposition) {
    SetLastError(0xdeadbeef);
    HANDLE h = Open(folder, GENERIC_READ, 0, disposition);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE) << AT(4259) << ", disposition " << disposition;
    EXPECT_EQ(GetLastError(), DWORD(disposition == 0 || disposition == 5 ? ERROR_INVALID_PARAMETER
                                                                         : ERROR_ACCESS_DENIED))
        << (disposition == 0 || disposition == 5 ? AT(4264) : AT(4270)) << ", disposition " << disposition;
    SetLastError(0xdeadbeef);
    h = Open(folder, GENERIC_WRITE, 0, disposition);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE) << AT(4275) << ", disposition " << disposition;
    EXPECT_EQ(GetLastError(), DWORD(disposition == 0 ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED))
        << (disposition == 0 ? AT(4277) : AT(4282)) << ", disposition " << disposition;
  }

  struct Row {
    int line;
    DWORD disposition, access, error;
    bool cleanUp;
  };
  const Row rows[] = {
      {4216, 0, 0, ERROR_INVALID_PARAMETER, false},
      {4217, 0, GENERIC_READ, ERROR_INVALID_PARAMETER, false},
      {4218, 0, GENERIC_READ | GENERIC_WRITE, ERROR_INVALID_PARAMETER, false},
      {4219, CREATE_NEW, 0, ERROR_FILE_EXISTS, true},
      {4220, CREATE_NEW, 0, 0, true},
      {4221, CREATE_NEW, GENERIC_READ, 0, true},
      {4222, CREATE_NEW, GENERIC_WRITE, 0, true},
      {4223, CREATE_NEW, GENERIC_READ | GENERIC_WRITE, 0, false},
      {4224, CREATE_ALWAYS, 0, 0, false},
      {4225, CREATE_ALWAYS, GENERIC_READ, 0, false},
      {4226, CREATE_ALWAYS, GENERIC_WRITE, 0, false},
      {4227, CREATE_ALWAYS, GENERIC_READ | GENERIC_WRITE, 0, true},
      {4228, OPEN_EXISTING, 0, ERROR_FILE_NOT_FOUND, false},
      {4229, CREATE_ALWAYS, 0, 0, false},
      {4230, OPEN_EXISTING, 0, 0, false},
      {4231, OPEN_EXISTING, GENERIC_READ, 0, false},
      {4232, OPEN_EXISTING, GENERIC_WRITE, 0, false},
      {4233, OPEN_EXISTING, GENERIC_READ | GENERIC_WRITE, 0, true},
      {4234, OPEN_ALWAYS, 0, 0, false},
      {4235, OPEN_ALWAYS, GENERIC_READ, 0, false},
      {4236, OPEN_ALWAYS, GENERIC_WRITE, 0, false},
      {4237, OPEN_ALWAYS, GENERIC_READ | GENERIC_WRITE, 0, false},
      {4238, TRUNCATE_EXISTING, 0, ERROR_INVALID_PARAMETER, false},
      {4239, TRUNCATE_EXISTING, GENERIC_READ, ERROR_INVALID_PARAMETER, false},
      {4240, TRUNCATE_EXISTING, GENERIC_WRITE, 0, false},
      {4241, TRUNCATE_EXISTING, GENERIC_READ | GENERIC_WRITE, 0, false},
  };
  const std::string name = Temp("tmp1.tmp");
  box.Write(InTemp("tmp1.tmp"), "");
  for (const Row& row : rows) {
    // A refused truncation keeps what the file holds.
    if (row.error && box.Exists(InTemp("tmp1.tmp"))) box.Write(InTemp("tmp1.tmp"), "kept");
    SetLastError(0xdeadbeef);
    HANDLE h = Open(name, row.access, 0, row.disposition);
    if (!row.error) {
      EXPECT_NE(h, INVALID_HANDLE_VALUE) << AT(4292) << ", row of line " << row.line;
      DWORD written = 0xdeadbeef;
      SetLastError(0xdeadbeef);
      BOOL ok = WriteFile(h, &row.error, sizeof row.error, &written, nullptr);
      if (row.access & GENERIC_WRITE) {
        EXPECT_TRUE(ok) << AT(4297) << ", row of line " << row.line;
      } else {
        EXPECT_FALSE(ok) << AT(4300) << ", row of line " << row.line;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << AT(4301) << ", row of line " << row.line;
      }
      SetLastError(0xdeadbeef);
      ok = SetFileTime(h, nullptr, nullptr, nullptr);
      if (row.access & GENERIC_WRITE) {
        EXPECT_TRUE(ok) << AT(4306) << ", row of line " << row.line;
      } else {
        EXPECT_FALSE(ok) << AT(4311) << ", row of line " << row.line;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << AT(4312) << ", row of line " << row.line;
      }
      CloseHandle(h);
    } else {
      bool truncating = row.disposition == TRUNCATE_EXISTING;
      EXPECT_EQ(h, INVALID_HANDLE_VALUE) << (truncating ? AT(4324) : AT(4331)) << ", row of line " << row.line;
      EXPECT_EQ(GetLastError(), row.error) << (truncating ? AT(4325) : AT(4332)) << ", row of line " << row.line;
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
      if (truncating) {
        EXPECT_EQ(box.Read(InTemp("tmp1.tmp")), "kept") << "row of line " << row.line;
      }
    }
    if (row.cleanUp) DeleteFileA(name.c_str());
  }
  DeleteFileA(name.c_str());
}

// What is_sharing_compatible (file.c:2497) says of two opens of one file, for
// the accesses the layer serves: a handle that reads (data or execution) needs
// the other to share reading, one that writes needs it to share writing, and a
// handle with no access to the data takes no part at all.
bool SharingCompatible(DWORD access1, DWORD share1, DWORD access2, DWORD share2) {
  auto reads = [](DWORD access) { return (access & (GENERIC_READ | GENERIC_EXECUTE | GENERIC_ALL)) != 0; };
  auto writes = [](DWORD access) { return (access & (GENERIC_WRITE | GENERIC_ALL)) != 0; };
  auto needs = [&](DWORD access, DWORD othersShare) {
    return (!reads(access) || (othersShare & FILE_SHARE_READ)) && (!writes(access) || (othersShare & FILE_SHARE_WRITE));
  };
  if (!reads(access1) && !writes(access1)) return true;
  if (!reads(access2) && !writes(access2)) return true;
  return needs(access1, share2) && needs(access2, share1);
}

// test_file_sharing: every pair of accesses and share modes on one file.
TEST_F(KernelFile, FileSharing) {
  const DWORD accesses[] = {0, GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE, GENERIC_EXECUTE};
  const char* accessNames[] = {"0", "GENERIC_READ", "GENERIC_WRITE", "GENERIC_READ|GENERIC_WRITE", "GENERIC_EXECUTE"};
  const std::string name = Temp("sharing.dll");
  box.Write(InTemp("sharing.dll"), "MZ");
  int pairs = 0;
  for (int a1 = 0; a1 < 5; ++a1) {
    for (DWORD s1 = 0; s1 < 8; ++s1) {
      HANDLE h = Open(name, accesses[a1], s1, OPEN_EXISTING);
      ASSERT_NE(h, INVALID_HANDLE_VALUE) << AT(2565);
      for (int a2 = 0; a2 < 5; ++a2) {
        for (DWORD s2 = 0; s2 < 8; ++s2) {
          SetLastError(0xdeadbeef);
          HANDLE h2 = Open(name, accesses[a2], s2, OPEN_EXISTING);
          DWORD err = GetLastError();
          std::string modes = std::string(accessNames[a1]) + " share " + std::to_string(s1) + " / " +
                              accessNames[a2] + " share " + std::to_string(s2);
          if (SharingCompatible(accesses[a1], s1, accesses[a2], s2)) {
            EXPECT_NE(h2, INVALID_HANDLE_VALUE) << AT(2579) << ": " << modes;
            EXPECT_EQ(err, 0u) << AT(2583) << ": " << modes;
          } else {
            EXPECT_EQ(h2, INVALID_HANDLE_VALUE) << AT(2587) << ": " << modes;
            EXPECT_EQ(err, DWORD(ERROR_SHARING_VIOLATION)) << AT(2591) << ": " << modes;
          }
          if (h2 != INVALID_HANDLE_VALUE) CloseHandle(h2);
          ++pairs;
        }
      }
      CloseHandle(h);
    }
  }
  EXPECT_EQ(pairs, 1600);

  SetLastError(0xdeadbeef);
  HANDLE h = Open(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << AT(2687);
  SetLastError(0xdeadbeef);
  HANDLE h2 = Open(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_EQ(h2, INVALID_HANDLE_VALUE) << AT(2691);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION)) << AT(2692);
  h2 = Open(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  EXPECT_NE(h2, INVALID_HANDLE_VALUE) << AT(2695);
  CloseHandle(h);
  CloseHandle(h2);
}

// test_DeleteFileA, and test__lcreat's read-only file.
TEST_F(KernelFile, DeleteFileA) {
  EXPECT_FALSE(DeleteFileA(nullptr)) << AT(1872);
  EXPECT_TRUE(GetLastError() == ERROR_INVALID_PARAMETER || GetLastError() == ERROR_PATH_NOT_FOUND) << AT(1872);
  EXPECT_FALSE(DeleteFileA("")) << AT(1877);
  EXPECT_TRUE(GetLastError() == ERROR_PATH_NOT_FOUND || GetLastError() == ERROR_BAD_PATHNAME) << AT(1877);
  EXPECT_FALSE(DeleteFileA("nul")) << AT(1882);
  DWORD err = GetLastError();
  EXPECT_TRUE(err == ERROR_FILE_NOT_FOUND || err == ERROR_INVALID_PARAMETER || err == ERROR_ACCESS_DENIED ||
              err == ERROR_INVALID_FUNCTION)
      << AT(1882) << ": " << err;
  EXPECT_FALSE(DeleteFileA("nonexist.txt")) << AT(1889);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND)) << AT(1889);

  // A file whose open handle shares deletion is deleted.
  const std::string name = Temp("tst1.tmp");
  box.Write(InTemp("tst1.tmp"), "");
  SetLastError(0xdeadbeef);
  HANDLE h = Open(name, GENERIC_READ, FILE_SHARE_DELETE | FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << AT(1896);
  EXPECT_TRUE(DeleteFileA(name.c_str())) << AT(1900);
  EXPECT_TRUE(CloseHandle(h)) << AT(1904);
  EXPECT_FALSE(DeleteFileA(name.c_str())) << AT(1906);

  box.MakeDir(InTemp("testdir"));
  EXPECT_FALSE(DeleteFileA("testdir")) << AT(1912);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << AT(1912);

  // Made read-only by its creator, which may still write it (_lcreat(name, 1)).
  h = Open(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS,
           FILE_ATTRIBUTE_READONLY);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << AT(330);
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(h, "text", 4, &n, nullptr)) << AT(332);
  EXPECT_TRUE(CloseHandle(h)) << AT(334);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(DeleteFileA(name.c_str())) << AT(341);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << AT(342);
  EXPECT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL)) << AT(344);
  EXPECT_TRUE(DeleteFileA(name.c_str())) << AT(346);
}

// test_read_write: NULL buffers, a handle that is none, and a read of more
// than the file holds.
TEST_F(KernelFile, ReadWrite) {
  const std::string name = Temp("pfx4.tmp");
  HANDLE h = Open(name, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << AT(3408);

  DWORD bytes = 12345678;
  SetLastError(12345678);
  EXPECT_TRUE(WriteFile(h, nullptr, 0, &bytes, nullptr)) << AT(3417);
  EXPECT_EQ(GetLastError(), 12345678u) << AT(3417);
  EXPECT_EQ(bytes, 0u) << AT(3419);

  bytes = 12345678;
  SetLastError(12345678);
  EXPECT_FALSE(WriteFile(h, nullptr, 10, &bytes, nullptr)) << AT(3424);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER)) << AT(3424);
  EXPECT_EQ(bytes, 0u) << AT(3427);

  const std::string data(0x1234, 'd');
  EXPECT_TRUE(WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &bytes, nullptr));
  CloseHandle(h);
  h = Open(name, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);  // at the beginning again
  ASSERT_NE(h, INVALID_HANDLE_VALUE);

  bytes = 12345678;
  SetLastError(12345678);
  EXPECT_TRUE(ReadFile(h, nullptr, 0, &bytes, nullptr)) << AT(3438);
  EXPECT_EQ(GetLastError(), 12345678u) << AT(3438);
  EXPECT_EQ(bytes, 0u) << AT(3440);

  bytes = 12345678;
  SetLastError(12345678);
  EXPECT_FALSE(ReadFile(h, nullptr, 10, &bytes, nullptr)) << AT(3445);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOACCESS)) << AT(3445);
  EXPECT_EQ(bytes, 0u) << AT(3448);

  std::string mem(0x4000, '\0');
  bytes = 12345678;
  EXPECT_FALSE(WriteFile(reinterpret_cast<HANDLE>(0xdead), mem.data(), 0x4000, &bytes, nullptr)) << AT(3473);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE)) << AT(3474);
  EXPECT_EQ(bytes, 0u) << AT(3477);

  EXPECT_TRUE(ReadFile(h, &mem[0], 0x2000, &bytes, nullptr)) << AT(3530);
  EXPECT_EQ(bytes, 0x1234u) << AT(3531);
  bytes = 12345678;
  EXPECT_FALSE(ReadFile(h, nullptr, 1, &bytes, nullptr)) << AT(3534);  // at the end
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOACCESS)) << AT(3535);
  EXPECT_EQ(bytes, 0u) << AT(3538);

  EXPECT_TRUE(CloseHandle(h)) << AT(3543);
  EXPECT_TRUE(DeleteFileA(name.c_str())) << AT(3545);
}

// test_file_access: what a handle made by CREATE_ALWAYS may read and write,
// by its access. (The read after the write of the first row needs
// SetFilePointer, and stays out.)
TEST_F(KernelFile, FileAccess) {
  struct Row {
    int line;
    DWORD access, writeError, readError;
  };
  const Row rows[] = {
      {5090, GENERIC_READ | GENERIC_WRITE, 0, 0},
      {5091, GENERIC_WRITE, 0, ERROR_ACCESS_DENIED},
      {5092, GENERIC_READ, ERROR_ACCESS_DENIED, 0},
      {5099, 0, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
  };
  const std::string name = Temp("foo1.tmp");
  box.Write(InTemp("foo1.tmp"), "");
  for (const Row& row : rows) {
    SetLastError(0xdeadbeef);
    HANDLE h = Open(name, row.access, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << AT(5121) << ", row of line " << row.line;
    DWORD bytes = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    BOOL ok = WriteFile(h, "\x5e\xa7", 2, &bytes, nullptr);
    if (row.writeError) {
      EXPECT_FALSE(ok) << AT(5150) << ", row of line " << row.line;
      EXPECT_EQ(GetLastError(), row.writeError) << AT(5151) << ", row of line " << row.line;
      EXPECT_EQ(bytes, 0u) << AT(5152) << ", row of line " << row.line;
    } else {
      EXPECT_TRUE(ok) << AT(5156) << ", row of line " << row.line;
      EXPECT_EQ(bytes, 2u) << AT(5157) << ", row of line " << row.line;
    }
    if (row.writeError || row.readError) {
      unsigned char buf[16];
      bytes = 0xdeadbeef;
      SetLastError(0xdeadbeef);
      ok = ReadFile(h, buf, sizeof buf, &bytes, nullptr);
      if (row.readError) {
        EXPECT_FALSE(ok) << AT(5169) << ", row of line " << row.line;
        EXPECT_EQ(GetLastError(), row.readError) << AT(5170) << ", row of line " << row.line;
        EXPECT_EQ(bytes, 0u) << AT(5171) << ", row of line " << row.line;
      } else {
        EXPECT_TRUE(ok) << AT(5175) << ", row of line " << row.line;
        EXPECT_EQ(bytes, 0u) << AT(5177) << ", row of line " << row.line;
      }
    }
    CloseHandle(h);
  }
  DeleteFileA(name.c_str());
}

// test_file_readonly_access: a file created read-only by a handle without access.
TEST_F(KernelFile, ReadOnlyFile) {
  const DWORD everything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const std::string name = Temp("pfx5.tmp");
  HANDLE h = Open(name, 0, everything, CREATE_ALWAYS, FILE_ATTRIBUTE_READONLY);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << AT(5814);
  CloseHandle(h);

  SetLastError(0xdeadbeef);
  h = Open(name, GENERIC_WRITE, everything, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE) << AT(5821);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << AT(5822);

  SetLastError(0xdeadbeef);
  EXPECT_FALSE(DeleteFileA(name.c_str())) << AT(5845);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << AT(5846);
  EXPECT_TRUE(GetFileAttributesA(name.c_str()) & FILE_ATTRIBUTE_READONLY) << AT(5849);
  SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(DeleteFileA(name.c_str())) << AT(5854);
}

// test_SetFileTime (there with CreateFileW): the write time set and kept
// through a handle opened for writing only.
TEST_F(KernelFile, SetFileTime) {
  const std::string name = Temp("pfx6.tmp");
  const char prefix[] = "pfx";
  HANDLE h = Open(name, GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << AT(5893);
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(h, prefix, sizeof prefix, &n, nullptr)) << AT(5895);
  EXPECT_EQ(n, sizeof prefix) << AT(5895);

  FILETIME ft1, ft2;
  EXPECT_TRUE(GetFileTime(h, nullptr, nullptr, &ft1)) << AT(5899);
  ft2 = ft1;
  ft2.dwLowDateTime -= 600000000;
  EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &ft2)) << AT(5903);
  std::memset(&ft2, 0, sizeof ft2);
  EXPECT_TRUE(GetFileTime(h, nullptr, nullptr, &ft2)) << AT(5906);
  EXPECT_NE(std::memcmp(&ft1, &ft2, sizeof ft1), 0) << AT(5907);

  std::memset(&ft1, 0xff, sizeof ft1);
  EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &ft1)) << AT(5911);
  std::memset(&ft1, 0, sizeof ft1);
  EXPECT_TRUE(GetFileTime(h, nullptr, nullptr, &ft1)) << AT(5914);
  EXPECT_EQ(std::memcmp(&ft1, &ft2, sizeof ft1), 0) << AT(5915);
  CloseHandle(h);
  DeleteFileA(name.c_str());
}

// test_eof: a read at the end of the file succeeds with nothing and leaves
// the last error alone (there two bytes past the end, set by SetFilePointer).
TEST_F(KernelFile, ReadAtTheEnd) {
  const std::string name = Temp("eof1.tmp");
  HANDLE h = Open(name, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << AT(6118);
  char buffer[20];
  DWORD size = 0xdeadbeef;
  SetLastError(0xdeadbeef);
  EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &size, nullptr)) << AT(6132);
  EXPECT_EQ(size, 0u) << AT(6133);
  EXPECT_EQ(GetLastError(), 0xdeadbeefu) << AT(6134);
  CloseHandle(h);
  DeleteFileA(name.c_str());
}

// Where the Windows 9x family answered otherwise, the layer keeps the NT
// answer on a prefix that plays Windows 98: its file services are NT's.
TEST_F(KernelFile, APrefixOfWindows98KeepsTheAnswersOfNT) {
  PlayWindows98();
  const std::string name = Temp("pfx7.tmp");
  box.Write(InTemp("pfx7.tmp"), "pfx");
  EXPECT_FALSE(CopyFileA(name.c_str(), name.c_str(), FALSE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION)) << AT(700) << " (9x: ERROR_FILE_EXISTS)";
  EXPECT_EQ(box.Read(InTemp("pfx7.tmp")), "pfx");

  EXPECT_EQ(Open(Temp("a\\"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND)) << AT(1285) << " (9x: ERROR_PATH_NOT_FOUND)";
  EXPECT_EQ(Open("C:\\", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND)) << AT(1290) << " (9x: ERROR_ACCESS_DENIED)";

  HANDLE h = Open(name, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD bytes = 12345678;
  EXPECT_FALSE(WriteFile(h, nullptr, 10, &bytes, nullptr)) << AT(3424) << " (9x: 10 bytes written)";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER)) << AT(3424);
  EXPECT_EQ(bytes, 0u) << AT(3427);
  CloseHandle(h);
}

}  // namespace
