// The file calls as the programs rely on them; the same tests run on the POSIX
// layer and on Windows (Wine).
#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"
#include "support/sandbox.h"

namespace {

class Files : public ::testing::Test {
 protected:
  HANDLE Open(const std::string& rel, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(box.Win(rel).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  DWORD OpenError(const std::string& rel, DWORD access, DWORD share, DWORD disposition) {
    SetLastError(0);
    HANDLE h = Open(rel, access, share, disposition);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      return 0;
    }
    return GetLastError();
  }
  Sandbox box;
};

TEST_F(Files, MissingFileOrFolderHaveTheirOwnErrors) {
  EXPECT_EQ(OpenError("none", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(OpenError("nodir\\none", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING),
            DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(OpenError("nodir\\none", GENERIC_WRITE, 0, CREATE_ALWAYS), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA(box.Win("none").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA(box.Win("nodir\\none").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(DeleteFileA(box.Win("none").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(Files, CreateDispositions) {
  box.Write("f", "old");
  EXPECT_EQ(OpenError("f", GENERIC_WRITE, 0, CREATE_NEW), DWORD(ERROR_FILE_EXISTS));
  SetLastError(0);
  HANDLE h = Open("f", GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(h, "new!", 4, &written, nullptr));
  EXPECT_EQ(written, 4u);
  char buf[8];
  DWORD read = 99;
  EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &read, nullptr));  // opened for writing only
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(box.Read("f"), "new!");

  h = Open("f", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &read, nullptr));
  EXPECT_EQ(std::string(buf, read), "new!");
  EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &read, nullptr));
  EXPECT_EQ(read, 0u);
  EXPECT_FALSE(WriteFile(h, "x", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(CloseHandle(h));
}

TEST_F(Files, AFolderIsNoFile) {
  box.MakeDir("dir");
  EXPECT_EQ(GetFileAttributesA(box.Win("dir").c_str()) & FILE_ATTRIBUTE_DIRECTORY, DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(OpenError("dir", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(OpenError("dir", GENERIC_WRITE, 0, CREATE_ALWAYS), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(DeleteFileA(box.Win("dir").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  box.Write("file", "x");
  EXPECT_EQ(GetFileAttributesA(box.Win("file").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(Files, ReadOnlyFilesRefuseWritingAndDeletionUntilMadeNormal) {
  box.Write("ro", "kept");
  box.SetReadOnly("ro", true);
  std::string path = box.Win("ro");
  EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(OpenError("ro", GENERIC_WRITE, 0, OPEN_EXISTING), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(OpenError("ro", GENERIC_WRITE, 0, CREATE_ALWAYS), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(box.Read("ro"), "kept");
  EXPECT_EQ(OpenError("ro", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), 0u);

  EXPECT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_FALSE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(OpenError("ro", GENERIC_WRITE, 0, OPEN_EXISTING), 0u);
  EXPECT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_FALSE(box.Exists("ro"));
  EXPECT_FALSE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(Files, SharingModesAreEnforcedBetweenHandles) {
  box.Write("s", "data");
  HANDLE reader = Open("s", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenError("s", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), 0u);
  EXPECT_EQ(OpenError("s", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
            DWORD(ERROR_SHARING_VIOLATION));
  // A reader that shares nothing is refused too: the first handle reads.
  EXPECT_EQ(OpenError("s", GENERIC_READ, 0, OPEN_EXISTING), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(OpenError("s", GENERIC_WRITE, 0, CREATE_ALWAYS), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(DeleteFileA(box.Win("s").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(CloseHandle(reader));
  EXPECT_EQ(box.Read("s"), "data");  // the refused create truncated nothing

  HANDLE writer = Open("s", GENERIC_WRITE, 0, OPEN_EXISTING);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenError("s", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
            DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(CloseHandle(writer));
  EXPECT_EQ(OpenError("s", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), 0u);
}

TEST_F(Files, TimesKeepTheirFullResolution) {
  box.Write("t", "x");
  HANDLE h = Open("t", GENERIC_WRITE, 0, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const uint64_t kWrite = 130000000001234567ULL, kAccess = 130000000007654321ULL;
  FILETIME write = Ticks(kWrite), access = Ticks(kAccess);
  EXPECT_TRUE(SetFileTime(h, nullptr, &access, &write));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(box.WriteTime("t"), kWrite);

  h = Open("t", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  FILETIME gotWrite, gotAccess;
  EXPECT_TRUE(GetFileTime(h, nullptr, &gotAccess, &gotWrite));
  EXPECT_EQ(Ticks(gotWrite), kWrite);
  EXPECT_EQ(Ticks(gotAccess), kAccess);
  EXPECT_TRUE(CloseHandle(h));

  EXPECT_EQ(CompareFileTime(&write, &access), -1);
  EXPECT_EQ(CompareFileTime(&access, &write), 1);
  EXPECT_EQ(CompareFileTime(&write, &gotWrite), 0);
  FILETIME high = Ticks(0x100000000ULL), low = Ticks(0xFFFFFFFFULL);
  EXPECT_EQ(CompareFileTime(&low, &high), -1);  // the high half decides
}

TEST_F(Files, NamesAreFoundIgnoringCase) {
  box.MakeDir("Data");
  box.Write("Data\\Stage.DAT", "s");
  std::string path = box.Win("DATA\\stage.dat");
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  // A new file in a folder written in another case lands in that folder.
  h = CreateFileA(box.Win("data\\new.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_TRUE(box.Exists("Data\\new.txt"));
}

// A path holds up to MAX_PATH bytes with its terminator: 259 characters are a
// file like any other.
TEST_F(Files, APathOfUpTo259CharactersIsAFile) {
  box.MakeDir(std::string(100, 'D'));
  std::string folder = box.Win(std::string(100, 'D')) + "\\";
  for (size_t length : {257, 258, 259}) {
    std::string name = std::string(length - folder.size() - 4, 'f') + ".txt";
    std::string path = folder + name;
    ASSERT_EQ(path.size(), length);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << length << " characters: error " << GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, "abc", 3, &written, nullptr));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(box.Read(std::string(100, 'D') + "\\" + name), "abc") << length;
    EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << length;
    EXPECT_TRUE(DeleteFileA(path.c_str())) << length;
  }
#ifndef _WIN32
  // One more and the terminator has no room.
  std::string tooLong = folder + std::string(260 - folder.size() - 4, 'f') + ".txt";
  EXPECT_EQ(CreateFileA(tooLong.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILENAME_EXCED_RANGE));
#endif
}

TEST_F(Files, InvalidHandlesAreReported) {
  HANDLE bogus = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x12345678));
  EXPECT_FALSE(CloseHandle(bogus));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  DWORD n;
  char c;
  EXPECT_FALSE(ReadFile(bogus, &c, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

}  // namespace
