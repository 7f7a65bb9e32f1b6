// The names a medium gives its files and the lines its script has for them.
#include <gtest/gtest.h>

#include "medium_name.h"
#include "script_text.h"

namespace {

using mkmedium::CompressedName;

std::string Compressed(const std::string& name, uint8_t* missing = nullptr) {
  uint8_t m;
  std::string out = CompressedName(name, &m);
  if (missing) *missing = m;
  return out;
}

TEST(Naming, TheCompressedNameEndsInAnUnderscore) {
  uint8_t missing;
  EXPECT_EQ(Compressed("MAIN.EXE", &missing), "MAIN.EX_");
  EXPECT_EQ(missing, 'E');
  EXPECT_EQ(Compressed("data\\stage.dat"), "data\\stage.da_");
  EXPECT_EQ(Compressed("photo.jpeg"), "photo.jpe_");
  EXPECT_EQ(Compressed("A.C", &missing), "A.C_");  // short extensions keep every letter
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(Compressed("A.CC"), "A.CC_");
  EXPECT_EQ(Compressed("README", &missing), "README._");
  EXPECT_EQ(missing, 0);
  // The dot of a folder is not the file's extension.
  EXPECT_EQ(Compressed("v1.0\\README"), "v1.0\\README._");
  EXPECT_EQ(Compressed("OLD.EX_"), "OLD.EX_");
}

TEST(Naming, ADoubleByteLastCharacterIsReplacedWhole) {
  uint8_t missing = 1;
  // 説明.テキスト: its last character ト (0x83 0x67) gives way to '_'.
  EXPECT_EQ(Compressed("説明.テキスト", &missing), "説明.テキス_");
  EXPECT_EQ(missing, 0);
  // ソ ends in 0x5C, which is no separator: its extension has one character.
  EXPECT_EQ(Compressed("ア.ソ"), "ア.ソ_");
}

TEST(Naming, PiecesAreNamedAsTheUpdaterLooksForThem) {
  EXPECT_EQ(mkmedium::PieceName("MOVIE.DAT", 3), "MOVIE.DAT3");
  EXPECT_EQ(mkmedium::PieceName("MOVIE.DA_", 2), "MOVIE.DA2_");
  EXPECT_EQ(mkmedium::PieceName("data\\MOVIE.AV_", 12), "data\\MOVIE.AV12_");
}

TEST(Naming, PiecesInTheRootAreNamedAfterTheLastComponent) {
  EXPECT_EQ(mkmedium::RootName("DATA\\BIG.DA_"), "BIG.DA_");
  EXPECT_EQ(mkmedium::RootName("ソ\\表"), "表");  // 0x5C second bytes are no separators
  EXPECT_EQ(mkmedium::RootName("BIG.DAT"), "BIG.DAT");
  // Another name for the pieces keeps the extension and its final '_'.
  EXPECT_EQ(mkmedium::NumberedName("BIG.DA_", 2), "BIG~2.DA_");
  EXPECT_EQ(mkmedium::NumberedName("README._", 3), "README~3._");
  EXPECT_EQ(mkmedium::NumberedName("X", 2), "X~2");
  EXPECT_EQ(mkmedium::NumberedName(".profile", 2), ".profile~2");
  EXPECT_EQ(mkmedium::NumberedName("表.ソ_", 2), "表~2.ソ_");
}

TEST(Naming, HostNamesBecomeScriptNames) {
  std::string name, why;
  ASSERT_TRUE(mkmedium::ScriptName(u8"data/サブ/説明書.txt", &name, &why)) << why;
  EXPECT_EQ(name, "data\\サブ\\説明書.txt");
  ASSERT_TRUE(mkmedium::ScriptName("a b+c;d.txt", &name, &why)) << why;
  EXPECT_EQ(name, "a b+c;d.txt");
}

TEST(Naming, NamesThatCannotServeAreRefusedWithTheReason) {
  struct Case {
    const char* name;
    const char* why;
  } cases[] = {
      {u8"한국어.txt", "CP932"},          // Hangul is not in CP932
      {"emoji\xF0\x9F\x98\x80", "CP932"},
      {"bad\xFF.txt", "CP932"},          // not UTF-8 at all
      {"a:b", "':'"},
      {"a>b", "'>'"},
      {"key=value", "'='"},
      {"back\\slash", "'\\'"},
      {"what?", "'?'"},
      {"tab\there", "control"},
      {"trailing.", "period"},
      {"dir /file", "blank"},
      {" lead", "begins with a blank"},
      {"CON", "device"},
      {"sub/lpt1.txt", "device"},
  };
  for (const Case& c : cases) {
    std::string name, why;
    EXPECT_FALSE(mkmedium::ScriptName(c.name, &name, &why)) << c.name;
    EXPECT_NE(why.find(c.why), std::string::npos) << c.name << ": " << why;
  }
}

TEST(ScriptText, KeyValuesTheUpdaterWouldReadOtherwiseAreRefused) {
  std::vector<std::string> lines;
  std::string why;
  mkmedium::ScriptKeys keys{u8"サンプル", "SampleGame", "ExpansionInstalled", "NORMAL"};
  ASSERT_TRUE(mkmedium::KeyLines(keys, &lines, &why)) << why;
  EXPECT_EQ(lines, (std::vector<std::string>{"APPNAME=サンプル", "REGISTRY=SampleGame",
                                             "GARMOREGISTRY=ExpansionInstalled", "MODE=NORMAL"}));
  keys.kitValue = keys.mode = "";
  ASSERT_TRUE(mkmedium::KeyLines(keys, &lines, &why)) << why;
  EXPECT_EQ(lines.size(), 2u);

  auto refused = [&](mkmedium::ScriptKeys k, const char* reason) {
    std::string w;
    EXPECT_FALSE(mkmedium::KeyLines(k, &lines, &w)) << reason;
    EXPECT_NE(w.find(reason), std::string::npos) << w;
  };
  refused({"", "R", "", ""}, "APPNAME is empty");
  refused({"A=B", "R", "", ""}, "'='");
  refused({" A", "R", "", ""}, "blank");
  refused({"A\nB", "R", "", ""}, "control");
  refused({u8"한", "R", "", ""}, "CP932");
  refused({"A", std::string(300, 'r'), "", ""}, "too long");
  refused({"A", std::string(208, 'r'), "", ""}, "207 bytes");
  EXPECT_TRUE(mkmedium::KeyLines({"A", std::string(207, 'r'), "", ""}, &lines, &why)) << why;
}

}  // namespace
