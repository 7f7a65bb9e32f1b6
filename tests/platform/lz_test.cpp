// The LZ expansion library of the POSIX layer, as the updater relies on it.
#include <gtest/gtest.h>

#include <string>

#include "codec/reference.h"
#include "platform/posix/files/handles.h"
#include "platform/win32.h"
#include "support/sandbox.h"
#include "support/syscall_faults.h"

namespace {

using szdd_test::Bytes;

class Lz : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(posix::OpenFileCount(), 0u) << "a handle was left open"; }

  INT Open(const std::string& rel, WORD style) {
    std::string path = box.Win(rel);
    return LZOpenFileA(&path[0], &info, style);
  }
  // Copies rel through the library into "out"; returns LZCopy's result.
  LONG CopyOut(const std::string& rel) {
    INT in = Open(rel, OF_READ | OF_SHARE_EXCLUSIVE);
    EXPECT_GE(in, 0);
    INT out = Open("out", OF_CREATE | OF_SHARE_EXCLUSIVE);
    EXPECT_GE(out, 0);
    LONG n = LZCopy(in, out);
    LZClose(out);
    LZClose(in);
    return n;
  }
  void WriteBytes(const std::string& rel, const Bytes& data) { box.Write(rel, szdd_test::AsString(data)); }

  Sandbox box;
  OFSTRUCT info;
};

TEST_F(Lz, ACompressedFileReadsAsItsExpandedContent) {
  Bytes data = szdd_test::TextSample(3 << 20);
  WriteBytes("a.tx_", szdd_test::Compress(data));
  EXPECT_EQ(CopyOut("a.tx_"), LONG(data.size()));
  EXPECT_TRUE(box.Read("out") == szdd_test::AsString(data));
  EXPECT_EQ(info.cBytes, sizeof(OFSTRUCT));
}

TEST_F(Lz, AnyOtherFileReadsUnchanged) {
  for (const std::string& content : {std::string(), std::string("SZDD\x88\xF0\x27\x33" "A", 9),
                                     std::string("plain text that is not compressed"), std::string(3000000, 'p')}) {
    box.Write("p", content);
    EXPECT_EQ(CopyOut("p"), LONG(content.size()));
    EXPECT_EQ(box.Read("out"), content);
    INT h = Open("p", OF_READ);
    EXPECT_EQ(LZSeek(h, 0, 2), LONG(content.size()));
    LZClose(h);
  }
}

TEST_F(Lz, SeekToTheEndGivesTheHeadersLength) {
  // The header's length, without decoding: also where the data says otherwise.
  WriteBytes("c", szdd_test::WithHeader({0xFF, 'a', 'b'}, 123456));
  INT h = Open("c", OF_READ);
  ASSERT_GE(h, 0);
  EXPECT_EQ(LZSeek(h, 0, 2), 123456);
  EXPECT_EQ(LZSeek(h, -6, 1), 123450);
  EXPECT_EQ(LZSeek(h, 1, 2), LZERROR_BADVALUE);
  EXPECT_EQ(LZSeek(h, -1, 0), LZERROR_BADVALUE);
  EXPECT_EQ(LZSeek(h, 0, 3), LZERROR_BADVALUE);
  LZClose(h);
  // Expansion goes on to the end of the data, whatever the header says.
  EXPECT_EQ(CopyOut("c"), 2);
  EXPECT_EQ(box.Read("out"), "ab");
}

TEST_F(Lz, CopyStartsAtTheSeekPosition) {
  Bytes data = szdd_test::BinarySample(2 << 20);
  WriteBytes("c", szdd_test::Compress(data));
  INT in = Open("c", OF_READ);
  INT out = Open("out", OF_CREATE);
  EXPECT_EQ(LZSeek(in, 1500000, 0), 1500000);
  EXPECT_EQ(LZCopy(in, out), LONG(data.size() - 1500000));
  EXPECT_EQ(LZSeek(in, 0, 1), LONG(data.size()));
  LZClose(out);
  LZClose(in);
  EXPECT_TRUE(box.Read("out") == szdd_test::AsString(Bytes(data.begin() + 1500000, data.end())));
}

TEST_F(Lz, DamagedOrUnreadableDataIsAReadError) {
  Bytes file = szdd_test::WithHeader({0x01, 'x', 0x10}, 2);  // ends inside a match
  WriteBytes("t", file);
  EXPECT_EQ(CopyOut("t"), LZERROR_READ);
  EXPECT_EQ(box.Read("out"), "x");

  WriteBytes("c", szdd_test::Compress(szdd_test::TextSample(100000)));
  box.Write("p", "plain");
  SyscallFaults faults;
  INT in = Open("c", OF_READ);
  INT plain = Open("p", OF_READ);
  INT out = Open("out", OF_CREATE);
  faults.sys().read = FailRead<EIO>;
  EXPECT_EQ(LZCopy(in, out), LZERROR_READ);
  EXPECT_EQ(LZCopy(plain, out), LZERROR_READ);
  LZClose(plain);
  LZClose(out);
  LZClose(in);
}

ssize_t writeBudget;
ssize_t WriteWithinBudget(int fd, const void* buf, size_t n) {
  size_t part = std::min<size_t>(n, static_cast<size_t>(writeBudget));
  writeBudget -= static_cast<ssize_t>(part);
  return part ? posix::RealSyscalls().write(fd, buf, part) : 0;
}

