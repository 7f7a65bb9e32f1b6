// How the POSIX layer maps Windows paths onto the host through the prefix.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "platform/posix/files/paths.h"
#include "platform/win32.h"
#include "support/sandbox.h"

namespace {

class PathMapping : public ::testing::Test {
 protected:
  std::string Map(const std::string& windows, DWORD expectError = 0) {
    std::string host;
    EXPECT_EQ(posix::MapPath(windows.c_str(), &host), expectError) << windows;
    return host;
  }
  std::string Windows(const std::string& host) {
    std::string windows;
    EXPECT_TRUE(posix::WindowsPath(host, &windows)) << host;
    return windows;
  }
  std::string Real(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? buf : path;
  }
  Sandbox box;
};

class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::string& dir) {
    saved_ = getcwd(buf_, sizeof buf_) ? buf_ : "/";
    EXPECT_EQ(chdir(dir.c_str()), 0);
  }
  ~CurrentDirectory() { (void)!chdir(saved_.c_str()); }

 private:
  char buf_[PATH_MAX];
  std::string saved_;
};

TEST_F(PathMapping, DrivesMapThroughDosdevices) {
  box.MakeDir("Game");
  EXPECT_EQ(Map("C:\\Game\\a.txt"), box.Prefix() + "/dosdevices/c:/Game/a.txt");
  EXPECT_EQ(Map("c:/Game/a.txt"), box.Prefix() + "/dosdevices/c:/Game/a.txt");
  EXPECT_EQ(Map("C:\\"), box.Prefix() + "/dosdevices/c:/");
  EXPECT_EQ(Map("C:"), box.Prefix() + "/dosdevices/c:");
  Map("Q:\\x", ERROR_PATH_NOT_FOUND);
  // Z: is the host's root where the prefix does not say otherwise.
  EXPECT_EQ(Map("Z:\\etc\\passwd"), "/etc/passwd");
  ASSERT_EQ(symlink(box.Host("Game").c_str(), (box.Prefix() + "/dosdevices/z:").c_str()), 0);
  EXPECT_EQ(Map("Z:\\a"), box.Prefix() + "/dosdevices/z:/a");
}

TEST_F(PathMapping, ComponentsAreNormalizedAsWindowsDoes) {
  std::string c = box.Prefix() + "/dosdevices/c:";
  EXPECT_EQ(Map("C:\\a\\.\\b\\..\\c"), c + "/a/c");
  EXPECT_EQ(Map("C:\\..\\..\\x"), c + "/x");  // never above the root of the drive
  EXPECT_EQ(Map("C:\\a\\\\b"), c + "/a/b");
  EXPECT_EQ(Map("C:\\name. . "), c + "/name");  // final dots and blanks of the last name
  EXPECT_EQ(Map("C:\\dir.\\x"), c + "/dir/x");   // a single final dot of a folder
  EXPECT_EQ(Map("C:\\dir\\"), c + "/dir/");
  for (const char* bad : {"C:\\a<b", "C:\\a>b", "C:\\a\"b", "C:\\a|b", "C:\\a?", "C:\\a*", "C:\\Game\\C:\\x",
                          "C:\\a\tb"})
    Map(bad, ERROR_INVALID_NAME);
  Map("\\\\server\\share\\x", ERROR_BAD_NETPATH);
  Map("", ERROR_PATH_NOT_FOUND);
  // 259 characters fit MAX_PATH with the terminator, 260 do not; a final
  // separator counts.
  std::string longest = "C:\\" + std::string(100, 'a') + "\\" + std::string(155, 'b');
  ASSERT_EQ(longest.size(), 259u);
  EXPECT_EQ(Map(longest), c + "/" + std::string(100, 'a') + "/" + std::string(155, 'b'));
  Map(longest + "b", ERROR_FILENAME_EXCED_RANGE);
  Map(longest + "\\", ERROR_FILENAME_EXCED_RANGE);
  EXPECT_EQ(Map("C:\\" + std::string(255, 'a')), c + "/" + std::string(255, 'a'));
}

TEST_F(PathMapping, RelativePathsStartAtTheCurrentDirectory) {
  box.MakeDir("Work");
  CurrentDirectory cwd(box.Host("Work"));
  std::string c = box.Prefix() + "/dosdevices/c:";
  EXPECT_EQ(Map("a.txt"), c + "/Work/a.txt");
  EXPECT_EQ(Map("..\\a.txt"), c + "/a.txt");
  EXPECT_EQ(Map("\\Orbane.fix"), c + "/Orbane.fix");  // the root of the current drive
  EXPECT_EQ(Map("C:a.txt"), c + "/Work/a.txt");
  EXPECT_EQ(Map("Z:a.txt"), "/a.txt");
}

