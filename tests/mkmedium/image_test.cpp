// Disk images of a medium, read back with the tools of their file systems.
#include <gtest/gtest.h>

#include <cstdio>

#include "host_files.h"
#include "medium_fixture.h"
#include "medium_image.h"

namespace {

// Whether two folders hold the same files with the same bytes.
std::string Differences(const std::string& a, const std::string& b) {
  return CommandOutput("diff -r '" + a + "' '" + b + "'");
}

class ImageTest : public MediumTest {
 protected:
  std::vector<std::string> Images(bool iso, const char* floppy = "") {
    mkmedium::ImageOptions o;
    o.medium = Path("out");
    o.iso = iso;
    if (!iso) mkmedium::ParseDiskFormat(floppy, &o.format);
    mkmedium::Progress quiet(false);
    return mkmedium::MakeImages(o, quiet);
  }
};

TEST_F(ImageTest, FloppiesFilledToTheLastClusterAsTheLayoutCounted) {
  if (mkmedium::FindProgram({"mformat"}).empty() || mkmedium::FindProgram({"mcopy"}).empty())
    GTEST_SKIP() << "mtools (mformat, mcopy) is not installed";
  // A long name and a folder on each disk, a split file across both.
  AddFile("Read Me First.txt", Text(3000));
  AddFile("data/Stage.dat", Noise(900000));
  AddFile(u8"サブ/説明書.txt", "x");
  AddFile("zz.bin", Noise(200000));
  mkmedium::ParseDiskFormat("720K", &options.format);
  mkmedium::BuildResult r = Build();
  ASSERT_EQ(r.disks, 2);
  EXPECT_EQ(r.freeBytes[0], 0u);
  std::vector<std::string> images = Images(false, "720K");
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0], Path("out") + "/disk1.img");
  // mtools finds the first disk exactly full and the second with the room counted.
  EXPECT_NE(CommandOutput("mdir -i '" + images[0] + "' ::").find(" 0 bytes free"), std::string::npos);
  // mdir groups the digits by three with blanks.
  std::string free2 = std::to_string(r.freeBytes[1]);
  for (size_t at = free2.size(); at > 3; at -= 3) free2.insert(at - 3, " ");
  EXPECT_NE(CommandOutput("mdir -i '" + images[1] + "' ::").find(free2 + " bytes free"), std::string::npos) << free2;
  for (int d = 1; d <= 2; ++d) {
    std::string back = Path("back" + std::to_string(d));
    mkmedium::MakeFolders(back);
    std::string copied = CommandOutput("mcopy -s -m -n -i '" + images[size_t(d - 1)] + "' '::*' '" + back + "'");
    EXPECT_EQ(Differences(Path("out/disk" + std::to_string(d)), back), "") << copied;
  }
  // A second run replaces nothing unless told to.
  EXPECT_THROW(Images(false, "720K"), mkmedium::Failure);
}

TEST_F(ImageTest, AFolderLargerThanTheFloppyFailsAndLeavesNoImage) {
  if (mkmedium::FindProgram({"mformat"}).empty() || mkmedium::FindProgram({"mcopy"}).empty())
    GTEST_SKIP() << "mtools (mformat, mcopy) is not installed";
  AddFile("big.bin", Noise(1000000));
  mkmedium::ParseDiskFormat("1.44M", &options.format);
  Build();
  try {
    Images(false, "720K");
    ADD_FAILURE() << "no failure";
  } catch (const mkmedium::Failure& f) {
    EXPECT_NE(std::string(f.what()).find("on a 720K floppy: mcopy failed"), std::string::npos) << f.what();
  }
  EXPECT_FALSE(Exists("out/disk1.img"));
  EXPECT_FALSE(Exists("out/.disk1.img.partial"));
}

TEST_F(ImageTest, ACdImageHoldsTheDiskWithItsNames) {
  if (mkmedium::FindProgram({"xorriso"}).empty()) GTEST_SKIP() << "xorriso is not installed";
  AddFile("Read Me First.txt", Text(3000));
  AddFile(u8"サブ/説明書.txt", "x");
  AddFile("data/stage.dat", Noise(5000));
  mkmedium::ParseDiskFormat("650M", &options.format);
  Build();
  std::vector<std::string> images = Images(true);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0], Path("out") + "/disk1.iso");
  // Joliet keeps the names as Windows reads them from a CD.
  std::string joliet = CommandOutput("xorriso -read_fs norock -indev '" + images[0] + "' -find / -type f");
  EXPECT_NE(joliet.find("'/Read Me First.tx_'"), std::string::npos) << joliet;
  EXPECT_NE(joliet.find(u8"'/サブ/説明書.txt'"), std::string::npos) << joliet;
  std::string back = Path("back");
  CommandOutput("xorriso -osirrox on -indev '" + images[0] + "' -extract / '" + back + "'");
  EXPECT_EQ(Differences(Path("out/disk1"), back), "");
}

TEST_F(ImageTest, TheCommandTakesOneKindOfImage) {
  AddFile("A.TXT", "a");
  Build();
  std::string out;
  EXPECT_EQ(Run({"image", Path("out")}, &out), 2);
  EXPECT_EQ(Run({"image", "--iso", "--floppy", "1.44M", Path("out")}, &out), 2);
  EXPECT_EQ(Run({"image", "--floppy", "650M", Path("out")}, &out), 2);
  EXPECT_NE(out.find("--floppy takes 720K, 1.44M or 2.88M"), std::string::npos) << out;
  EXPECT_EQ(Run({"image", "--floppy", "1.44M", "--output", Path("out/disk1"), Path("out")}, &out), 3);
  EXPECT_NE(out.find("cannot go into the disk folder"), std::string::npos) << out;
}

}  // namespace
