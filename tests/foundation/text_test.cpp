#include "foundation/text.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "foundation/field_splitter.h"

namespace {

std::string Trim(std::string s) {
  char buf[MAX_PATH];
  std::snprintf(buf, sizeof buf, "%s", s.c_str());
  TrimBlanks(buf);
  return buf;
}

std::string Strip(std::string s) {
  StripLineEnd(&s[0]);
  return s.c_str();
}

TEST(TrimBlanks, RemovesSpacesAndTabsAtBothEndsOnly) {
  EXPECT_EQ(Trim("\t a b \t"), "a b");
  EXPECT_EQ(Trim(" \t  "), "");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim("a\tb"), "a\tb");
  EXPECT_EQ(Trim(std::string(259, ' ')), "");
  EXPECT_EQ(Trim(" " + std::string(258, 'x')), std::string(258, 'x'));
}

TEST(StripLineEnd, RemovesAnyMixOfCrAndLfAtTheEnd) {
  EXPECT_EQ(Strip("abc\r\n"), "abc");
  EXPECT_EQ(Strip("abc\n\r\r"), "abc");
  EXPECT_EQ(Strip("\r\n"), "");
  EXPECT_EQ(Strip("a\rb\n"), "a\rb");
  EXPECT_EQ(Strip(""), "");
}

TEST(DupString, CopiesOrGivesNull) {
  EXPECT_EQ(DupString(nullptr), nullptr);
  std::unique_ptr<char[]> empty(DupString(""));
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty.get(), "");
  const char* source = "ゼファ";
  std::unique_ptr<char[]> copy(DupString(source));
  EXPECT_STREQ(copy.get(), source);
  EXPECT_NE(copy.get(), source);
}

struct SplitCase {
  const char* line;
  int count;
  const char* field0;
  const char* field1;
};

TEST(FieldSplitter, SplitsLikeStrtokAndTrims) {
  const SplitCase cases[] = {
      {"a=b", 2, "a", "b"},  {"=b", 1, "b", ""},     {"a=", 1, "a", ""},   {"a==b", 2, "a", "b"},
      {"a=b=c", 3, "a", "b"}, {" = ", 2, "", ""},    {"===", 0, "", ""},   {"", 0, "", ""},
      {" k = v w ", 2, "k", "v w"}, {"a=b=c=d", 3, "a", "b"},
  };
  FieldSplitter fields;
  for (const SplitCase& c : cases) {
    EXPECT_EQ(fields.Split(c.line, "="), c.count) << c.line;
    EXPECT_STREQ(fields.Field(0), c.field0) << c.line;
    EXPECT_STREQ(fields.Field(1), c.field1) << c.line;
  }
}

TEST(FieldSplitter, FieldsNotFilledReadEmptyAfterAnEarlierSplit) {
  FieldSplitter fields;
  ASSERT_EQ(fields.Split("first=second", "="), 2);
  EXPECT_EQ(fields.Split("only", "="), 1);
  EXPECT_STREQ(fields.Field(0), "only");
  EXPECT_STREQ(fields.Field(1), "");
  EXPECT_EQ(fields.Split("", "="), 0);
  EXPECT_STREQ(fields.Field(0), "");
}

TEST(FieldSplitter, KeyIsIgnoresCase) {
  FieldSplitter fields;
  fields.Split("appname=x", "=");
  EXPECT_TRUE(fields.KeyIs("APPNAME"));
  EXPECT_FALSE(fields.KeyIs("APPNAM"));
}

TEST(FieldSplitter, AnyOfSeveralDelimitersSeparates) {
  FieldSplitter fields;
  EXPECT_EQ(fields.Split("1:a>b", ":>"), 3);
  EXPECT_STREQ(fields.Field(1), "a");
}

}  // namespace
