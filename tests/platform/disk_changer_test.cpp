// The disk changer seam: a lookup of a file missing from the root of the
// changer's drive asks the changer once, and is made again when it changed
// the disk. A changer of the test's own answers on a thread.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/files/disk_changer.h"
#include "platform/win32.h"
#include "support/sandbox.h"
#include "support/scoped_env.h"

namespace {

// Serves requests until it is destroyed: records each name asked for, and
// points drive D: at the folder "disk2" when that folder holds the name.
class TestChanger {
 public:
  explicit TestChanger(const Sandbox& box) : box_(box), socketPath_(box.Prefix() + "/changer") {
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    socketPath_.copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(listener_, 4), 0);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TestChanger() {
    stop_ = true;
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
  }
  std::string Variable(char drive = 'D') const { return std::string(1, drive) + ":" + socketPath_; }
  std::vector<std::string> asked;

 private:
  void Serve() {
    while (!stop_) {
      int fd = accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      std::string name;
      char c;
      while (read(fd, &c, 1) == 1 && c != '\n') name += c;
      asked.push_back(name);
      bool held = box_.Exists("disk2\\" + name);
      if (held) {
        std::string link = box_.Prefix() + "/dosdevices/d:";
        unlink(link.c_str());
        EXPECT_EQ(symlink(box_.Host("disk2").c_str(), link.c_str()), 0);
      }
      std::string answer = held ? "changed\n" : "absent\n";
      EXPECT_EQ(write(fd, answer.data(), answer.size()), ssize_t(answer.size()));
      close(fd);
    }
  }

  const Sandbox& box_;
  std::string socketPath_;
  int listener_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class DiskChanger : public ::testing::Test {
 protected:
  void SetUp() override {
    box.MakeDir("disk1");
    box.MakeDir("disk2");
    box.MakeDir("disk2\\sub");
    box.Write("disk1\\disk1.fix", "");
    box.Write("disk2\\disk2.fix", "");
    box.Write("disk2\\sub\\deep.dat", "");
    ASSERT_EQ(symlink(box.Host("disk1").c_str(), (box.Prefix() + "/dosdevices/d:").c_str()), 0);
  }
  Sandbox box;
};

TEST_F(DiskChanger, MissingLabelInTheRootBringsTheDiskThatHoldsIt) {
  TestChanger changer(box);
  ScopedEnv env(posix::kDiskChangerVariable, changer.Variable());
  EXPECT_EQ(GetFileAttributesA("D:\\disk2.fix"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(changer.asked, std::vector<std::string>{"disk2.fix"});
  // Now in the drive: found without asking.
  EXPECT_NE(GetFileAttributesA("d:/DISK2.FIX"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(changer.asked.size(), 1u);
}

TEST_F(DiskChanger, NoDiskHoldsItAndTheLookupFailsAsWithout) {
  TestChanger changer(box);
  ScopedEnv env(posix::kDiskChangerVariable, changer.Variable());
  SetLastError(0);
  EXPECT_EQ(GetFileAttributesA("D:\\disk3.fix"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(changer.asked, std::vector<std::string>{"disk3.fix"});
  EXPECT_NE(GetFileAttributesA("D:\\disk1.fix"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DiskChanger, AskedOnlyForTheRootOfItsOwnDrive) {
  TestChanger changer(box);
  ScopedEnv env(posix::kDiskChangerVariable, changer.Variable());
  EXPECT_EQ(GetFileAttributesA("D:\\sub\\deep.dat"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA("C:\\disk2.fix"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA("D:disk2.fix"), INVALID_FILE_ATTRIBUTES);  // relative to D:'s current folder
  EXPECT_NE(GetFileAttributesA("D:\\disk1.fix"), INVALID_FILE_ATTRIBUTES);  // present: nothing to ask
  EXPECT_TRUE(changer.asked.empty());
  // Opening is not a lookup: a program that opens a file of another disk
  // finds it missing, as on Windows.
  EXPECT_EQ(CreateFileA("D:\\disk2.fix", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_TRUE(changer.asked.empty());
}

TEST_F(DiskChanger, WithoutAChangerOrWhenItIsGoneALookupJustFails) {
  EXPECT_EQ(GetFileAttributesA("D:\\disk2.fix"), INVALID_FILE_ATTRIBUTES);
  ScopedEnv env(posix::kDiskChangerVariable, "D:" + box.Prefix() + "/no-changer");
  SetLastError(0);
  EXPECT_EQ(GetFileAttributesA("D:\\disk2.fix"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(DiskChanger, AChangerThatNeverAnswersFailsTheLookupInsteadOfHangingIt) {
  std::string path = box.Prefix() + "/silent";
  int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  // Takes the request and holds the connection without a word, for far
  // longer than a changer may take, or until the lookup has given up.
  std::atomic<bool> lookupDone{false}, gaveUpWaiting{false};
  std::thread silent([&] {
    int fd = accept(listener, nullptr, nullptr);
    for (int i = 0; i < 300 && !lookupDone; ++i) usleep(100 * 1000);
    gaveUpWaiting = !lookupDone;
    if (fd >= 0) close(fd);
  });
  ScopedEnv env(posix::kDiskChangerVariable, "D:" + path);
  SetLastError(0);
  EXPECT_EQ(GetFileAttributesA("D:\\disk2.fix"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  lookupDone = true;
  silent.join();
  close(listener);
  EXPECT_FALSE(gaveUpWaiting) << "the lookup waited until the changer hung up";
}

TEST(DiskChangerNames, RootFileNameTakesOneNameAfterTheDrive) {
  std::string name;
  EXPECT_TRUE(posix::RootFileName("d:\\disk1.fix", 'D', &name));
  EXPECT_EQ(name, "disk1.fix");
  // ソ ends in 0x5C, which is no separator.
  EXPECT_TRUE(posix::RootFileName("D:\\\x83\x5C.fix", 'D', &name));
  EXPECT_EQ(name, "\x83\x5C.fix");
  EXPECT_FALSE(posix::RootFileName("D:\\a\\b", 'D', &name));
  EXPECT_FALSE(posix::RootFileName("D:\\", 'D', &name));
  EXPECT_FALSE(posix::RootFileName("E:\\disk1.fix", 'D', &name));
  EXPECT_FALSE(posix::RootFileName("D:disk1.fix", 'D', &name));
  EXPECT_FALSE(posix::RootFileName("\\disk1.fix", 'D', &name));
}

}  // namespace
