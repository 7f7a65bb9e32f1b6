// The copy run over a medium of several disks, with a scripted person
// answering its boxes and dialogs.
#include <gtest/gtest.h>

#include <string>

#include "engine/update_job.h"
#include "engine_fixture.h"
#include "foundation/file_cat.h"
#include "foundation/paths.h"
#include "support/syscall_faults.h"

namespace {

using CopyEngine = EngineRun;

TEST_F(CopyEngine, EachEntryStepsTheBarOnceAskedOrNot) {
  OnDisk(1, "a.txt", "new a", kNew);
  OnDisk(1, "b.txt", "new b", kOld);
  OnDisk(1, "c.txt", "new c", kNew);
  Installed("b.txt", "newer b", kNew);  // newer than the update's: asked, declined
  user.Then("いいえ");
  EXPECT_EQ(Run("1:a.txt\n1:b.txt\n1:c.txt\n"), "");
  EXPECT_EQ(BarMaximum(), 3);
  EXPECT_EQ(BarPosition(), 3);
  ASSERT_EQ(user.Scenes().size(), 1u);
  EXPECT_EQ(user.Scenes()[0].behind, std::vector<std::string>{"アプリケーションのアップデート [1/3]"});
  EXPECT_EQ(box.Read("Game\\a.txt"), "new a");
  EXPECT_EQ(box.Read("Game\\b.txt"), "newer b");
  EXPECT_EQ(box.Read("Game\\c.txt"), "new c");
  EXPECT_EQ(box.WriteTime("Game\\a.txt"), kNew);
}

TEST_F(CopyEngine, SingleEntriesAreCopiedOrExpandedAskingOnlyBeforeReplacingAsNewOrNewer) {
  OnDisk(1, "old.txt", "update", kNew);
  OnDisk(1, "same.txt", "update", kNew);
  OnDiskCompressed(1, "main.ex_", std::string(5000, 'M'), kNew);
  OnDiskCompressed(1, "data.da_", std::string(3000, 'D'), kNew);
  Installed("old.txt", "older", kOld);
  Installed("same.txt", "as old", kNew);
  user.Then("はい");
  EXPECT_EQ(Run("1:old.txt\n1:same.txt\n1:main.ex_\n1:data.da_>data.dat\n"), "");
  ASSERT_EQ(user.Scenes().size(), 1u);  // only the file exactly as old as the update's
  EXPECT_EQ(box.Read("Game\\old.txt"), "update");
  EXPECT_EQ(box.Read("Game\\same.txt"), "update");
  // Without a destination name the expanded file keeps the source's name.
  EXPECT_EQ(box.Read("Game\\main.ex_"), std::string(5000, 'M'));
  EXPECT_EQ(box.Read("Game\\data.dat"), std::string(3000, 'D'));
  EXPECT_EQ(box.WriteTime("Game\\data.dat"), kNew);
}

TEST_F(CopyEngine, TheDiskRequestRepeatsUntilTheLabelIsThere) {
  OnDisk(1, "one.txt", "1");
  OnDisk(2, "two.txt", "2");
  user.Then("OK")                   // nothing inserted: asked again
      .Then("キャンセル")
      .Then("いいえ")               // not stopping: back to the request
      .Then("OK", Inserting(2));
  EXPECT_EQ(Run("1:one.txt\n2:two.txt\n"), "");
  EXPECT_EQ(box.Read("Game\\two.txt"), "2");
  EXPECT_EQ(user.Transcript(),
            u8"box: ゼファ アップデート\n"
            u8"  icon: information\n"
            u8"  text: ディスク 2 を入れてください\n"
            u8"  buttons: OK | キャンセル\n"
            u8"  behind: アプリケーションのアップデート [1/2]\n"
            u8"  answer: OK\n"
            u8"box: ゼファ アップデート\n"
            u8"  icon: information\n"
            u8"  text: ディスク 2 を入れてください\n"
            u8"  buttons: OK | キャンセル\n"
            u8"  behind: アプリケーションのアップデート [1/2]\n"
            u8"  answer: キャンセル\n"
            u8"box: ゼファ アップデート\n"
            u8"  icon: warning\n"
            u8"  text: アップデートを中断しますか？\n"
            u8"  text: ここで中断するとアプリケーションが正常に動作しなくなります。\n"
            u8"  text: よろしいですか？\n"
            u8"  buttons: はい | いいえ\n"
            u8"  behind: アプリケーションのアップデート [1/2]\n"
            u8"  answer: いいえ\n"
            u8"box: ゼファ アップデート\n"
            u8"  icon: information\n"
            u8"  text: ディスク 2 を入れてください\n"
            u8"  buttons: OK | キャンセル\n"
            u8"  behind: アプリケーションのアップデート [1/2]\n"
            u8"  answer: OK\n");
}

TEST_F(CopyEngine, StoppingAtADiskRequestKeepsWhatWasDone) {
  OnDisk(1, "one.txt", "1");
  OnDisk(2, "two.txt", "2");
  OnDisk(3, "three.txt", "3");
  user.Then("キャンセル").Then("はい");
  EXPECT_EQ(Run("1:one.txt\n2:two.txt\n3:three.txt\n"), "アップデートを中止します");
  EXPECT_TRUE(box.Exists("Game\\one.txt"));
  EXPECT_FALSE(box.Exists("Game\\two.txt"));
  EXPECT_EQ(BarPosition(), 1);  // the entry in hand is not stepped
}

TEST_F(CopyEngine, ALabelIsTheDisksOnlyMarkAndAFolderOfThatNameCounts) {
  OnDisk(1, "one.txt", "1");
  box.MakeDir("disks\\1\\disk2.fix");  // disk 1 holds a folder with disk 2's label name
  EXPECT_EQ(Run("1:one.txt\n2:one.txt>copy.txt\n"), "");
  EXPECT_TRUE(user.Scenes().empty());
  EXPECT_EQ(box.Read("Game\\copy.txt"), "1");
}

TEST_F(CopyEngine, SplitEntriesAreExpandedPieceByPieceAndJoined) {
  std::string first(7000, 'a'), second(6000, 'b');
  OnDiskCompressed(2, "movie.da1_", first, kOld);
  OnDiskCompressed(3, "movie.da2_", second, kNew);
  OnDisk(1, "plain.dat1", "x", kNew);
  OnDisk(1, "plain.dat2", "y", kNew);
  user.Then("OK", Inserting(2)).Then("OK", Inserting(3));
  EXPECT_EQ(Run("1+1:plain.dat>plain.dat\n2+3:movie.da_>movie.dat\n"), "");
  EXPECT_EQ(user.Scenes().size(), 2u);  // the pieces on one disk asked for nothing
  EXPECT_EQ(box.Read("Game\\plain.dat"), "xy");
  EXPECT_EQ(box.Read("Game\\movie.dat"), first + second);
  EXPECT_EQ(box.WriteTime("Game\\movie.dat"), kOld);  // the first piece's time
  for (const char* piece : {"temp\\movie.da1", "temp\\movie.da2", "temp\\plain.dat1", "temp\\plain.dat2"})
    EXPECT_FALSE(box.Exists(piece)) << piece;
}

TEST_F(CopyEngine, ADeclinedJoinLeavesTheInstalledFileAndThePieces) {
  OnDisk(1, "big.bin1", "11");
  OnDisk(2, "big.bin2", "22");
  Installed("big.bin", "installed", kNew);
  user.Then("OK", Inserting(2)).Then("いいえ");
  EXPECT_EQ(Run("1+2:big.bin>big.bin\n"), "");
  ASSERT_EQ(user.Scenes().size(), 2u);
  // Asked only after both pieces were read from their disks.
  EXPECT_EQ(user.Scenes()[1].lines[0], "新しいﾌｧｲﾙ 'big.bin'が存在します");
  EXPECT_EQ(box.Read("Game\\big.bin"), "installed");
  EXPECT_EQ(box.Read("temp\\big.bin1"), "11");
  EXPECT_EQ(box.Read("temp\\big.bin2"), "22");
  EXPECT_EQ(BarPosition(), 1);
}

TEST_F(CopyEngine, ABlankDestinationOfASplitEntryFailsAtTheJoin) {
  OnDisk(1, "p1", "1");
  OnDisk(1, "p2", "2");
  EXPECT_EQ(Run("1+1:p>  \n"), FileCat::ExceptCreate("C:\\Game\\").message);
  EXPECT_EQ(box.Read("temp\\p1"), "1");
  EXPECT_EQ(box.Read("temp\\p2"), "2");
}

TEST_F(CopyEngine, AMissingFileOnTheDiskEndsTheRunWithItsMessage) {
  OnDisk(1, "here.txt", "h");
  EXPECT_EQ(Run("1:here.txt\n1:gone.txt\n1:after.txt\n"),
            "ﾌｧｲﾙ'C:\\medium\\gone.txt'を\nﾌｧｲﾙ'C:\\Game\\gone.txt'にコピーできません");
  EXPECT_TRUE(box.Exists("Game\\here.txt"));
  EXPECT_EQ(BarPosition(), 1);
}

// Paths that do not fit in 259 bytes: never cut and used, which would name
// another file, but the failure of the operation that needs them, before
// anything is written. Each is tried at 258, 259 and 260 bytes.

// A folder of the sandbox whose Windows path is length bytes: rel, and below
// it one or two folders to make up the length.
std::string LongFolder(const Sandbox& box, const std::string& rel, size_t length) {
  size_t rest = length - box.Win(rel).size() - 1;
  std::string path = rel + "\\" + std::string(rest > 120 ? 100 : rest, 'L');
  if (rest > 120) path += "\\" + std::string(rest - 101, 'M');
  box.MakeDir(rel);
  box.MakeDir(path.substr(0, rel.size() + 101));
  if (rest > 120) box.MakeDir(path);
  EXPECT_EQ(box.Win(path).size(), length);
  return path;
}

TEST_F(CopyEngine, AnInstallationPathThatDoesNotFitIsNeverCut) {
  OnDisk(1, "NEW.DAT", "update");
  // 表 ends the destination at byte 258, 259 and 260; cut at 259 bytes the
  // last would leave "...\MAINX", a file of the user's.
  for (size_t length : {258, 259, 260}) {
    std::string folder = LongFolder(box, "I" + std::to_string(length), length - 8);
    box.Write(folder + "\\MAINX", "the user's own");
    installDir = box.Win(folder);
    std::string result = Run("1:NEW.DAT>MAINX表\n");
    if (length <= 259) {
      EXPECT_EQ(result, "") << length;
      EXPECT_EQ(box.Read(folder + "\\MAINX表"), "update") << length;
    } else {
      EXPECT_EQ(result, "ﾌｧｲﾙ'C:\\medium\\NEW.DAT'を\nﾌｧｲﾙ'" + installDir + "\\MAINX'にコピーできません");
      EXPECT_FALSE(box.Exists(folder + "\\MAINX表"));
    }
    EXPECT_EQ(box.Read(folder + "\\MAINX"), "the user's own") << length;
  }
}

TEST_F(CopyEngine, ATemporaryPathThatDoesNotFitIsNeverCut) {
  OnDisk(1, "ABCDEFGHIJあ1", "piece 1,");
  OnDisk(1, "ABCDEFGHIJあ2", "piece 2");
  Installed("OUT.DAT", "installed", kOld);
  // The pieces' names, ABCDEFGHIJあ1 and 2, end the path at byte 258, 259,
  // 260 and 261; cut, both would be one file, and at 261 the cut falls in あ.
  for (size_t length : {258, 259, 260, 261}) {
    std::string folder = LongFolder(box, "T" + std::to_string(length), length - 14);
    setenv("TMP", box.Host(folder).c_str(), 1);
    std::string result = Run("1+1:ABCDEFGHIJあ>OUT.DAT\n");
    if (length <= 259) {
      EXPECT_EQ(result, "") << length;
      EXPECT_EQ(box.Read("Game\\OUT.DAT"), "piece 1,piece 2") << length;
      box.Write("Game\\OUT.DAT", "installed");
      box.SetWriteTime("Game\\OUT.DAT", kOld);
    } else {
      char cut[MAX_PATH];
      JoinPath(cut, (box.Win(folder) + "\\").c_str(), "ABCDEFGHIJあ1");
      EXPECT_EQ(result, "ﾌｧｲﾙ'C:\\medium\\ABCDEFGHIJあ1'を\nﾌｧｲﾙ'" + std::string(cut) + "'にコピーできません");
      EXPECT_EQ(std::string(cut).size(), length == 260 ? 259u : 258u) << length;
      EXPECT_EQ(box.Read("Game\\OUT.DAT"), "installed") << length;
      EXPECT_FALSE(box.Exists(folder + "\\ABCDEFGHIJあ")) << length;
      EXPECT_FALSE(box.Exists(folder + "\\ABCDEFGHIJ")) << length;
    }
  }
}

TEST_F(CopyEngine, AMediumPathThatDoesNotFitIsNeverCut) {
  // The script and the labels fit; the entries' names end at byte 258, 259
  // and 260, where 表 is cut in two.
  mediumFolder = LongFolder(box, "medium2", 240);
  std::string stem(17, 'N');  // what a cut at 259 bytes would leave of the last
  OnDisk(1, stem, "another file");
  for (size_t length : {258, 259, 260}) {
    std::string name = std::string(length - 240 - 1 - 2, 'N') + "表";
    OnDisk(1, name, "update");
    std::string result = Run("1:" + name + ">OUT" + std::to_string(length) + "\n");
    if (length <= 259) {
      EXPECT_EQ(result, "") << length;
      EXPECT_EQ(box.Read("Game\\OUT" + std::to_string(length)), "update") << length;
    } else {
      EXPECT_EQ(result, "ﾌｧｲﾙ'" + box.Win(mediumFolder) + "\\" + stem + "'を\nﾌｧｲﾙ'C:\\Game\\OUT260'にコピーできません");
      EXPECT_FALSE(box.Exists("Game\\OUT260"));
    }
  }
  // Pieces of a split entry on the medium likewise, before any piece is copied.
  std::string piece = std::string(16, 'N') + "表";
  OnDisk(1, piece, "another file");
  OnDisk(1, piece + "1", "piece");
  EXPECT_EQ(Run("1+1:" + piece + ">SPLIT\n"),
            "ﾌｧｲﾙ'" + box.Win(mediumFolder) + "\\" + piece + "'を\nﾌｧｲﾙ'C:\\temp\\" + piece + "1'にコピーできません");
  EXPECT_FALSE(box.Exists("temp\\" + piece + "1"));
  EXPECT_FALSE(box.Exists("Game\\SPLIT"));
}

TEST_F(CopyEngine, AJoinedFileWhosePathDoesNotFitFailsBeforeAnyPieceIsCopied) {
  OnDisk(1, "P1", "1");
  OnDisk(1, "P2", "2");
  std::string folder = LongFolder(box, "J", 252);
  box.Write(folder + "\\MAINX", "the user's own");
  installDir = box.Win(folder);
  EXPECT_EQ(Run("1+1:P>MAINX表\n"), FileCat::ExceptCreate((installDir + "\\MAINX").c_str()).message);
  EXPECT_EQ(box.Read(folder + "\\MAINX"), "the user's own");
  EXPECT_FALSE(box.Exists("temp\\P1"));
}

// ---- failures inside a split entry ---------------------------------------

TEST_F(CopyEngine, APieceThatCannotBeDeletedAfterTheJoinStaysAndNothingIsRaised) {
  OnDisk(1, "big.bin1", "11");
  OnDisk(1, "big.bin2", "22");
  SyscallFaults faults;
  faults.sys().unlink = [](const char* path) {
    if (std::string(path).find("/temp/") != std::string::npos) return errno = EACCES, -1;
    return posix::RealSyscalls().unlink(path);
  };
  EXPECT_EQ(Run("1+1:big.bin>big.bin\n"), "");
  EXPECT_EQ(box.Read("Game\\big.bin"), "1122");
  EXPECT_EQ(box.Read("temp\\big.bin1"), "11");
  EXPECT_EQ(box.Read("temp\\big.bin2"), "22");
  EXPECT_EQ(BarPosition(), 1);
  EXPECT_TRUE(user.Scenes().empty());
}

TEST_F(CopyEngine, StoppingAtTheDiskOfASplitEntrysNextPieceKeepsThePiecesSoFar) {
  OnDiskCompressed(1, "movie.da1_", std::string(3000, 'a'));
  OnDisk(1, "one.txt", "1");
  OnDisk(3, "movie.da3_", "c");
  Installed("movie.dat", "installed", kOld);
  user.Then("キャンセル").Then("はい");  // disk 2 never comes
  EXPECT_EQ(Run("1:one.txt\n1+2+3:movie.da_>movie.dat\n"), "アップデートを中止します");
  EXPECT_EQ(box.Read("temp\\movie.da1"), std::string(3000, 'a'));  // expanded, waiting to be joined
  EXPECT_FALSE(box.Exists("temp\\movie.da2"));
  EXPECT_EQ(box.Read("Game\\movie.dat"), "installed");
  EXPECT_EQ(box.Read("Game\\one.txt"), "1");
  EXPECT_EQ(BarPosition(), 1);
  ASSERT_EQ(user.Scenes().size(), 2u);
  EXPECT_EQ(user.Scenes()[0].lines[0], "ディスク 2 を入れてください");
}

// The second piece cannot be read while it is joined: the run ends with the
// piece's message; the destination keeps the first piece, with its time, and
// the piece that failed stays in the temporary directory.
TEST_F(CopyEngine, APieceFailingDuringTheJoinEndsTheRunWithItsMessage) {
  OnDisk(1, "big.bin1", std::string(5000, '1'), kOld);
  OnDisk(1, "big.bin2", std::string(5000, '2'), kNew);
  OnDisk(1, "after.txt", "after");
  // Opened for writing by the copy off the disk (1), then for reading by the join (2).
  FileFaults faults("/temp/big.bin2", 2, FileFaults::kRead);
  EXPECT_EQ(Run("1+1:big.bin>big.bin\n1:after.txt\n"), "ファイル'C:\\temp\\big.bin2'を読み込めません");
  EXPECT_EQ(FileFaults::Opens(), 2);
  EXPECT_EQ(box.Read("Game\\big.bin"), std::string(5000, '1'));
  EXPECT_EQ(box.WriteTime("Game\\big.bin"), kOld);
  EXPECT_FALSE(box.Exists("temp\\big.bin1"));  // joined whole, so deleted
  EXPECT_EQ(box.Read("temp\\big.bin2"), std::string(5000, '2'));
  EXPECT_FALSE(box.Exists("Game\\after.txt"));
  EXPECT_EQ(BarPosition(), 0);
}

}  // namespace
