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

TEST(JoinPath, CutsAnOverlongResultAt259Bytes) {
  std::string dir(250, 'd');
  std::string joined = Join(dir, std::string(100, 'n'));
  EXPECT_EQ(joined.size(), 259u);
  EXPECT_EQ(joined.substr(0, 251), dir + "\\");
  EXPECT_EQ(Join(std::string(300, 'd'), "x"), std::string(259, 'd'));
  // The cut never leaves half a character: 257 + "\" + 表 would need 260 bytes.
  EXPECT_EQ(Join(std::string(257, 'd'), "表"), std::string(257, 'd') + "\\");
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

TEST(SplitPath, CutsOverlongPartsWithoutOverrun) {
  std::string dir(300, 'd'), name(300, 'n');
  Parts parts = Split(dir + "\\" + name);
  EXPECT_EQ(parts.first, std::string(259, 'd'));
  EXPECT_EQ(parts.second, std::string(259, 'n'));
  std::string wide;
  for (int i = 0; i < 140; ++i) wide += "表";
  parts = Split(wide + "\\x");
  EXPECT_EQ(parts.first.size(), 258u);  // 129 characters; the 130th would not fit
  EXPECT_EQ(parts.second, "x");
}

TEST(HasParentComponent, FindsEveryFormOfTheParent) {
  for (const char* bad : {"..", "..\\a", "a\\..\\..\\b", "a/../b", "...", ". .\\a", "a\\.. ", "..."})
    EXPECT_TRUE(HasParentComponent(bad)) << bad;
  for (const char* good : {"", "a", ".", ".\\a", "a..b", "..a", "a..", "data\\stage.dat", "\\a.txt", "C:\\x",
                           "ソ..", "表\\."})
    EXPECT_FALSE(HasParentComponent(good)) << good;
}

}  // namespace