TEST_F(PathMapping, ExistingNamesAreFoundIgnoringCaseAsCp932Text) {
  box.MakeDir("Data");
  box.MakeDir("ゲーム");
  box.Write("Data\\Ｓｔａｇｅ.DAT", "");
  box.Write("ゲーム\\Ωmega", "");
  std::string c = box.Prefix() + "/dosdevices/c:";
  EXPECT_EQ(Map("C:\\data\\ｓｔａｇｅ.dat"), c + u8"/Data/Ｓｔａｇｅ.DAT");
  EXPECT_EQ(Map("C:\\ゲーム\\ωMEGA"), c + u8"/ゲーム/Ωmega");
  // A missing component and all after it are taken as written.
  EXPECT_EQ(Map("C:\\DATA\\New\\File"), c + "/Data/New/File");
  // The exact name wins over one equal in another case.
  box.Write("data", "");
  EXPECT_EQ(Map("C:\\data"), c + "/data");
  Map("C:\\\x82", ERROR_INVALID_NAME);  // a lead byte without its trail byte
}

TEST_F(PathMapping, HostPathsHaveAWindowsForm) {
  box.MakeDir("Game");
  box.MakeDir("ソフト");
  EXPECT_EQ(Windows(box.Host("Game")), "C:\\Game");
  EXPECT_EQ(Windows(box.Host("ソフト") + "/new file"), "C:\\ソフト\\new file");
  EXPECT_EQ(Windows(box.Host("")), "C:\\");
  EXPECT_EQ(Windows("/usr/bin"), "Z:\\usr\\bin");
  EXPECT_EQ(Windows("/"), "Z:\\");
  // The drive whose folder holds the path most closely wins.
  ASSERT_EQ(symlink(box.Host("Game").c_str(), (box.Prefix() + "/dosdevices/d:").c_str()), 0);
  EXPECT_EQ(Windows(box.Host("Game") + "/x"), "D:\\x");
  {
    CurrentDirectory cwd(box.Host("ソフト"));
    EXPECT_EQ(Windows("rel"), "C:\\ソフト\\rel");
  }
  // A name that CP932 cannot write has no Windows form.
  std::string windows;
  EXPECT_FALSE(posix::WindowsPath(box.Host("Game") + "/\xF0\x9F\x98\x80", &windows));
}

// A backslash in a host name would split it into two Windows names: the path
// would name another file.
TEST_F(PathMapping, AHostNameWithABackslashHasNoWindowsForm) {
  std::string folder = box.Host() + "/upd\\ate";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  std::string windows;
  SetLastError(0);
  EXPECT_FALSE(posix::WindowsPath(folder + "/Tavrix.bin", &windows)) << windows;
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME));
  EXPECT_FALSE(posix::WindowsPath(folder, &windows)) << windows;
  // A second byte 0x5C of a double-byte character is no backslash.
  box.MakeDir("表");
  EXPECT_EQ(Windows(box.Host("表") + "/x"), box.Win("表\\x"));
}

// The launcher passes its own folder to the updater as a Windows path; a host
// name that Windows would read otherwise must not lead to another folder.
TEST_F(PathMapping, HostNamesThatWindowsReadsOtherwiseHaveNoWindowsForm) {
  box.MakeDir("a");
  box.MakeDir("a\\b");  // the folder that C:\a\b names
  box.MakeDir("x");
  std::string windows;
  for (const char* name : {"a\\b", "a\"b", "a:b", "a*b", "a?b", "a<b", "a>b", "a|b", "a\nb", "x.", "x ", "x.."}) {
    std::string host = box.Prefix() + "/drive_c/" + name;
    ASSERT_EQ(mkdir(host.c_str(), 0755), 0) << name;
    EXPECT_FALSE(posix::WindowsPath(host + "/Orbane", &windows)) << name << " gave " << windows;
  }
  // A backslash as the trail byte of a character is part of its name.
  box.MakeDir("ソフト");
  EXPECT_EQ(Windows(box.Host("ソフト") + "/Orbane"), "C:\\ソフト\\Orbane");
  EXPECT_EQ(Windows(box.Host("x") + "/.a b"), "C:\\x\\.a b");
}

TEST_F(PathMapping, FilesAreReachedThroughJapaneseNames) {
  box.MakeDir("表示");
  std::string path = "C:\\表示\\ソ.txt";
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  struct stat st;
  EXPECT_EQ(stat(box.Host("表示\\ソ.txt").c_str(), &st), 0);
}

}  // namespace
