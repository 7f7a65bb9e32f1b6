#include "foundation/exception.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/file.h"

namespace {

File::Except RaiseAndCatch(const char* name) {
  try {
    char local[64];
    std::strcpy(local, name);
    throw File::ExceptOpen(local);
  } catch (File::Except e) {  // by value, as the handlers do
    return e;
  }
  return File::Except("");
}

TEST(Exception, FamilyMessageSurvivesTheRaisingFrameAndEveryCopy) {
  File::Except caught = RaiseAndCatch("C:\\Game\\a.txt");
  EXPECT_STREQ(caught.message, "ファイル'C:\\Game\\a.txt'をオープンできません");
  EXPECT_EQ(caught.message, caught.text);

  File::Except copy = caught;
  std::memset(caught.text, 'x', sizeof caught.text - 1);  // the original changes
  EXPECT_STREQ(copy.message, "ファイル'C:\\Game\\a.txt'をオープンできません");
  EXPECT_EQ(copy.message, copy.text);

  File::Except assigned = File::ExceptClose("b");
  assigned = copy;
  EXPECT_EQ(assigned.message, assigned.text);
  EXPECT_STREQ(assigned.message, copy.message);
}

TEST(Exception, PlainExceptionPointsAtItsConstantTextOrNull) {
  static const char kText[] = "アップデートを中止します";
  Exception e(kText);
  EXPECT_EQ(e.message, kText);
  EXPECT_EQ(Exception().message, nullptr);
}

TEST(Exception, HandlerForAFamilyTakesOnlyThatFamily) {
  bool fileHandler = false;
  try {
    try {
      throw ExceptFileCopy("a", "b");
    } catch (File::Except&) {
      fileHandler = true;
    }
  } catch (Exception& e) {
    EXPECT_STREQ(e.message, "ﾌｧｲﾙ'a'を\nﾌｧｲﾙ'b'にコピーできません");
  }
  EXPECT_FALSE(fileHandler);
}

TEST(Exception, FileCopyMessageHoldsTwoLongPathsOnTwoLines) {
  std::string source(259, 's'), destination(259, 'd');
  ExceptFileCopy e(source.c_str(), destination.c_str());
  std::string text = e.message;
  size_t lineFeed = text.find('\n');
  ASSERT_NE(lineFeed, std::string::npos);
  EXPECT_EQ(text.substr(lineFeed - 2, 2), "を");
  EXPECT_NE(text.find(source), std::string::npos);
  EXPECT_NE(text.find(destination + "'にコピーできません"), std::string::npos);
  ExceptFileCopy copy = e;
  EXPECT_STREQ(copy.message, text.c_str());
}

TEST(Exception, OverlongNameIsCutAtTheBufferEnd) {
  std::string name(2000, 'n');
  File::ExceptOpen e(name.c_str());
  EXPECT_EQ(std::strlen(e.message), sizeof e.text - 1);
  // A double-byte character is never split by the cut.
  // "ファイル'a" is 10 bytes, so the 251st 表 would need bytes 510 and 511.
  std::string japanese = "a";
  for (int i = 0; i < 400; ++i) japanese += "表";
  File::ExceptOpen j(japanese.c_str());
  size_t n = std::strlen(j.message);
  EXPECT_EQ(n, sizeof j.text - 2);
  EXPECT_EQ(std::string(j.message).substr(n - 2), "表");
}

}  // namespace
