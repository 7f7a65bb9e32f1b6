// The check of a medium: one broken medium for each problem it finds, each
// problem with its line, and the exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "host_files.h"
#include "medium_check.h"
#include "medium_fixture.h"

namespace {

// A medium made by hand: disk folders m/diskN with their labels, the
// programs and Orbane.fix (CP932 text) on disk 1, and the files given.
class CheckTest : public MediumTest {
 protected:
  void Make(const std::string& script, const std::map<std::string, std::string>& files, int disks = 2) {
    for (int d = 1; d <= disks; ++d) Put("m/disk" + std::to_string(d) + "/disk" + std::to_string(d) + ".fix", "");
    Put("m/disk1/Orbane", "launcher");
    Put("m/disk1/Tavrix.bin", "updater");
    Put("m/disk1/Orbane.fix", script);
    for (const auto& [name, bytes] : files) Put("m/" + name, bytes);
  }

  void Put(const std::string& rel, const std::string& bytes) {
    std::string path = Path(rel);
    mkmedium::MakeFolders(path.substr(0, path.rfind('/')));
    std::ofstream(path, std::ios::binary) << bytes;
  }

  // The problems, "line: text".
  std::vector<std::string> Problems() {
    report = mkmedium::CheckMedium({Path("m")});
    std::vector<std::string> out;
    for (const mkmedium::Problem& p : report.problems) out.push_back(std::to_string(p.line) + ": " + p.text);
    return out;
  }

  // Whether the only problem is at line and says text.
  void ExpectOne(int line, const std::string& text) {
    std::vector<std::string> found = Problems();
    ASSERT_EQ(found.size(), 1u) << ::testing::PrintToString(found);
    EXPECT_EQ(report.problems[0].line, line) << found[0];
    EXPECT_NE(found[0].find(text), std::string::npos) << found[0];
  }

