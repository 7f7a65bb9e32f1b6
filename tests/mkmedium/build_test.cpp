// Building a medium: what is compressed and how it is named, where files are
// split, the script's entries and their order, and the errors that stop a
// build with nothing lost.
#include <sys/stat.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "host_files.h"
#include "medium_check.h"
#include "medium_fixture.h"

namespace {

using Strings = std::vector<std::string>;

// The bytes of every file in a disk folder, labels and all.
uint64_t DiskBytes(const std::string& folder) {
  uint64_t total = 0;
  std::istringstream sizes(CommandOutput("find '" + folder + "' -type f -printf '%s\\n'"));
  for (uint64_t n; sizes >> n;) total += n;
  return total;
}

TEST_F(MediumTest, OnlyFilesThatCompressAreStoredCompressed) {
  std::string text = Text(50000), noise = Noise(50000);
  AddFile("MAIN.EXE", text);
  AddFile("NOISE.BIN", noise);
  AddFile("TINY.TXT", "x");
  AddFile("EMPTY.TXT", "");
  AddFile("README", text);
  mkmedium::BuildResult r = Build();
  EXPECT_EQ(ScriptLines(), (Strings{"APPNAME=サンプル", "REGISTRY=SampleGame", "1:EMPTY.TXT", "1:MAIN.EX_>MAIN.EXE",
                                    "1:NOISE.BIN", "1:README._>README", "1:TINY.TXT"}));
  EXPECT_EQ(Content("out/disk1/MAIN.EX_"), text);
  EXPECT_LT(Read("out/disk1/MAIN.EX_").size(), text.size() / 2);
  EXPECT_EQ(Content("out/disk1/README._"), text);
  EXPECT_EQ(Read("out/disk1/NOISE.BIN"), noise);
  EXPECT_EQ(Read("out/disk1/TINY.TXT"), "x");
  EXPECT_EQ(Read("out/disk1/EMPTY.TXT"), "");
  EXPECT_FALSE(Exists("out/disk1/MAIN.EXE"));
  EXPECT_FALSE(Exists("out/disk1/NOISE.BI_"));
  ASSERT_EQ(r.files.size(), 5u);
  EXPECT_TRUE(r.files[1].compressed);
  EXPECT_FALSE(r.files[2].compressed);
  // The header keeps the letter that the name gave up, as COMPRESS.EXE does.
  EXPECT_EQ(Read("out/disk1/MAIN.EX_")[9], 'E');
}

TEST_F(MediumTest, ANameEndingInUnderscoreIsAlwaysStoredCompressed) {
  // The updater expands every file so named; stored plain, this one (which
  // happens to be an SZDD file itself) would arrive expanded.
  std::string bytes = "SZDD\x88\xF0\x27\x33" "A" + Noise(2000);
  AddFile("KEEP.EX_", bytes);
  Build();
  EXPECT_EQ(ScriptLines().back(), "1:KEEP.EX_");
  EXPECT_EQ(Content("out/disk1/KEEP.EX_"), bytes);
}

TEST_F(MediumTest, TheMediumHasItsLabelsProgramsAndScript) {
  AddFile("sub/deeper/A.TXT", Text(100));
  AddFile(u8"サブ/説明書.txt", "x");
  options.keys.kitValue = "ExpansionInstalled";
  options.keys.mode = "KIT";
  Build();
  for (const char* f : {"disk1.fix", "Orbane", "Tavrix.bin", "Orbane.fix", "sub/deeper/A.TX_"})
    EXPECT_TRUE(Exists(std::string("out/disk1/") + f)) << f;
  EXPECT_TRUE(Exists(u8"out/disk1/サブ/説明書.txt"));
  EXPECT_EQ(Read("out/disk1/Orbane"), Read("Orbane"));
  EXPECT_EQ(Read("out/disk1/disk1.fix"), "");
  struct stat st;
  ASSERT_EQ(stat(Path("out/disk1/Orbane").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  EXPECT_EQ(ScriptLines(), (Strings{"APPNAME=サンプル", "REGISTRY=SampleGame", "GARMOREGISTRY=ExpansionInstalled",
                                    "MODE=KIT", "1:sub\\deeper\\A.TX_>sub\\deeper\\A.TXT", "1:サブ\\説明書.txt"}));
}

TEST_F(MediumTest, EntriesComeInTheOrderOfTheirNamesWhateverTheFolderSays) {
  for (const char* name : {"c.txt", "B.TXT", "a.txt", "sub/z.txt", "A_DIR/x.txt", "sub.txt"}) AddFile(name, name);
  Build();
  EXPECT_EQ(ScriptLines(), (Strings{"APPNAME=サンプル", "REGISTRY=SampleGame", "1:A_DIR\\x.txt", "1:B.TXT", "1:a.txt",
                                    "1:c.txt", "1:sub.txt", "1:sub\\z.txt"}));
  std::string first = Read("out/disk1/Orbane.fix");
  options.force = true;
  Build();
  EXPECT_EQ(Read("out/disk1/Orbane.fix"), first);
}

TEST_F(MediumTest, AFileThatExactlyFillsTheFirstDiskStaysWhole) {
  // The first disk's fixed part: the programs and the script (whose line for
  // A.BIN reads the same whatever its size, while it stays whole).
  AddFile("A.BIN", "a");
  Build();
  uint64_t fixed = DiskBytes(Path("out/disk1")) - 1;
  std::string noise = Noise(5000);
  AddFile("A.BIN", noise);
  mkmedium::ParseDiskFormat(std::to_string(fixed + 5000), &options.format);
  options.force = true;
  mkmedium::BuildResult r = Build();
  EXPECT_EQ(r.disks, 1);
  EXPECT_EQ(r.freeBytes[0], 0u);
  EXPECT_EQ(ScriptLines().back(), "1:A.BIN");

  // One byte more: the rest of the disk takes the first piece, the byte the second.
  noise += 'z';
  AddFile("A.BIN", noise);
  r = Build();
  EXPECT_EQ(ScriptLines().back(), "1+2:A.BIN>A.BIN");
  EXPECT_EQ(DiskBytes(Path("out/disk1")), fixed + 5000);
  std::string first = Read("out/disk1/A.BIN1"), second = Read("out/disk2/A.BIN2");
  EXPECT_EQ(first + second, noise);
  // The longer line of the script took its bytes from the first piece.
  EXPECT_EQ(first.size(), 5000 - (std::string("1+2:A.BIN>A.BIN").size() - std::string("1:A.BIN").size()));
}

TEST_F(MediumTest, APlainFileOverSeveralDisksFillsEachOfThem) {
  mkmedium::ParseDiskFormat("4000", &options.format);
  std::string noise = Noise(13000);
  AddFile("BIG.DAT", noise);
  AddFile("NEXT.TXT", "n");
  mkmedium::BuildResult r = Build();
  ASSERT_EQ(r.files[0].pieces.size(), 4u);
  Strings lines = ScriptLines();
  EXPECT_EQ(lines[2], "1+2+3+4:BIG.DAT>BIG.DAT");
  EXPECT_EQ(lines[3], "4:NEXT.TXT");
  std::string joined;
  for (int d = 1; d <= 4; ++d) {
    if (d < 4) {
      EXPECT_EQ(DiskBytes(Path("out/disk" + std::to_string(d))), 4000u) << d;
    }
    joined += Read("out/disk" + std::to_string(d) + "/BIG.DAT" + std::to_string(d));
  }
  EXPECT_EQ(joined, noise);
}

// The updater copies a split file's pieces to the temporary directory under
// their names on the medium; it makes no folder there, so the pieces lie in
// the root of their disks and only the destination keeps the folder.
TEST_F(MediumTest, ASplitFileInAFolderHasItsPiecesInTheRootOfItsDisks) {
  mkmedium::ParseDiskFormat("4000", &options.format);
  std::string noise = Noise(9000), text = Text(30000);
  AddFile("DATA/BIG.DAT", noise);
  AddFile(u8"ソフト/表/MOVIE.AVI", text);
  mkmedium::BuildResult r = Build();
  Strings lines = ScriptLines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[2], "1+2+3:BIG.DAT>DATA\\BIG.DAT");
  EXPECT_EQ(lines[3].substr(lines[3].find(':')), ":MOVIE.AV_>ソフト\\表\\MOVIE.AVI");
  std::string joined;
  for (int d = 1; d <= 3; ++d) joined += Read("out/disk" + std::to_string(d) + "/BIG.DAT" + std::to_string(d));
  EXPECT_EQ(joined, noise);
  joined.clear();
  ASSERT_EQ(r.files[1].pieces.size(), size_t(std::count(lines[3].begin(), lines[3].end(), '+') + 1));
  for (const mkmedium::Piece& p : r.files[1].pieces) {
    EXPECT_EQ(p.stored.find('\\'), std::string::npos) << p.stored;
    joined += Content("out/disk" + std::to_string(p.disk) + "/" + p.stored);
  }
  EXPECT_EQ(joined, text);
  for (int d = 1; d <= r.disks; ++d) {
    EXPECT_FALSE(Exists("out/disk" + std::to_string(d) + "/DATA")) << d;
    EXPECT_FALSE(Exists("out/disk" + std::to_string(d) + u8"/ソフト")) << d;
  }
}

// Pieces in the root must not meet another name there: the files and
// folders of the root, and the pieces of a file of the same name elsewhere.
TEST_F(MediumTest, PiecesInTheRootTakeANameOfTheirOwn) {
  mkmedium::ParseDiskFormat("4000", &options.format);
  AddFile("A/BIG.DAT", Noise(6000, 1));
  AddFile("B/BIG.DAT", Noise(6000, 2));
  AddFile("BIG.DAT1", "a file of its own");
  AddFile("BIG~2.DAT2/X.TXT", "in a folder of that name");
  Build();
  Strings lines = ScriptLines();
  ASSERT_EQ(lines.size(), 6u);
  // BIG.DAT's first piece would be the file BIG.DAT1, BIG~2.DAT's second the
  // folder; the second BIG.DAT meets the first one's pieces as well.
  EXPECT_EQ(lines[2], "1+2:BIG~3.DAT>A\\BIG.DAT");
  EXPECT_EQ(lines[3], "2:BIG.DAT1");
  EXPECT_EQ(lines[5].substr(lines[5].find(':')), ":BIG~4.DAT>B\\BIG.DAT");
  EXPECT_EQ(Read("out/disk2/BIG.DAT1"), "a file of its own");
  EXPECT_EQ(Read("out/disk1/BIG~3.DAT1") + Read("out/disk2/BIG~3.DAT2"), Noise(6000, 1));
  EXPECT_EQ(mkmedium::CheckMedium({Path("out")}).problems.size(), 0u);
}

TEST_F(MediumTest, ACompressedFileIsSplitIntoPiecesCompressedEachByItself) {
  mkmedium::ParseDiskFormat("12000", &options.format);
  std::string text = Text(250000);
  AddFile("TEXT.DAT", text);
  mkmedium::BuildResult r = Build();
  const std::vector<mkmedium::Piece>& pieces = r.files[0].pieces;
  ASSERT_GE(pieces.size(), 3u);
  std::string joined, line;
  for (size_t i = 0; i < pieces.size(); ++i) {
    std::string disk = "out/disk" + std::to_string(i + 1);
    std::string name = "TEXT.DA" + std::to_string(i + 1) + "_";
    line += (i ? "+" : "") + std::to_string(i + 1);
    joined += Content(disk + "/" + name);
    uint64_t used = DiskBytes(Path(disk));
    EXPECT_LE(used, 12000u) << disk;
    // Every disk but the last is as full as the compressor allows.
    if (i + 1 < pieces.size()) {
      EXPECT_GE(used, 12000u - 32) << disk;
    }
  }
  EXPECT_EQ(joined, text);
  EXPECT_EQ(ScriptLines().back(), line + ":TEXT.DA_>TEXT.DAT");
}

TEST_F(MediumTest, EveryFileOnTheMediumCarriesTheTimeOfItsSource) {
  AddFile("A.TXT", Text(3000));
  AddFile("B.DAT", Noise(3000));
  struct timespec t[2] = {{946684800, 0}, {946684800, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, Path("files/A.TXT").c_str(), t, 0), 0);
  ASSERT_EQ(utimensat(AT_FDCWD, Path("files/B.DAT").c_str(), t, 0), 0);
  mkmedium::ParseDiskFormat("2500", &options.format);
  Build();
  for (const char* f : {"out/disk1/A.TX_", "out/disk1/B.DAT1", "out/disk2/B.DAT2"}) {
    struct stat st;
    ASSERT_EQ(stat(Path(f).c_str(), &st), 0) << f;
    EXPECT_EQ(st.st_mtim.tv_sec, 946684800) << f;
  }
}

TEST_F(MediumTest, NamesThatCollideOnTheMediumAreErrors) {
  AddFile("MAIN.EXE", Text(5000));
  AddFile("MAIN.EXX", Text(5000, 2));
  std::string e = BuildError();
  EXPECT_NE(e.find("MAIN.EXE and MAIN.EXX would both be MAIN.EX_"), std::string::npos) << e;
  // Uncompressed, the second one keeps its name and meets no other.
  AddFile("MAIN.EXX", Noise(5000));
  EXPECT_EQ(BuildError(), "");
  options.force = true;
  AddFile("main.ex_", Noise(10));
  e = BuildError();
  EXPECT_NE(e.find("would both be"), std::string::npos) << e;
}

TEST_F(MediumTest, NamesTheMediumUsesItselfAreErrors) {
  for (const char* name : {"Orbane.fix", "TAVRIX.BIN", "orbane", "Disk2.fix"}) {
    AddFile(name, Noise(10));
    std::string e = BuildError();
    EXPECT_FALSE(e.empty()) << name;
    unlink(Path(std::string("files/") + name).c_str());
  }
  AddFile("data/Orbane.fix", Noise(10));  // only the root's names are taken
  EXPECT_EQ(BuildError(), "");
}

TEST_F(MediumTest, NamesThatDifferOnlyInCaseAreErrors) {
  AddFile("data/a.txt", "1");
  AddFile("DATA/b.txt", "2");
  std::string e = BuildError();
  EXPECT_NE(e.find("differ only in letter case"), std::string::npos) << e;
  EXPECT_FALSE(Exists("out"));
}

TEST_F(MediumTest, ANameCP932CannotWriteIsAnErrorAndNothingIsMade) {
  const std::string hangul = u8"한국어.txt";
  AddFile("ok.txt", "1");
  AddFile(hangul, "2");
  std::string e = BuildError();
  EXPECT_NE(e.find("cannot be written in CP932"), std::string::npos) << e;
  EXPECT_NE(e.find(hangul), std::string::npos) << e;
  EXPECT_FALSE(Exists("out"));
}

TEST_F(MediumTest, AFailedBuildLeavesTheOldMediumAsItWas) {
  AddFile("A.TXT", "old");
  Build();
  EXPECT_NE(BuildError().find("exists; give --force"), std::string::npos);
  options.force = true;
  AddFile("B:C", "bad name");
  EXPECT_NE(BuildError().find("':'"), std::string::npos);
  EXPECT_EQ(Read("out/disk1/A.TXT"), "old");
  // Nothing half made is left beside it.
  std::string listing;
  Run({"check", "--quiet", Path("out")}, &listing);
  EXPECT_EQ(listing, "");
  EXPECT_EQ(Listing(), "Orbane\nTavrix.bin\nfiles\nout\n");
}

TEST_F(MediumTest, TheMediumAndTheFilesMustNotHoldEachOther) {
  AddFile("A.TXT", "1");
  options.out = Path("files/out");
  EXPECT_NE(BuildError().find("overlap"), std::string::npos);
  options.out = Path("");
  options.force = true;
  EXPECT_NE(BuildError().find("overlap"), std::string::npos);
  EXPECT_TRUE(Exists("files/A.TXT"));
}

TEST_F(MediumTest, TooManyFilesForOneScriptAreAnError) {
  for (int i = 0; i < 513; ++i) AddFile("F" + std::to_string(i), "");
  std::string e = BuildError();
  EXPECT_NE(e.find("513 files; a script lists at most 512"), std::string::npos) << e;
  unlink(Path("files/F0").c_str());
  EXPECT_EQ(BuildError(), "");
  EXPECT_EQ(ScriptLines().size(), 514u);
}

TEST_F(MediumTest, TheLauncherIsNamedForItsPlatform) {
  AddFile("A.TXT", "1");
  AddFile("../Orbane.exe", "MZ windows launcher");
  AddFile("../Tavrix.exe", "MZ windows updater");
  options.launcher = Path("Orbane.exe");
  std::string e = BuildError();
  EXPECT_NE(e.find("different platforms"), std::string::npos) << e;
  options.updater = Path("Tavrix.exe");
  Build();
  EXPECT_TRUE(Exists("out/disk1/Orbane.exe"));
  EXPECT_EQ(Read("out/disk1/Tavrix.bin"), "MZ windows updater");
  AddFile("../text", "just text");
  options.launcher = Path("text");
  EXPECT_NE(BuildError().find("neither a Linux nor a Windows program"), std::string::npos);
}

// The check that build runs finds the folders the installation must have;
// build tells them once.
TEST_F(MediumTest, BuildTellsTheFoldersTheInstallationMustHaveOnce) {
  AddFile("DATA/NEW/EXTRA.DAT", Text(100));
  AddFile("DATA/NEW/MORE.DAT", Text(100, 2));
  Strings args{"build", "--appname", "App", "--registry", "Reg", "--disk-size", "1.44M", "--orbane", Path("Orbane"),
               "--tavrix", Path("Tavrix.bin"), Path("files"), Path("out")};
  std::string out;
  EXPECT_EQ(Run(args, &out), 0) << out;
  size_t at = out.find("/out/disk1/Orbane.fix:4: note: the installation must already have the folder 'DATA\\NEW'");
  EXPECT_NE(at, std::string::npos) << out;
  EXPECT_EQ(out.find("note:", out.find('\n', at)), std::string::npos) << out;
}

TEST_F(MediumTest, TheCommandIsQuietWhenAskedAndDrawsNoProgressOffATerminal) {
  AddFile("A.TXT", Text(20000));
  Strings args{"build", "--appname", "App", "--registry", "Reg", "--disk-size", "1.44M", "--orbane", Path("Orbane"),
               "--tavrix", Path("Tavrix.bin"), Path("files"), Path("out")};
  std::string out;
  EXPECT_EQ(Run(args, &out), 0);
  EXPECT_EQ(out.find('\r'), std::string::npos) << out;
  EXPECT_NE(out.find("1 file (1 compressed, 0 split) on 1 disk of 1.44M"), std::string::npos) << out;
  args.insert(args.begin() + 1, {"--quiet", "--force"});
  EXPECT_EQ(Run(args, &out), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(Run(args, &out), 0);
  args.erase(args.begin() + 2);  // --force
  EXPECT_EQ(Run(args, &out), 3);
  EXPECT_NE(out.find("exists"), std::string::npos) << out;
  EXPECT_EQ(Run({"build", "--appname", "App"}, &out), 2);
  EXPECT_EQ(Run({"build", "--disk-size", "3M", "--appname", "a", "--registry", "r", "--orbane", "o", "--tavrix",
                 "t", "f", "o"},
                &out),
            2);
  EXPECT_NE(out.find("unknown disk size 3M"), std::string::npos) << out;
}

}  // namespace

namespace {

// An interrupt in the middle of a build: the work begun is removed, the old
// medium stays, and the status says it failed.
TEST_F(MediumTest, AnInterruptedBuildLeavesNothingBehind) {
  AddFile("A.TXT", "old");
  Build();
  AddFile("BIG.DAT", Text(30 << 20));
  std::string program = MKMEDIUM_PROGRAM;
  std::vector<std::string> args{program, "build", "--quiet", "--force", "--appname", "App", "--registry", "Reg",
                                "--disk-size", "650M", "--orbane", Path("Orbane"), "--tavrix", Path("Tavrix.bin"),
                                Path("files"), Path("out")};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  // Once the work has begun beside the medium, interrupt it.
  bool begun = false;
  for (int i = 0; i < 3000 && !begun; ++i) {
    begun = Listing().find(".out.partial-") != std::string::npos;
    if (!begun) usleep(10000);
  }
  ASSERT_TRUE(begun);
  kill(pid, SIGINT);
  int status;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_EQ(Read("out/disk1/A.TXT"), "old");
  EXPECT_EQ(Listing(), "Orbane\nTavrix.bin\nfiles\nout\n");
}

}  // namespace
