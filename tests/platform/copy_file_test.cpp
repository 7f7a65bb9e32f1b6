// CopyFileA of the POSIX layer: content, time and attributes; Windows' errors;
// every way of moving the bytes.
#include <gtest/gtest.h>

#include <string>

#include "codec/reference.h"
#include "platform/win32.h"
#include "support/sandbox.h"
#ifndef _WIN32
#include "platform/posix/files/handles.h"
#include "support/syscall_faults.h"
#endif

// <windows.h> makes CopyFile a name for CopyFileA; here it names the tests.
#undef CopyFile

namespace {

class CopyFile : public ::testing::Test {
 protected:
#ifndef _WIN32
  // The POSIX layer counts its open handles; Windows tells no such count.
  void TearDown() override { EXPECT_EQ(posix::OpenFileCount(), 0u) << "a handle was left open"; }
#endif
  BOOL Copy(const std::string& from, const std::string& to, BOOL failIfExists = FALSE) {
    SetLastError(0);
    return CopyFileA(box.Win(from).c_str(), box.Win(to).c_str(), failIfExists);
  }
  Sandbox box;
};

const uint64_t kTime = 125911584000000000ULL + 7654321;  // 1999, with 100 ns digits

TEST_F(CopyFile, CopiesContentAndLastWriteTime) {
  std::string content = szdd_test::AsString(szdd_test::BinarySample(3 << 20));
  box.Write("src", content);
  box.SetWriteTime("src", kTime);
  box.Write("dst", "an older, longer file that is replaced entirely by the copy" + std::string(4 << 20, 'x'));
  ASSERT_TRUE(Copy("src", "dst"));
  EXPECT_TRUE(box.Read("dst") == content);
  EXPECT_EQ(box.WriteTime("dst"), kTime);
  box.Write("empty", "");
  ASSERT_TRUE(Copy("empty", "dst"));
  EXPECT_EQ(box.Read("dst"), "");
}

// The POSIX layer's ways of moving bytes, chosen by injected failures.
#ifndef _WIN32
TEST_F(CopyFile, EveryWayOfMovingTheBytesGivesTheSameCopy) {
  std::string content = szdd_test::AsString(szdd_test::TextSample((2 << 20) + 12345));
  box.Write("src", content);
  auto unsupported = [](int, off_t*, int, off_t*, size_t, unsigned) -> ssize_t { return errno = ENOSYS, -1; };
  auto noSendfile = [](int, int, off_t*, size_t) -> ssize_t { return errno = EINVAL, -1; };
  for (int way = 0; way < 3; ++way) {
    SyscallFaults faults;
    if (way >= 1) faults.sys().copy_file_range = unsupported;
    if (way >= 2) faults.sys().sendfile = noSendfile;
    ASSERT_TRUE(Copy("src", "dst" + std::to_string(way))) << way;
    EXPECT_TRUE(box.Read("dst" + std::to_string(way)) == content) << way;
  }
}
#endif

TEST_F(CopyFile, FailIfExistsKeepsTheExistingFile) {
  box.Write("src", "new");
  box.Write("dst", "old");
  EXPECT_FALSE(Copy("src", "dst", TRUE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
  EXPECT_EQ(box.Read("dst"), "old");
  EXPECT_TRUE(Copy("src", "fresh", TRUE));
  EXPECT_EQ(box.Read("fresh"), "new");
}

TEST_F(CopyFile, FailuresCarryWindowsErrors) {
  box.Write("src", "data");
  EXPECT_FALSE(Copy("missing", "dst"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(box.Exists("dst"));
  EXPECT_FALSE(Copy("src", "nodir\\dst"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  box.Write("ro", "kept");
  box.SetReadOnly("ro", true);
  EXPECT_FALSE(Copy("src", "ro"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(box.Read("ro"), "kept");
  box.MakeDir("dir");
  EXPECT_FALSE(Copy("src", "dir"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

TEST_F(CopyFile, SharingIsRespectedAndACopyOntoItselfLosesNothing) {
  box.Write("src", "data");
  EXPECT_FALSE(Copy("src", "SRC"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(box.Read("src"), "data");

  HANDLE writer = CreateFileA(box.Win("src").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(Copy("src", "dst"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  CloseHandle(writer);

  box.Write("dst", "old");
  HANDLE reader = CreateFileA(box.Win("dst").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(Copy("src", "dst"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  CloseHandle(reader);
  EXPECT_EQ(box.Read("dst"), "old");
}

TEST_F(CopyFile, AReadOnlySourceGivesAReadOnlyCopy) {
  box.Write("src", "data");
  box.SetReadOnly("src", true);
  ASSERT_TRUE(Copy("src", "dst"));
  EXPECT_TRUE(GetFileAttributesA(box.Win("dst").c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(box.Read("dst"), "data");
}

// Failures injected through the POSIX layer's system call table.
#ifndef _WIN32
TEST_F(CopyFile, AFailedCopyLeavesNoHalfFile) {
  box.Write("src", std::string(3 << 20, 's'));
  auto full = [](int, off_t*, int, off_t*, size_t, unsigned) -> ssize_t { return errno = ENOSPC, -1; };
  auto brokenRead = [](int, void*, size_t) -> ssize_t { return errno = EIO, -1; };
  auto noRange = [](int, off_t*, int, off_t*, size_t, unsigned) -> ssize_t { return errno = EXDEV, -1; };
  auto noSendfile = [](int, int, off_t*, size_t) -> ssize_t { return errno = ENOSYS, -1; };
  auto noProgress = [](int, const void*, size_t) -> ssize_t { return 0; };
  struct Case {
    const char* what;
    DWORD error;
  } cases[] = {{"disk full", ERROR_DISK_FULL}, {"read fault", ERROR_READ_FAULT}, {"no progress", ERROR_DISK_FULL}};
  for (int i = 0; i < 3; ++i) {
    SyscallFaults faults;
    if (i == 0) faults.sys().copy_file_range = full;
    if (i >= 1) {
      faults.sys().copy_file_range = noRange;
      faults.sys().sendfile = noSendfile;
    }
    if (i == 1) faults.sys().read = brokenRead;
    if (i == 2) faults.sys().write = noProgress;
    EXPECT_FALSE(Copy("src", "dst")) << cases[i].what;
    EXPECT_EQ(GetLastError(), cases[i].error) << cases[i].what;
    EXPECT_FALSE(box.Exists("dst")) << cases[i].what;
  }
}

// When only the time stamp or the attributes cannot be carried over, the
// content is complete: the copy is kept and the call still fails.
TEST_F(CopyFile, ACompleteCopyIsKeptWhenOnlyItsStampFails) {
  std::string data(3 << 20, 's');
  data[12345] = 'x';
  box.Write("src", data);
  for (int i = 0; i < 2; ++i) {
    box.Write("dst", "old");
    SyscallFaults faults;
    if (i == 0) faults.sys().futimens = [](int, const struct timespec*) { return errno = EPERM, -1; };
    if (i == 1) faults.sys().fchmod = [](int, mode_t) { return errno = EPERM, -1; };
    EXPECT_FALSE(Copy("src", "dst")) << i;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << i;
    ASSERT_TRUE(box.Exists("dst")) << i;
    EXPECT_TRUE(box.Read("dst") == data) << i;
  }
}
#endif

}  // namespace
