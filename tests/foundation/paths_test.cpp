#include "foundation/paths.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"

namespace {

std::string Join(const std::string& dir, const std::string& name) {
  char dest[MAX_PATH];
  JoinPath(dest, dir.c_str(), name.c_str());
  return dest;
}

std::pair<std::string, std::string> Split(const std::string& path) {
  char dir[MAX_PATH], name[MAX_PATH];
  SplitPath(dir, name, path.c_str());
  return {dir, name};
}

using Parts = std::pair<std::string, std::string>;

TEST(JoinPath, AddsOneSeparatorUnlessTheDirectoryEndsInOne) {
  EXPECT_EQ(Join("C:\\Game", "a.txt"), "C:\\Game\\a.txt");
  EXPECT_EQ(Join("C:\\", "a.txt"), "C:\\a.txt");
  EXPECT_EQ(Join("", "a.txt"), "\\a.txt");
  EXPECT_EQ(Join("C:\\Game", ""), "C:\\Game\\");
  EXPECT_EQ(Join("C:\\Game", "\\a.txt"), "C:\\Game\\\\a.txt");
  EXPECT_EQ(Join("C:", "Tavrix.bin"), "C:\\Tavrix.bin");
}

TEST(JoinPath, ATrailByte5CIsNoSeparator) {
  // ソ is 83 5C and 表 is 95 5C: the directory does not end in a separator.
  EXPECT_EQ(Join("C:\\ソ", "a.txt"), "C:\\ソ\\a.txt");
  EXPECT_EQ(Join("C:\\データ表", "a"), "C:\\データ表\\a");
  EXPECT_EQ(Join("C:\\能\\", "a"), "C:\\能\\a");
}

// A path holds at most 259 bytes; one that does not fit is reported, and
// what is stored of it is cut at a character boundary, for a message.
TEST(JoinPath, TellsWhetherTheResultFitsInAPath) {
  char dest[MAX_PATH];
  // 表 (two bytes) ends at byte 258, 259 and then 260 of the result.
  for (size_t end : {258, 259, 260}) {
    std::string dir(end - 2 - 1 - 5, 'd');
    bool fits = JoinPath(dest, dir.c_str(), "MAINX表");
    EXPECT_EQ(fits, end <= 259) << end;
    if (fits) {
      EXPECT_EQ(std::string(dest), dir + "\\MAINX表");
    }
  }
  // The cut never leaves half a character: 252 + "\MAINX" + 表 needs 260.
  EXPECT_FALSE(JoinPath(dest, std::string(252, 'd').c_str(), "MAINX表"));
  EXPECT_EQ(std::string(dest), std::string(252, 'd') + "\\MAINX");
  // The separator that would end the path, and a directory alone too long.
  EXPECT_TRUE(JoinPath(dest, std::string(258, 'd').c_str(), ""));
  EXPECT_FALSE(JoinPath(dest, std::string(259, 'd').c_str(), ""));
  EXPECT_EQ(std::string(dest), std::string(259, 'd'));
  EXPECT_TRUE(JoinPath(dest, (std::string(258, 'd') + "\\").c_str(), ""));
  EXPECT_FALSE(JoinPath(dest, std::string(300, 'd').c_str(), "x"));
  EXPECT_EQ(std::string(dest), std::string(259, 'd'));
  std::string dir(250, 'd');
  EXPECT_FALSE(JoinPath(dest, dir.c_str(), std::string(100, 'n').c_str()));
  EXPECT_EQ(std::string(dest), dir + "\\" + std::string(8, 'n'));
}

TEST(SplitPath, SplitsAtTheLastSeparator) {
  EXPECT_EQ(Split("C:\\Game\\a.txt"), Parts("C:\\Game", "a.txt"));
  EXPECT_EQ(Split("C:\\a.txt"), Parts("C:", "a.txt"));
  EXPECT_EQ(Split("a.txt"), Parts("", "a.txt"));
  EXPECT_EQ(Split("C:\\Game\\"), Parts("C:\\Game", ""));
  EXPECT_EQ(Split(""), Parts("", ""));
  EXPECT_EQ(Split("C:/Game/a.txt"), Parts("", "C:/Game/a.txt"));
}

TEST(SplitPath, ATrailByte5CIsNoSeparator) {
  EXPECT_EQ(Split("C:\\ソフト\\表"), Parts("C:\\ソフト", "表"));
  EXPECT_EQ(Split("表"), Parts("", "表"));
  EXPECT_EQ(Split("C:\\能力.txt"), Parts("C:", "能力.txt"));
}

TEST(SplitPath, TellsWhetherBothPartsFit) {
  char dir[MAX_PATH], name[MAX_PATH];
  EXPECT_TRUE(SplitPath(dir, name, (std::string(259, 'd') + "\\" + std::string(259, 'n')).c_str()));
  EXPECT_EQ(std::string(dir), std::string(259, 'd'));
  EXPECT_EQ(std::string(name), std::string(259, 'n'));
  EXPECT_FALSE(SplitPath(dir, name, (std::string(300, 'd') + "\\" + std::string(300, 'n')).c_str()));
  EXPECT_EQ(std::string(dir), std::string(259, 'd'));
  EXPECT_EQ(std::string(name), std::string(259, 'n'));
  EXPECT_FALSE(SplitPath(dir, name, ("C:\\" + std::string(260, 'n')).c_str()));
  EXPECT_EQ(std::string(dir), "C:");
  EXPECT_FALSE(SplitPath(dir, name, std::string(260, 'n').c_str()));
  std::string wide;
  for (int i = 0; i < 140; ++i) wide += "表";
  EXPECT_FALSE(SplitPath(dir, name, (wide + "\\x").c_str()));
  EXPECT_EQ(std::string(dir).size(), 258u);  // 129 characters; the 130th would not fit
  EXPECT_EQ(std::string(name), "x");
  // A cut directory leaves no room for a name of two bytes.
  char joined[MAX_PATH];
  EXPECT_FALSE(JoinPath(joined, dir, "xy"));
}

TEST(HasParentComponent, FindsEveryFormOfTheParent) {
  for (const char* bad : {"..", "..\\a", "a\\..\\..\\b", "a/../b", "...", ". .\\a", "a\\.. ", "..."})
    EXPECT_TRUE(HasParentComponent(bad)) << bad;
  for (const char* good : {"", "a", ".", ".\\a", "a..b", "..a", "a..", "data\\stage.dat", "\\a.txt", "C:\\x",
                           "ソ..", "表\\."})
    EXPECT_FALSE(HasParentComponent(good)) << good;
}

}  // namespace
