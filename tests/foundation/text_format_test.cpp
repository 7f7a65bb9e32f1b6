#include "foundation/text_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(FormatText, ConversionsOfTheMessages) {
  char buf[128];
  int n = FormatText(buf, sizeof buf, "ディスク %d を入れてください", 3);
  EXPECT_STREQ(buf, "ディスク 3 を入れてください");
  EXPECT_EQ(n, static_cast<int>(std::strlen(buf)));
  FormatText(buf, sizeof buf, "%d/%d/%d %02d:%02d:%02d", 1996, 4, 3, 9, 5, 7);
  EXPECT_STREQ(buf, "1996/4/3 09:05:07");
  FormatText(buf, sizeof buf, "%u|%d|%d|%u", 4294967295u, -2147483647 - 1, -5, 0u);
  EXPECT_STREQ(buf, "4294967295|-2147483648|-5|0");
  FormatText(buf, sizeof buf, "Error #%u\n", 1234u);
  EXPECT_STREQ(buf, "Error #1234\n");
  FormatText(buf, sizeof buf, "%s %s", "a b", "");
  EXPECT_STREQ(buf, "a b ");
  FormatText(buf, sizeof buf, "100%% %q%");
  EXPECT_STREQ(buf, "100% %q%");
}

TEST(FormatText, NeverWritesPastTheBufferAndNeverSplitsACharacter) {
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(FormatText(buf, 6, "%s", "abcdefgh"), 5);
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(buf[6], 'x');

  // "aソソ" is 5 bytes; in 5 bytes (4 and the terminator) only "aソ" fits.
  EXPECT_EQ(FormatText(buf, 5, "%s", "aソソ"), 3);
  EXPECT_STREQ(buf, "aソ");
  EXPECT_EQ(FormatText(buf, 1, "%s", "abc"), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(FormatText(buf, 4, "%05d", 42), 3);
  EXPECT_STREQ(buf, "000");
}

TEST(CopyText, CutsAtACharacterBoundary) {
  char buf[4];
  EXPECT_EQ(CopyText(buf, sizeof buf, "ab表"), 2u);
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(CopyText(buf, sizeof buf, "abcdef", 2), 2u);
  EXPECT_STREQ(buf, "ab");
}

}  // namespace
