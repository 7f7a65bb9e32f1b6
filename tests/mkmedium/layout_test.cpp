// Where files go: whole while they fit the room left, split at the exact
// byte where a disk is full, and how a FAT floppy's names and folders take
// room.
#include "layout.h"

#include <gtest/gtest.h>

#include "disk_room.h"

namespace {

using mkmedium::DiskFormat;
using mkmedium::FixedFile;
using mkmedium::Item;
using mkmedium::Layout;
using mkmedium::Piece;

DiskFormat Format(const char* size) {
  DiskFormat f;
  EXPECT_TRUE(mkmedium::ParseDiskFormat(size, &f)) << size;
  return f;
}

// Lays out plain files of the given sizes (named A, B, C, ...) on disks of
// `size` after `first` bytes of fixed files on disk 1.
class LayoutTest : public ::testing::Test {
 protected:
  bool Plan(const char* size, uint64_t first, std::vector<uint64_t> sizes) {
    items.clear();
    for (size_t i = 0; i < sizes.size(); ++i)
      items.push_back(Item{std::string(1, char('A' + i)), sizes[i], sizes[i]});
    std::vector<FixedFile> fixed;
    if (first) fixed.push_back(FixedFile{"ORBANE.FIX", first});
    auto plain = [this](size_t i, uint64_t offset, uint64_t room, uint64_t* stored) {
      *stored = std::min(room, items[i].size - offset);
      return *stored;
    };
    error.clear();
    return mkmedium::PlanLayout(Format(size), fixed, items, plain, &layout, &error);
  }

  // "disk:offset+length" of each piece of item i.
  std::vector<std::string> Pieces(size_t i) const {
    std::vector<std::string> out;
    for (const Piece& p : layout.pieces[i])
      out.push_back(p.stored + "@" + std::to_string(p.disk) + ":" + std::to_string(p.offset) + "+" +
                    std::to_string(p.length));
    return out;
  }