  mkmedium::CheckReport report;
};

const char kHead[] = "; test\r\nAPPNAME=Sample\r\nREGISTRY=SampleGame\r\n";

TEST_F(CheckTest, ACleanMediumHasNoProblemsAndExitsZero) {
  Make(std::string(kHead) + "1:A.TXT\r\n1:B.EX_>B.EXE\r\n1+2:M.DAT>M.DAT\r\n2:sub\\C.TXT\r\n",
       {{"disk1/A.TXT", "a"}, {"disk1/B.EX_", "b"}, {"disk1/M.DAT1", "m"}, {"disk2/M.DAT2", "m"},
        {"disk2/sub/C.TXT", "c"}});
  EXPECT_EQ(Problems(), std::vector<std::string>{});
  EXPECT_EQ(report.entries, 4);
  EXPECT_EQ(report.disks, 2);
  std::string out;
  EXPECT_EQ(Run({"check", Path("m")}, &out), 0) << out;
  EXPECT_NE(out.find("clean: 4 entries on 2 disks"), std::string::npos) << out;
  // A disk folder given by itself, and the disks given one by one, are the same medium.
  EXPECT_EQ(Run({"check", "--quiet", Path("m/disk1"), Path("m/disk2")}, &out), 0) << out;
  EXPECT_EQ(out, "");
}

TEST_F(CheckTest, AnUnknownKeyIsNamedWithTheUpdatersMessage) {
  Make(std::string(kHead) + "FOO=1\r\n", {});
  ExpectOne(4, "unknown key 'FOO'");
  EXPECT_NE(report.problems[0].text.find(u8"the updater stops here: 情報ファイルがおかしい"), std::string::npos);
}

// A medium with one problem, and the line and text it is reported with.
TEST_F(CheckTest, EachProblemIsNamedAtItsLine) {
  std::string entries513, disks20 = "1";
  for (int i = 0; i < 513; ++i) entries513 += "1:A.TXT\r\n";
  for (int d = 2; d <= 20; ++d) disks20 += "+" + std::to_string(d);
  const std::string head = kHead;
  struct Case {
    std::string script;
    std::map<std::string, std::string> files;
    int line;
    std::string text;
  } cases[] = {
      {head + "1:A.TXT\r\n1:a:b\r\n", {{"disk1/A.TXT", "a"}}, 5, "malformed entry"},
      {head + entries513, {{"disk1/A.TXT", "a"}}, 3 + 513, "more than 512 entries"},
      {head + disks20 + ":M.DAT>M.DAT\r\n", {}, 4, "more than 19 disks"},
      {head + "1:A.TXT>..\\..\\WINDOWS\\A.TXT\r\n", {{"disk1/A.TXT", "a"}}, 4, "'..'"},
      // On a disk, but not on the one the script names.
      {head + "2:A.TXT\r\n", {{"disk1/A.TXT", "a"}}, 4, "A.TXT is missing from disk 2"},
      {head + "1+2:M.DA_>M.DAT\r\n", {{"disk1/M.DA1_", "1"}, {"disk1/M.DA2_", "2"}}, 4,
       "M.DA2_ is missing from disk 2"},
      {head + "1+2:M.DAT\r\n", {{"disk1/M.DAT1", "1"}, {"disk2/M.DAT2", "2"}}, 4, "without a destination"},
      {head + "1+2:M.DAT> \r\n", {{"disk1/M.DAT1", "1"}, {"disk2/M.DAT2", "2"}}, 4, "empty destination"},
      {head + "3:A.TXT\r\n", {}, 4, "disk 3: no folder holds its label disk3.fix"},
      {"APPNAME=Sample\r\n", {}, 0, "no REGISTRY line"},
      {head + "REGISTRY=" + std::string(208, 'r') + "\r\n", {}, 4, "207 bytes"},
      // Labels: the one form "disk%d.fix" of the folder's one disk.
      {head, {{"disk3/disk03.fix", ""}}, 0, "disk03.fix is no disk label: the updater looks for disk3.fix"},
      {head, {{"disk1/disk2.fix", ""}}, 0, "holds more than one disk label (disk1.fix, disk2.fix)"},
      {head, {{"disk1/DISK1.FIX", ""}}, 0, "holds more than one disk label (DISK1.FIX, disk1.fix)"},
      // Names that differ only in case: at the line of the script's name that
      // reaches them, by the file or by a folder above it; else for the disk.
      {head + "1:A.TXT\r\n", {{"disk1/A.TXT", "a"}, {"disk1/a.txt", "b"}}, 4,
       "A.TXT reaches more than one file"},
      {head + "2:sub\\C.TXT\r\n", {{"disk2/sub/C.TXT", "c"}, {"disk2/SUB/D.TXT", "d"}}, 4,
       "SUB and sub differ only in letter case"},
      {head + "1:A.TXT\r\n", {{"disk1/A.TXT", "a"}, {"disk2/X.DAT", "1"}, {"disk2/x.dat", "2"}}, 0,
       "X.DAT and x.dat differ only in letter case"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::filesystem::remove_all(Path("m"));
    Make(c.script, c.files);
    ExpectOne(c.line, c.text);
  }
  std::filesystem::remove_all(Path("m"));
  Make(head + "1:" + std::string(300, 'n') + "\r\n", {});
  std::vector<std::string> found = Problems();
  ASSERT_FALSE(found.empty());
  EXPECT_NE(found[0].find("4: longer than 259 bytes"), std::string::npos) << found[0];
}

// The updater copies each piece to the temporary directory under the piece's
// own name, folder and all, and makes no folder there.
TEST_F(CheckTest, ASplitEntryWhoseSourceHasAFolder) {
  Make(std::string(kHead) + "1+2:DATA\\BIG.DAT>DATA\\BIG.DAT\r\n1+2:表\\M.DA_>M.DAT\r\n1+2:ソ/M.DAT>M.DAT\r\n"
                            "1+2:BIG.DA_>DATA\\BIG.DAT\r\n1:DATA\\ONE.TXT\r\n",
       {{"disk1/DATA/BIG.DAT1", "1"}, {"disk2/DATA/BIG.DAT2", "2"}, {u8"disk1/表/M.DA1_", "1"},
        {u8"disk2/表/M.DA2_", "2"}, {u8"disk1/ソ/M.DAT1", "1"}, {u8"disk2/ソ/M.DAT2", "2"}, {"disk1/BIG.DA1_", "1"},
        {"disk2/BIG.DA2_", "2"}, {"disk1/DATA/ONE.TXT", "1"}});
  std::vector<std::string> found = Problems();
  ASSERT_EQ(found.size(), 3u) << ::testing::PrintToString(found);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(report.problems[size_t(i)].line, 4 + i) << found[size_t(i)];
    EXPECT_NE(found[size_t(i)].find("source name has a folder"), std::string::npos) << found[size_t(i)];
  }
  std::string out;
  EXPECT_EQ(Run({"check", Path("m")}, &out), 1) << out;
}

// The updater creates no folder: each folder of the installation that the
// script writes into is a note, once, at its first entry's line, and the
// medium stays clean.
TEST_F(CheckTest, FoldersTheInstallationMustHaveAreNotes) {
  Make(std::string(kHead) + "1:DATA\\A.TXT\r\n1:B.TX_>data\\B.TXT\r\n1+2:M.DAT>DATA\\NEW\\M.DAT\r\n"
                            "1:ソフト\\表\\X.TXT\r\n1:C.TXT\r\n",
       {{"disk1/DATA/A.TXT", "a"}, {"disk1/B.TX_", "b"}, {"disk1/M.DAT1", "m"}, {"disk2/M.DAT2", "m"},
        {u8"disk1/ソフト/表/X.TXT", "x"}, {"disk1/C.TXT", "c"}});
  EXPECT_EQ(Problems(), std::vector<std::string>{});
  std::vector<std::string> notes;
  for (const mkmedium::Problem& p : report.notes) notes.push_back(std::to_string(p.line) + ": " + p.text);
  ASSERT_EQ(notes.size(), 3u) << ::testing::PrintToString(notes);
  EXPECT_NE(notes[0].find("4: the installation must already have the folder 'DATA'"), std::string::npos);
  EXPECT_NE(notes[1].find("6: the installation must already have the folder 'DATA\\NEW'"), std::string::npos);
  EXPECT_NE(notes[2].find(u8"7: the installation must already have the folder 'ソフト\\表'"), std::string::npos);
  std::string out;
  EXPECT_EQ(Run({"check", Path("m")}, &out), 0) << out;
  EXPECT_NE(out.find("Orbane.fix:6: note: the installation must already have the folder 'DATA\\NEW'"),
            std::string::npos) << out;
  EXPECT_EQ(Run({"check", "--quiet", Path("m")}, &out), 0);
  EXPECT_EQ(out, "");
}

TEST_F(CheckTest, TheProgramsMustBeBesideTheScript) {
  Make(kHead, {});
  unlink(Path("m/disk1/Tavrix.bin").c_str());
  ExpectOne(0, "Tavrix.bin is missing");
}

TEST_F(CheckTest, EveryProblemIsReportedInLineOrderAndTheExitStatusIsOne) {
  Make(std::string(kHead) + "1:GONE.TXT\r\nBAR=2\r\n1+2:X\r\n2:HERE.TXT\r\n1:x:y\r\n", {{"disk2/HERE.TXT", "h"}});
  std::vector<std::string> found = Problems();
  ASSERT_EQ(found.size(), 4u) << ::testing::PrintToString(found);
  EXPECT_EQ(found[0].substr(0, 3), "4: ");
  EXPECT_EQ(found[1].substr(0, 3), "5: ");
  EXPECT_EQ(found[2].substr(0, 3), "6: ");
  EXPECT_EQ(found[3].substr(0, 3), "8: ");
  // The updater stops at the first error in the script, the unknown key.
  EXPECT_NE(found[1].find("the updater stops here"), std::string::npos) << found[1];
  EXPECT_EQ(found[0].find("the updater stops here"), std::string::npos) << found[0];
  std::string out;
  EXPECT_EQ(Run({"check", Path("m")}, &out), 1);
  EXPECT_NE(out.find("Orbane.fix:5: unknown key 'BAR'"), std::string::npos) << out;
  EXPECT_NE(out.find("4 problems"), std::string::npos) << out;
}

TEST_F(CheckTest, WhatCannotBeCheckedAtAllEndsWithStatusThree) {
  std::string out;
  mkmedium::MakeFolders(Path("empty"));
  EXPECT_EQ(Run({"check", Path("empty")}, &out), 3);
  EXPECT_NE(out.find("no disk folder"), std::string::npos) << out;
  Make(kHead, {});
  Put("m/disk2/Orbane.fix", kHead);
  EXPECT_EQ(Run({"check", Path("m")}, &out), 3);
  EXPECT_NE(out.find("more than one folder holds Orbane.fix"), std::string::npos) << out;
  EXPECT_EQ(Run({"check"}, &out), 2);
}

TEST_F(CheckTest, AMediumTheToolBuiltIsClean) {
  AddFile("MAIN.EXE", Text(40000));
  AddFile("BIG.BIN", Noise(30000));
  mkmedium::ParseDiskFormat("20000", &options.format);
  Build();
  EXPECT_EQ(mkmedium::CheckMedium({Path("out")}).problems.size(), 0u);
  // Take one piece away, and the check finds it.
  std::string out;
  ASSERT_TRUE(Exists("out/disk2/BIG.BIN2"));
  unlink(Path("out/disk2/BIG.BIN2").c_str());
  EXPECT_EQ(Run({"check", Path("out")}, &out), 1);
  EXPECT_NE(out.find("BIG.BIN2 is missing from disk 2"), std::string::npos) << out;
}

TEST_F(CheckTest, AMediumWithSplitFilesInFoldersIsClean) {
  AddFile("DATA/BIG.DAT", Noise(30000));
  AddFile(u8"ソフト/表/MOVIE.AVI", Text(60000));
  mkmedium::ParseDiskFormat("20000", &options.format);
  Build();
  std::vector<std::string> found;
  for (const mkmedium::Problem& p : mkmedium::CheckMedium({Path("out")}).problems) found.push_back(p.text);
  EXPECT_EQ(found, std::vector<std::string>{});
}

}  // namespace
