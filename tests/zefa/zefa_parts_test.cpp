// The parts of zefa-update: how a run's end is read from its transcript, what
// an image is, the drive link, the disk change, the lock of a prefix and what
// a killed run leaves. (The copies for --undo: undo_test.cpp.)
#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "drive_link.h"
#include "leftovers.h"
#include "host_files.h"
#include "images.h"
#include "media.h"
#include "outcome.h"
#include "prefix_lock.h"
#include "scratch.h"
#include "tool_run.h"
#include "undo.h"
#include "updater_run.h"

namespace {

using namespace zefa;

// ---- the run's end ----------------------------------------------------------

std::string Box(const std::string& icon, const std::string& text, const std::string& buttons,
                const std::string& answer) {
  return std::string(u8"box: ゼファ アップデート\n") + "  icon: " + icon + "\n  text: " + text + "\n  buttons: " +
         buttons + "\n" + (answer.empty() ? "" : "  answer: " + answer + "\n");
}

const std::string kConfirm = Box("warning", u8"「サンプル」をアップデートしますか？", u8"はい | いいえ", u8"はい");
const std::string kRestart =
    std::string(u8"box: ゼファ アップデート\n  icon: information\n") +
    u8"  text: ゼファアップデートのテンポラリファイルを削除するために\n  text: ウィンドウズを再起動してください。\n"
    u8"  buttons: OK\n  answer: OK\n";

TEST(Outcome, CompletionOrErrorBeforeTheRestartNotice) {
  EXPECT_EQ(ReadOutcome(kConfirm + Box("information", u8"「サンプル」のアップデートが完了しました", "OK", "OK") +
                        kRestart),
            Outcome::kCompleted);
  EXPECT_EQ(ReadOutcome(kConfirm + Box("error", u8"アップデートを中止します", "OK", "OK") + kRestart),
            Outcome::kFailed);
  // A product named like the completion text does not make an error a success.
  EXPECT_EQ(ReadOutcome(kConfirm + Box("error", u8"「のアップデートが完了しました」のアップデートが完了しました", "OK", "OK") +
                        kRestart),
            Outcome::kFailed);
  // The script did not load: the error box and the notice, no question.
  EXPECT_EQ(ReadOutcome(Box("error", u8"ファイル'D:\\Orbane.fix'をオープンできません", "OK", "OK") + kRestart),
            Outcome::kFailed);
}

TEST(Outcome, AnswersThatEndARunWithoutChange) {
  EXPECT_EQ(ReadOutcome(Box("warning", u8"「サンプル」をアップデートしますか？", u8"はい | いいえ", u8"いいえ")),
            Outcome::kDeclined);
  EXPECT_EQ(ReadOutcome(Box("error", u8"「サンプル」がセットアップされていません", "OK", "OK")), Outcome::kNotSetUp);
  EXPECT_EQ(ReadOutcome(Box("error", u8"このアップデートは「サンプル」本体専用です。ガルモには使用できません", "OK", "OK")),
            Outcome::kRefused);
  // No to the question whether to stop at a disk request goes back to the
  // request; a run that ends there did not end by a No.
  EXPECT_EQ(ReadOutcome(kConfirm + Box("warning", u8"アップデートを中断しますか？", u8"はい | いいえ", u8"いいえ")),
            Outcome::kUnfinished);
}

TEST(Outcome, ARunThatStoppedInTheMiddle) {
  EXPECT_EQ(ReadOutcome(""), Outcome::kUnfinished);
  EXPECT_EQ(ReadOutcome(kConfirm.substr(0, kConfirm.find("  answer:"))), Outcome::kUnfinished);
  EXPECT_EQ(ReadOutcome(Box("warning", u8"「サンプル」をアップデートしますか？", u8"はい | いいえ", "(end of input)")),
            Outcome::kUnfinished);
  // The completion box seen, the restart notice not answered.
  EXPECT_EQ(ReadOutcome(kConfirm + Box("information", u8"「サンプル」のアップデートが完了しました", "OK", "OK") +
                        kRestart.substr(0, kRestart.find("  answer:"))),
            Outcome::kUnfinished);
}

// ---- images -----------------------------------------------------------------

std::string FatBootSector(uint16_t sectors) {
  std::string s(512, '\0');
  s[0] = '\xEB';
  s[11] = 0, s[12] = 2;  // 512 bytes a sector
  s[13] = 1;             // a sector a cluster
  s[14] = 1;             // reserved sectors
  s[16] = 2;             // FATs
  s[19] = static_cast<char>(sectors & 0xFF), s[20] = static_cast<char>(sectors >> 8);
  s[510] = '\x55', s[511] = '\xAA';
  return s;
}

std::string IsoImage(uint32_t blocks, size_t length) {
  std::string s(length, '\0');
  size_t d = 16 * 2048;
  s[d] = 1;
  s.replace(d + 1, 5, "CD001");
  for (int i = 0; i < 4; ++i) s[d + 80 + i] = static_cast<char>(blocks >> (8 * i));
  s[d + 128] = 0, s[d + 129] = 8;  // 2048 bytes a block
  return s;
}

TEST(Images, KnownByTheirHeadersAndCheckedForTheirLength) {
  Scratch dir;
  dir.Write("floppy.bin", FatBootSector(1440) + std::string(1440 * 512 - 512, '\0'));
  ImageInfo fat = InspectImage(dir / "floppy.bin");
  EXPECT_EQ(fat.kind, ImageKind::kFat);
  EXPECT_EQ(fat.size, 1440u * 512);
  dir.Write("cd.raw", IsoImage(20, 20 * 2048));
  EXPECT_EQ(InspectImage(dir / "cd.raw").kind, ImageKind::kIso);
  // A FAT image as long as its header says, and no longer, is whole.
  dir.Write("short.img", FatBootSector(1440) + std::string(1000, '\0'));
  EXPECT_THROW(InspectImage(dir / "short.img"), mkmedium::Failure);
  dir.Write("short.iso", IsoImage(40, 20 * 2048));
  try {
    InspectImage(dir / "short.iso");
    ADD_FAILURE() << "a truncated ISO image passed";
  } catch (const mkmedium::Failure& f) {
    EXPECT_NE(std::string(f.what()).find("truncated"), std::string::npos) << f.what();
  }
}

TEST(Images, OtherFilesAreNone) {
  Scratch dir;
  dir.Write("text.img", std::string(4000, 'x'));
  EXPECT_EQ(InspectImage(dir / "text.img").kind, ImageKind::kNone);
  dir.Write("empty.iso", "");
  EXPECT_EQ(InspectImage(dir / "empty.iso").kind, ImageKind::kNone);
  std::string sector = FatBootSector(1440);
  sector[11] = 0, sector[12] = 3;  // 768 bytes a sector: no FAT volume
  dir.Write("odd.img", sector + std::string(1440 * 768, '\0'));
  EXPECT_EQ(InspectImage(dir / "odd.img").kind, ImageKind::kNone);
  EXPECT_THROW(InspectImage(dir / "missing.img"), mkmedium::Failure);
}

// What an image's own listing shows: the bytes of its files, and what is
// neither a file nor a folder.
TEST(Images, ListedByTheirToolsBeforeAnythingIsUnpacked) {
  Scratch dir;
  dir.Write("src/A.TXT", std::string(3000, 'a'));
  dir.Write("src/SUB/B.BIN", std::string(70000, 'b'));
  std::string log = dir / "list.log";
  ASSERT_EQ(RunTool({"mformat", "-C", "-i", dir / "f.img", "-f", "1440", "::"}, log), 0);
  ASSERT_EQ(RunTool({"mcopy", "-s", "-i", dir / "f.img", dir / "src/A.TXT", dir / "src/SUB", "::"}, log), 0);
  ImageInfo fat = InspectImage(dir / "f.img");
  ImageListing listed = ListImage(dir / "f.img", fat, log);
  EXPECT_EQ(listed.bytes, 73000u);
  EXPECT_TRUE(listed.special.empty());
  // mdir lists a lone folder, and an empty floppy, otherwise.
  ASSERT_EQ(RunTool({"mformat", "-C", "-i", dir / "g.img", "-f", "720", "::"}, log), 0);
  EXPECT_EQ(ListImage(dir / "g.img", InspectImage(dir / "g.img"), log).bytes, 0u);
  ASSERT_EQ(RunTool({"mcopy", "-i", dir / "g.img", dir / "src/A.TXT", "::"}, log), 0);
  EXPECT_EQ(ListImage(dir / "g.img", InspectImage(dir / "g.img"), log).bytes, 3000u);

  ASSERT_EQ(mkfifo((dir / "src/PIPE").c_str(), 0600), 0);
  bool device = mknod((dir / "src/NULL").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
  ASSERT_EQ(RunTool({"xorriso", "-as", "mkisofs", "-quiet", "-R", "-o", dir / "c.iso", dir / "src"}, log), 0);
  ImageInfo iso = InspectImage(dir / "c.iso");
  listed = ListImage(dir / "c.iso", iso, log);
  EXPECT_EQ(listed.bytes, 73000u);
  std::string special;
  for (const std::string& s : listed.special) special += s + ";";
  EXPECT_EQ(special, device ? "'/NULL';'/PIPE';" : "'/PIPE';");
  try {
    CheckImageListing(dir / "c.iso", iso, listed, dir.root());
    ADD_FAILURE() << "special files passed";
  } catch (const mkmedium::Failure& f) {
    EXPECT_NE(std::string(f.what()).find("neither files nor folders"), std::string::npos) << f.what();
  }
}

// Files that add up to far more than their image holds, or to more than the
// room left where they would be unpacked, are refused before any is.
TEST(Images, WhatCannotBeUnpackedIsRefusedBeforehand) {
  Scratch dir;
  auto reason = [&](uint64_t volume, uint64_t files) {
    ImageInfo info;
    info.kind = ImageKind::kIso;
    info.size = volume;
    ImageListing listing;
    listing.bytes = files;
    listing.known = true;
    try {
      CheckImageListing(dir / "x.iso", info, listing, dir / "work/medium1");
    } catch (const mkmedium::Failure& f) {
      return std::string(f.what());
    }
    return std::string("(accepted)");
  };
  mkmedium::MakeFolders(dir / "work/medium1");
  EXPECT_EQ(reason(2600000, 2500000), "(accepted)");
  EXPECT_EQ(reason(2600000, 5200000), "(accepted)");
  EXPECT_NE(reason(2600000, 5200001).find("far more than the 2.6 MB of the image can hold"), std::string::npos);
  EXPECT_NE(reason(2600000, 302000000).find("add up to 302.0 MB"), std::string::npos);
  // No file system has an exabyte free.
  std::string room = reason(uint64_t(1) << 61, uint64_t(1) << 60);
  EXPECT_NE(room.find("and the temporary folder " + dir.root() + " has"), std::string::npos) << room;
  EXPECT_NE(room.find("name a folder with room in TMP"), std::string::npos) << room;
}

// ---- media ------------------------------------------------------------------

// The reason GatherMedium gives for the arguments, or "(accepted)".
std::string Refusal(const Scratch& dir, const std::vector<std::string>& args) {
  try {
    GatherMedium(args, dir / "work", false);
  } catch (const mkmedium::Failure& f) {
    return f.what();
  }
  return "(accepted)";
}

TEST(Media, DisksByTheirLabelsAndTheScriptsDisk) {
  Scratch dir;
  dir.Write("cd/disk10/disk10.fix", "");
  dir.Write("cd/disk2/disk2.fix", "");
  dir.Write("cd/disk2/Orbane.fix", "");
  dir.Write("cd/notes/readme.txt", "");
  dir.Write("floppy/DISK3.FIX", "");
  Medium m = GatherMedium({dir / "floppy", dir / "cd"}, dir / "work", false);
  ASSERT_EQ(m.disks.size(), 3u);
  EXPECT_EQ(m.disks.at(3).folder, dir / "floppy");
  EXPECT_EQ(m.disks.at(10).folder, dir / "cd/disk10");
  EXPECT_EQ(m.start, dir / "cd/disk2");
}

TEST(Media, RefusedWithTheirReason) {
  Scratch dir;
  dir.Write("a/disk1.fix", "");
  dir.Write("a/Orbane.fix", "");
  dir.Write("b/disk1.fix", "");
  dir.Write("c/disk2.fix", "");
  dir.Write("empty/readme.txt", "");
  auto reason = [&](const std::vector<std::string>& args) { return Refusal(dir, args); };
  EXPECT_NE(reason({dir / "a", dir / "b"}).find("two disks have the label disk1.fix"), std::string::npos);
  EXPECT_NE(reason({dir / "c"}).find("Orbane.fix"), std::string::npos);
  EXPECT_NE(reason({dir / "empty"}).find("holds no disk"), std::string::npos);
  EXPECT_NE(reason({dir / "none"}).find("no medium at"), std::string::npos);
  ASSERT_EQ(symlink("/etc", (dir / "c/etc").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "a/pipe").c_str(), 0600), 0);
  std::string links = reason({dir / "a"});
  EXPECT_NE(links.find(dir / "a/pipe"), std::string::npos) << links;
  links = reason({dir / "c", dir / "a"});
  EXPECT_NE(links.find(dir / "c/etc"), std::string::npos) << links;
}

// A label counts in the one form the updater asks for, "disk%d.fix", letter
// case aside: disk02.fix is no disk at all.
TEST(Media, ALabelCountsOnlyInTheUpdatersForm) {
  Scratch dir;
  dir.Write("a/disk02.fix", "");
  dir.Write("a/disk1.fixx", "");
  dir.Write("a/DISK3.FIX", "");
  dir.Write("a/disk4.fix", "");
  dir.Write("a/disk0.fix", "");
  dir.Write("a/disk99999999999.fix", "");
  std::vector<int> labels = Labels(dir / "a");
  std::sort(labels.begin(), labels.end());
  EXPECT_EQ(labels, (std::vector<int>{0, 3, 4}));
  dir.Write("b/disk02.fix", "");
  dir.Write("b/Orbane.fix", "");
  std::string why = Refusal(dir, {dir / "b"});
  EXPECT_NE(why.find("holds no disk"), std::string::npos) << why;
  EXPECT_NE(why.find("disk02.fix is no label: the updater looks for the form disk2.fix"), std::string::npos) << why;

  mkmedium::MakeFolders(dir / "prefix/dosdevices");
  DriveLink drive(dir / "prefix", dir / "a");
  Medium medium;
  medium.disks[2] = Disk{2, dir / "b", "b"};
  std::ostringstream note;
  EXPECT_FALSE(ChangeDisk("disk02.fix", medium, &drive, note));
  EXPECT_FALSE(ChangeDisk("disk+2.fix", medium, &drive, note));
}

// Windows holds one of two names that differ only in case, and a label twice
// is no second disk.
TEST(Media, NamesThatDifferOnlyInCaseAreRefused) {
  Scratch dir;
  dir.Write("m/disk1.fix", "");
  dir.Write("m/Orbane.fix", "");
  dir.Write("m/MAIN.EX_", "1");
  dir.Write("m/main.ex_", "2");
  std::string why = Refusal(dir, {dir / "m"});
  EXPECT_NE(why.find("differ only in letter case"), std::string::npos) << why;
  EXPECT_NE(why.find("MAIN.EX_ and main.ex_"), std::string::npos) << why;
  unlink((dir / "m/main.ex_").c_str());
  dir.Write("m/DATA/A.TXT", "");
  dir.Write("m/data/B.TXT", "");
  why = Refusal(dir, {dir / "m"});
  EXPECT_NE(why.find("DATA and data"), std::string::npos) << why;
  mkmedium::RemoveTree(dir / "m/data");
  dir.Write("m/DISK1.FIX", "");
  why = Refusal(dir, {dir / "m"});
  EXPECT_NE(why.find("DISK1.FIX and disk1.fix"), std::string::npos) << why;
  unlink((dir / "m/DISK1.FIX").c_str());
  EXPECT_EQ(Refusal(dir, {dir / "m"}), "(accepted)");
}

// A folder medium that another user may change could have a file swapped for
// a link to one of this user's private files after it was looked at.
TEST(Media, AFolderMediumOthersMayChangeIsRefused) {
  Scratch dir;
  dir.Write("m/disk1/disk1.fix", "");
  dir.Write("m/disk1/Orbane.fix", "");
  dir.Write("m/disk1/DATA/A.TXT", "");
  ASSERT_EQ(Refusal(dir, {dir / "m"}), "(accepted)");
  // Writable by others: the medium, a folder of it, a folder above it.
  for (std::string folder : {"m", "m/disk1/DATA", ""}) {
    SCOPED_TRACE(folder);
    std::string path = folder.empty() ? dir.root() : dir / folder;
    ASSERT_EQ(chmod(path.c_str(), 0777), 0);
    std::string why = Refusal(dir, {dir / "m"});
    EXPECT_NE(why.find("another user may change the medium"), std::string::npos) << why;
    EXPECT_NE(why.find("\n  " + path), std::string::npos) << why;
    ASSERT_EQ(chmod(path.c_str(), 0755), 0);
  }
  // Above it, a folder all may write into that keeps each one's entries
  // theirs (as /tmp) is no way in.
  ASSERT_EQ(chmod(dir.root().c_str(), 01777), 0);
  EXPECT_EQ(Refusal(dir, {dir / "m"}), "(accepted)");
  ASSERT_EQ(chmod(dir.root().c_str(), 0700), 0);
  if (geteuid() != 0) GTEST_SKIP() << "giving a folder to another user needs root";
  ASSERT_EQ(chown((dir / "m/disk1").c_str(), 4321, 4321), 0);
  std::string why = Refusal(dir, {dir / "m"});
  EXPECT_NE(why.find("\n  " + dir / "m/disk1"), std::string::npos) << why;
  // A file of another user's in this user's own folder cannot be swapped.
  ASSERT_EQ(chown((dir / "m/disk1").c_str(), 0, 0), 0);
  ASSERT_EQ(chown((dir / "m/disk1/DATA/A.TXT").c_str(), 4321, 4321), 0);
  EXPECT_EQ(Refusal(dir, {dir / "m"}), "(accepted)");
}

// ---- the drive and the disk change ----------------------------------------------

TEST(DriveLinks, FirstFreeLetterNeverAnExistingOne) {
  Scratch dir;
  mkmedium::MakeFolders(dir / "prefix/dosdevices");
  ASSERT_EQ(symlink("/nowhere", (dir / "prefix/dosdevices/d:").c_str()), 0);  // broken, still in use
  ASSERT_EQ(symlink("/dev/sr0", (dir / "prefix/dosdevices/e::").c_str()), 0);
  dir.Write("disk1/disk1.fix", "");
  dir.Write("disk2/disk2.fix", "");
  {
    DriveLink drive(dir / "prefix", dir / "disk1");
    EXPECT_EQ(drive.letter(), 'F');
    char buf[256];
    ssize_t n = readlink((dir / "prefix/dosdevices/f:").c_str(), buf, sizeof buf);
    EXPECT_EQ(std::string(buf, n > 0 ? n : 0), dir / "disk1");

    Medium medium;
    medium.disks[1] = Disk{1, dir / "disk1", "disk1"};
    medium.disks[2] = Disk{2, dir / "disk2", "second"};
    std::ostringstream note;
    EXPECT_FALSE(ChangeDisk("disk3.fix", medium, &drive, note));
    EXPECT_FALSE(ChangeDisk("disk1.fix", medium, &drive, note));  // in the drive already
    EXPECT_FALSE(ChangeDisk("Orbane.fix", medium, &drive, note));
    EXPECT_TRUE(ChangeDisk("DISK2.FIX", medium, &drive, note));
    EXPECT_NE(note.str().find("disk 2 (second) is now in drive F:"), std::string::npos) << note.str();
    EXPECT_TRUE(mkmedium::Exists(dir / "prefix/dosdevices/f:/disk2.fix"));
  }
  EXPECT_FALSE(mkmedium::Exists(dir / "prefix/dosdevices/f:"));
  EXPECT_TRUE(mkmedium::Exists(dir / "prefix/dosdevices/d:"));
}

TEST(DriveLinks, ALinkReplacedBySomeoneElseStays) {
  Scratch dir;
  mkmedium::MakeFolders(dir / "prefix/dosdevices");
  mkmedium::MakeFolders(dir / "disk");
  {
    DriveLink drive(dir / "prefix", dir / "disk");
    std::string link = dir / "prefix/dosdevices/d:";
    unlink(link.c_str());
    ASSERT_EQ(symlink("/mnt/cdrom", link.c_str()), 0);
  }
  EXPECT_TRUE(mkmedium::Exists(dir / "prefix/dosdevices/d:"));
}

// ---- one run per prefix ------------------------------------------------------

std::string Refusal(const std::string& prefix) {
  std::ostringstream note;
  try {
    PrefixLock lock(prefix, note);
  } catch (const mkmedium::Failure& f) {
    return f.what();
  }
  return "(taken)" + note.str();
}

TEST(PrefixLocks, ASecondRunRefusesAndNamesTheFirst) {
  Scratch dir;
  mkmedium::MakeFolders(dir / "prefix");
  {
    std::ostringstream note;
    PrefixLock lock(dir / "prefix", note);
    std::string why = Refusal(dir / "prefix");
    EXPECT_NE(why.find("another update of this prefix is running (pid " + std::to_string(getpid()) + ")"),
              std::string::npos)
        << why;
  }
  EXPECT_EQ(Refusal(dir / "prefix"), "(taken)");
}

TEST(PrefixLocks, TheProgramsOfARunHoldItAfterTheRunHasGone) {
  Scratch dir;
  mkmedium::MakeFolders(dir / "prefix");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  // A run takes the lock, starts a program that lives on a moment, and is
  // killed.
  pid_t run = fork();
  ASSERT_GE(run, 0);
  if (run == 0) {
    std::ostringstream note;
    PrefixLock lock(dir / "prefix", note);
    if (fork() == 0) {
      if (write(ready[1], "p", 1) != 1) _exit(2);
      usleep(400 * 1000);
      _exit(0);
    }
    raise(SIGKILL);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  int status;
  ASSERT_EQ(waitpid(run, &status, 0), run);
  // While the program lives, no run takes the lock; the next one waits for
  // it and says so, as its run is gone.
  std::ostringstream note;
  auto start = std::chrono::steady_clock::now();
  PrefixLock lock(dir / "prefix", note);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_NE(note.str().find("waiting for the updater of a stopped run"), std::string::npos) << note.str();
  close(ready[0]);
  close(ready[1]);
}

// ---- what a killed run leaves ------------------------------------------------

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (struct dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Leftovers, TheDriveAndFoldersOfAKilledRunGoAndNothingElse) {
  Scratch dir;
  mkmedium::MakeFolders(dir / "prefix/dosdevices");
  mkmedium::MakeFolders(dir / "temp");
  dir.Write("cd/disk1/disk1.fix", "");
  dir.Write("cd/disk2/disk2.fix", "");
  pid_t run = fork();
  ASSERT_GE(run, 0);
  if (run == 0) {
    RunRecord record(dir / "prefix");
    std::string work = record.MakeFolder(dir / "temp");
    mkmedium::MakeFolders(work + "/disk1");
    record.NoteTargets({dir / "cd/disk1", dir / "cd/disk2"});
    DriveLink drive(dir / "prefix", dir / "cd/disk1", &record);
    Medium medium;
    medium.disks[2] = Disk{2, dir / "cd/disk2", "disk2"};
    std::ostringstream note;
    ChangeDisk("disk2.fix", medium, &drive, note);
    raise(SIGKILL);
  }
  int status;
  ASSERT_EQ(waitpid(run, &status, 0), run);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_TRUE(mkmedium::Exists(dir / "prefix/dosdevices/d:"));
  ASSERT_TRUE(mkmedium::Exists(dir / "prefix/zefa-update.run"));
  // Meanwhile a drive of the user's own came, at a letter the run did not take.
  ASSERT_EQ(symlink((dir / "cd/disk1").c_str(), (dir / "prefix/dosdevices/e:").c_str()), 0);
  dir.Write("temp/zefa-update.mine/keep", "");

  std::ostringstream said;
  RemoveLeftovers(dir / "prefix", said);
  EXPECT_FALSE(mkmedium::Exists(dir / "prefix/dosdevices/d:"));
  EXPECT_TRUE(mkmedium::Exists(dir / "prefix/dosdevices/e:"));
  EXPECT_FALSE(mkmedium::Exists(dir / "prefix/zefa-update.run"));
  EXPECT_EQ(Entries(dir / "temp"), std::vector<std::string>{"zefa-update.mine"});
  EXPECT_NE(said.str().find("removed the drive D:"), std::string::npos) << said.str();
  // The user's D: in the place of the run's, after it was killed, stays.
  ASSERT_EQ(symlink("/mnt/cdrom", (dir / "prefix/dosdevices/d:").c_str()), 0);
  RemoveLeftovers(dir / "prefix", said);
  EXPECT_TRUE(mkmedium::Exists(dir / "prefix/dosdevices/d:"));
}

TEST(Leftovers, ALinkOfTheUsersAtTheLetterTheRunWantedStays) {
  Scratch dir;
  mkmedium::MakeFolders(dir / "prefix/dosdevices");
  dir.Write("cd/disk1/disk1.fix", "");
  {
    RunRecord record(dir / "prefix");
    record.NoteTargets({dir / "cd/disk1"});
    record.NoteDrive(dir / "prefix/dosdevices/d:");
    // Killed before its link was made; the user's own came at that letter.
    ASSERT_EQ(symlink("/mnt/cdrom", (dir / "prefix/dosdevices/d:").c_str()), 0);
    std::ostringstream said;
    RemoveLeftovers(dir / "prefix", said);
    EXPECT_EQ(said.str(), "");
  }
  EXPECT_TRUE(mkmedium::Exists(dir / "prefix/dosdevices/d:"));
}

}  // namespace