TEST_F(Lz, AFullDiskIsAWriteErrorEvenWhenTheWriteComesUpShort) {
  WriteBytes("c", szdd_test::Compress(szdd_test::TextSample(3 << 20)));
  box.Write("p", std::string(3 << 20, 'p'));
  for (const char* source : {"c", "p"}) {
    for (bool failing : {false, true}) {
      SyscallFaults faults;
      writeBudget = 1 << 20;
      faults.sys().write = failing ? FailWrite<ENOSPC> : WriteWithinBudget;
      EXPECT_EQ(CopyOut(source), LZERROR_WRITE) << source;
    }
  }
}

TEST_F(Lz, OpenFailuresAreBadInHandles) {
  EXPECT_EQ(Open("missing", OF_READ), LZERROR_BADINHANDLE);
  EXPECT_EQ(info.nErrCode, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open("nodir\\x", OF_CREATE), LZERROR_BADINHANDLE);
  EXPECT_EQ(info.nErrCode, ERROR_PATH_NOT_FOUND);
  // A compressed file of a mode no one knows is refused, not copied raw.
  Bytes odd = szdd_test::WithHeader({0xFF, 'a'}, 1);
  odd[8] = 'B';
  WriteBytes("odd", odd);
  EXPECT_EQ(Open("odd", OF_READ), LZERROR_BADINHANDLE);
  box.Write("f", "x");
  EXPECT_EQ(Open("f", OF_READ | 0x0200 /* OF_DELETE */), LZERROR_BADINHANDLE);
  {
    SyscallFaults faults;
    faults.sys().read = FailRead<EIO>;
    EXPECT_EQ(Open("f", OF_READ), LZERROR_BADINHANDLE);
  }
  EXPECT_EQ(LZCopy(-1, 0), LZERROR_BADINHANDLE);
  INT h = Open("f", OF_READ);
  EXPECT_EQ(LZCopy(h, 999), LZERROR_BADOUTHANDLE);
  EXPECT_EQ(LZSeek(999, 0, 2), LZERROR_BADINHANDLE);
  LZClose(h);
  LZClose(h);  // a second close does nothing
}

TEST_F(Lz, AtMostSixteenCompressedFilesAreOpenAtOnce) {
  WriteBytes("c", szdd_test::Compress(szdd_test::TextSample(100)));
  box.Write("p", "plain");
  std::vector<INT> handles;
  for (int i = 0; i < 16; ++i) {
    handles.push_back(Open("c", OF_READ));
    ASSERT_GE(handles.back(), 0);
  }
  EXPECT_EQ(Open("c", OF_READ), LZERROR_GLOBALLOC);
  INT plain = Open("p", OF_READ);  // plain files take no compressed slot
  EXPECT_GE(plain, 0);
  LZClose(plain);
  LZClose(handles.back());
  handles.pop_back();
  INT again = Open("c", OF_READ);
  EXPECT_GE(again, 0);
  LZClose(again);
  for (INT h : handles) LZClose(h);
}

TEST_F(Lz, SharingFollowsTheOpenStyle) {
  WriteBytes("c", szdd_test::Compress(szdd_test::TextSample(100)));
  std::string path = box.Win("c");
  auto openRead = [&](DWORD share) {
    return CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  // Exclusive: nobody else opens the file, not even to read.
  INT h = Open("c", OF_READ | OF_SHARE_EXCLUSIVE);
  ASSERT_GE(h, 0);
  EXPECT_EQ(openRead(FILE_SHARE_READ | FILE_SHARE_WRITE), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  LZClose(h);

  // Compatibility mode reads beside a reader that shares reading only.
  HANDLE reader = openRead(FILE_SHARE_READ);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  h = Open("c", OF_READ);
  EXPECT_GE(h, 0);
  LZClose(h);
  EXPECT_EQ(Open("c", OF_READ | OF_SHARE_EXCLUSIVE), LZERROR_BADINHANDLE);
  EXPECT_EQ(info.nErrCode, ERROR_SHARING_VIOLATION);
  EXPECT_EQ(Open("c", OF_CREATE | OF_SHARE_EXCLUSIVE), LZERROR_BADINHANDLE);
  CloseHandle(reader);
  EXPECT_EQ(box.Read("c").size(), szdd_test::Compress(szdd_test::TextSample(100)).size());
}

TEST_F(Lz, CreateMakesOrEmptiesTheFile) {
  box.Write("old", "previous contents");
  INT h = Open("old", OF_CREATE | OF_SHARE_EXCLUSIVE);
  ASSERT_GE(h, 0);
  LZClose(h);
  EXPECT_EQ(box.Read("old"), "");
  h = Open("new", OF_CREATE | OF_SHARE_EXCLUSIVE);
  ASSERT_GE(h, 0);
  LZClose(h);
  EXPECT_TRUE(box.Exists("new"));
  box.SetReadOnly("old", true);
  EXPECT_EQ(Open("old", OF_CREATE), LZERROR_BADINHANDLE);
  EXPECT_EQ(info.nErrCode, ERROR_ACCESS_DENIED);
}

}  // namespace
