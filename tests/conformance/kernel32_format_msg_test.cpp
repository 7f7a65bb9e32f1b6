// FormatMessageA held to what Wine's conformance tests expect of Windows:
// dlls/kernel32/tests/format_msg.c of wine-mirror/wine, commit
// 0521925cd5881d417153057f41dadc63e991c022. Each case names the line
// (format_msg.c:N) whose expectation it checks. The layer knows the system's
// texts of the error codes it sets, and no other source.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32.h"

namespace {

TEST(FormatMessageConformance, FlagsWithoutASourceAreRefusedAndTheBufferLeft) {
  struct {
    DWORD flags;
    int line;  // of the check of the result; the buffer's follows, the error's two further
  } const cases[] = {{0, 1551},
                     {FORMAT_MESSAGE_IGNORE_INSERTS, 1570},
                     {0x2000 /* FORMAT_MESSAGE_ARGUMENT_ARRAY */, 1580},
                     {0xFF /* FORMAT_MESSAGE_MAX_WIDTH_MASK */, 1590}};
  for (const auto& c : cases) {
    char out[5];
    std::memset(out, 'x', sizeof out);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(c.flags, "test", 0, 0, out, sizeof out, nullptr), 0u) << "format_msg.c:" << c.line;
    EXPECT_EQ(std::memcmp(out, "xxxxx", 5), 0) << "format_msg.c:" << c.line + 1;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << "format_msg.c:" << c.line + 3;
  }
}

TEST(FormatMessageConformance, NoBufferIsABufferTooSmall) {
  for (DWORD size : {0u, 1u}) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0, 0, nullptr, size, nullptr), 0u)
        << "format_msg.c:" << (size ? 1194 : 1188);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER)) << "format_msg.c:" << (size ? 1195 : 1189);
  }
}

// The layer's own account, beyond Wine's cases: a text is given with or
// without FORMAT_MESSAGE_IGNORE_INSERTS, but one that has an insert only
// with it, as none is ever filled in.
TEST(FormatMessageConformance, InsertsAreNeverFilledIn) {
  char out[256] = "";
  ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, 0, out, sizeof out, nullptr), 0u);
  EXPECT_STREQ(out, "指定されたファイルが見つかりません。\r\n");
  SetLastError(0xdeadbeef);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_MR_MID_NOT_FOUND, 0, out, sizeof out, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_MR_MID_NOT_FOUND,
                           0, out, sizeof out, nullptr),
            0u);
  EXPECT_NE(std::strstr(out, "%1"), nullptr);
}

}  // namespace
