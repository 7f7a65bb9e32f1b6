// The system's formatter, which stands in for wsprintfA everywhere, held to
// what Wine's conformance tests expect of wsprintfA on Windows:
// dlls/user32/tests/wsprintf.c of wine-mirror/wine, commit
// 08bf605acb4d319e016a7eafe0c675509445bd4a. Each case names the line
// (wsprintf.c:N) whose expectation it checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "foundation/text_format.h"

namespace {

TEST(WsprintfConformance, ZeroPaddedNegativeLong) {
  char buf[25];
  int rc = FormatText(buf, sizeof buf, "%010ld", -1);
  EXPECT_EQ(rc, 10);                // wsprintf.c:79
  EXPECT_STREQ(buf, "-000000001");  // wsprintf.c:80
}

TEST(WsprintfConformance, APrecisionCountsBytesAndMaySplitADoubleByteCharacter) {
  // The star (U+2606) is two bytes in code page 932; "%.1s" gives the first.
  const std::string star = "☆";
  ASSERT_EQ(star.size(), 2u);
  char buf[25];
  std::fill(buf, buf + sizeof buf, '\x11');
  int rc = FormatText(buf, sizeof buf, "%.1s", star.c_str());
  EXPECT_EQ(rc, 1);                                // wsprintf.c:111 (the case of wsprintf.c:72)
  EXPECT_EQ(std::string(buf), star.substr(0, 1));  // wsprintf.c:115
}

}  // namespace