  std::vector<Item> items;
  Layout layout;
  std::string error;
};

using Strings = std::vector<std::string>;

TEST_F(LayoutTest, AFileThatExactlyFillsTheRoomLeftStaysWhole) {
  ASSERT_TRUE(Plan("1000", 100, {500, 400, 1}));
  EXPECT_EQ(Pieces(0), Strings{"A@1:0+500"});
  EXPECT_EQ(Pieces(1), Strings{"B@1:0+400"});
  EXPECT_EQ(layout.freeBytes[0], 0u);
  EXPECT_EQ(Pieces(2), Strings{"C@2:0+1"});
  EXPECT_EQ(layout.disks, 2);
}

TEST_F(LayoutTest, OneByteMoreSplitsOffTheLastByte) {
  ASSERT_TRUE(Plan("1000", 100, {500, 401}));
  EXPECT_EQ(Pieces(1), (Strings{"B1@1:0+400", "B2@2:400+1"}));
  EXPECT_EQ(layout.freeBytes, (std::vector<uint64_t>{0, 999}));
}

TEST_F(LayoutTest, APieceFillsEachDiskInTurn) {
  ASSERT_TRUE(Plan("1000", 100, {2500, 300}));
  EXPECT_EQ(Pieces(0), (Strings{"A1@1:0+900", "A2@2:900+1000", "A3@3:1900+600"}));
  // The next file starts where the split one ended.
  EXPECT_EQ(Pieces(1), Strings{"B@3:0+300"});
  EXPECT_EQ(layout.disks, 3);
}

TEST_F(LayoutTest, AFullDiskMakesNoEmptyPiece) {
  ASSERT_TRUE(Plan("1000", 0, {1000, 10, 2000}));
  EXPECT_EQ(Pieces(1), Strings{"B@2:0+10"});
  EXPECT_EQ(Pieces(2), (Strings{"C1@2:0+990", "C2@3:990+1000", "C3@4:1990+10"}));
}

TEST_F(LayoutTest, AFileOverNineteenDisksIsTheMostOneEntryHolds) {
  ASSERT_TRUE(Plan("1000", 0, {19000}));
  EXPECT_EQ(layout.pieces[0].size(), 19u);
  EXPECT_EQ(layout.pieces[0].back().disk, 19);
  EXPECT_FALSE(Plan("1000", 0, {19001}));
  EXPECT_NE(error.find("more than 19 disks"), std::string::npos) << error;
}

TEST_F(LayoutTest, FixedFilesThatDoNotFitTheFirstDiskAreAnError) {
  EXPECT_TRUE(Plan("1000", 1000, {1}));
  EXPECT_FALSE(Plan("1000", 1001, {1}));
  EXPECT_NE(error.find("does not fit the first disk"), std::string::npos) << error;
}

TEST(DiskFormat, SizesAsMformatLaysThemOut) {
  EXPECT_EQ(Format("720K").Bytes(), 730112u);
  EXPECT_EQ(Format("1.44M").Bytes(), 1457664u);
  EXPECT_EQ(Format("2.88M").Bytes(), 2931712u);
  EXPECT_EQ(Format("1.44M").clusterBytes, 512u);
  EXPECT_EQ(Format("1.44M").rootSlots, 224u);
  EXPECT_EQ(Format("650M").clusterBytes, 2048u);
  EXPECT_EQ(Format("12345").Bytes(), 12345u);
  DiskFormat f;
  for (const char* bad : {"", "0", "1.2M", "-5", "12k", "99999999999999999999"})
    EXPECT_FALSE(mkmedium::ParseDiskFormat(bad, &f)) << bad;
}

TEST(DiskRoom, NamesTakeOneSlotOrALongName) {
  EXPECT_EQ(mkmedium::NameSlots("README.TXT"), 1u);
  EXPECT_EQ(mkmedium::NameSlots("readme.txt"), 1u);
  EXPECT_EQ(mkmedium::NameSlots("disk1.fix"), 1u);
  EXPECT_EQ(mkmedium::NameSlots("Tavrix.bin"), 2u);  // mixed case
  EXPECT_EQ(mkmedium::NameSlots("movie.da1_"), 2u);  // a four-letter extension
  EXPECT_EQ(mkmedium::NameSlots("TOOLONGNAME"), 2u);
  EXPECT_EQ(mkmedium::NameSlots(std::string(27, 'a') + ".x"), 4u);  // 29 characters
  EXPECT_EQ(mkmedium::NameSlots("\x90\xE0\x96\xBE.TXT"), 2u);  // 説明.TXT
}

TEST(DiskRoom, TheRootTableOfAFloppyIsFull) {
  mkmedium::DiskRoom room(Format("720K"));
  for (int i = 0; i < 112; ++i) ASSERT_TRUE(room.Add("F" + std::to_string(i), 1)) << i;
  EXPECT_EQ(room.Room("ONEMORE"), -1);
  EXPECT_FALSE(room.Add("ONEMORE", 0));
  // A folder's own slots are not the root's.
  mkmedium::DiskRoom other(Format("720K"));
  for (int i = 0; i < 110; ++i) ASSERT_TRUE(other.Add("F" + std::to_string(i), 0));
  EXPECT_TRUE(other.Add("DATA\\A", 0));
  EXPECT_TRUE(other.Add("DATA\\B", 0));
  EXPECT_EQ(other.Room("LONGNAME.TEXT"), -1);  // two slots, one left
  EXPECT_GE(other.Room("SHORT"), 0);
}

TEST(DiskRoom, AFolderTakesClustersForItsSlots) {
  DiskFormat f = Format("1.44M");
  mkmedium::DiskRoom room(f);
  uint64_t all = f.Bytes();
  EXPECT_EQ(room.Room("A.TXT"), int64_t(all));
  // A new folder takes its first cluster (512 bytes: 16 slots, two of them "." and "..").
  EXPECT_EQ(room.Room("DATA\\A.TXT"), int64_t(all - 512));
  ASSERT_TRUE(room.Add("DATA\\A.TXT", 1));
  EXPECT_EQ(room.FreeBytes(), all - 1024);
  for (int i = 0; i < 13; ++i) ASSERT_TRUE(room.Add("DATA\\B" + std::to_string(i), 0));
  // The sixteenth slot is the folder's last in its cluster; the seventeenth takes another.
  EXPECT_EQ(room.FreeBytes(), all - 1024);
  EXPECT_EQ(room.Room("DATA\\C.TXT"), int64_t(all - 1536));
  EXPECT_EQ(room.Room("DATA\\SUB\\X"), int64_t(all - 2048));
}

}  // namespace
