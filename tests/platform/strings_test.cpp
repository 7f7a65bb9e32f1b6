// The ANSI string functions as the programs rely on them, on code page 932.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32.h"

namespace {

TEST(Strings, CodePageIs932WithItsLeadBytes) {
  EXPECT_EQ(GetACP(), 932u);
  for (int c : {0x81, 0x83, 0x95, 0x9F, 0xE0, 0xFC}) EXPECT_TRUE(IsDBCSLeadByte(static_cast<BYTE>(c))) << c;
  for (int c : {0x00, 0x41, 0x5C, 0x7F, 0x80, 0xA0, 0xB1, 0xDF, 0xFD}) EXPECT_FALSE(IsDBCSLeadByte(static_cast<BYTE>(c))) << c;
}

TEST(Strings, CompareIgnoringCaseFoldsLettersButNeverATrailByte) {
  EXPECT_EQ(lstrcmpiA("Orbane.FIX", "orbane.fix"), 0);
  EXPECT_EQ(lstrcmpiA("NORMAL", "normal"), 0);
  EXPECT_NE(lstrcmpiA("NORMAL", "NORMAL2"), 0);
  EXPECT_NE(lstrcmpiA("", "a"), 0);
  EXPECT_EQ(lstrcmpiA("", ""), 0);
  EXPECT_EQ(lstrcmpiA("C:\\ゲーム\\Data", "c:\\ゲーム\\DATA"), 0);
  // ツ is 83 63 and イ is 83 43: folding the trail byte 'c' would make them equal.
  ASSERT_EQ(std::memcmp("ツイ", "\x83\x63\x83\x43", 4), 0);
  EXPECT_NE(lstrcmpiA("ツ", "イ"), 0);
  EXPECT_NE(lstrcmpiA("aツ", "Aイ"), 0);
  EXPECT_LT(lstrcmpiA("a", "b"), 0);
  EXPECT_GT(lstrcmpiA("B", "a"), 0);
}

TEST(Strings, CopyConcatenateMeasure) {
  char buf[32];
  EXPECT_EQ(lstrcpyA(buf, "ゼファ"), buf);
  EXPECT_EQ(lstrcatA(buf, " Fix"), buf);
  EXPECT_STREQ(buf, "ゼファ Fix");
  EXPECT_EQ(lstrlenA(buf), 10);
  EXPECT_EQ(lstrlenA(""), 0);
}

}  // namespace
