// The two questions before an installed file is replaced: what they show, and
// which answers they take.
#include "engine/overwrite_confirmation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "engine_fixture.h"
#include "wintext/cp932.h"
#include "platform/posix/files/paths.h"
#include "support/scoped_env.h"
#include "support/syscall_faults.h"

namespace {

class Confirmation : public EngineRun {
 protected:
  void SetUp() override {
    EngineRun::SetUp();
    const char* tz = std::getenv("TZ");
    savedTz_ = tz ? tz : "";
    hadTz_ = tz != nullptr;
    setenv("TZ", "JST-9", 1);  // east of UTC
    tzset();
  }
  void TearDown() override {
    if (hadTz_)
      setenv("TZ", savedTz_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
    EngineRun::TearDown();
  }

 private:
  std::string savedTz_;
  bool hadTz_ = false;
};

// 1999-12-31 23:30:00 UTC: the next day in Japan.
constexpr uint64_t kNewYearsEve = 125911566000000000ULL;
// 1996-04-03 00:05:07 UTC: 09:05:07 in Japan.
constexpr uint64_t kApril = 124729635070000000ULL;

TEST_F(Confirmation, OverwriteShowsBothFilesExpandedInLocalTime) {
  OnDiskCompressed(1, "main.ex_", std::string(300000, 'm'), kApril);
  Installed("main.exe", std::string(300, 'i'), kNewYearsEve);
  Insert(1);
  user.Then("はい");
  EXPECT_TRUE(AskOverwrite("C:\\medium\\main.ex_", "C:\\Game\\main.exe"));
  ASSERT_EQ(user.Scenes().size(), 1u);
  const posix::ui::Scene& scene = user.Scenes()[0];
  EXPECT_EQ(scene.caption, "ﾌｧｲﾙの上書きの確認");
  EXPECT_EQ(scene.lines, (std::vector<std::string>{
                             "新しいﾌｧｲﾙ 'main.exe'が存在します",
                             "現在ｲﾝｽﾄｰﾙされているﾌｧｲﾙ",
                             "ｻｲｽﾞ: 300ﾊﾞｲﾄ, 更新日時 2000/1/1 08:30:00",
                             "を次のﾌｧｲﾙで上書きしますか？",
                             "ｻｲｽﾞ: 300000ﾊﾞｲﾄ, 更新日時 1996/4/3 09:05:07",
                         }));
  ASSERT_EQ(scene.buttons.size(), 2u);
  EXPECT_EQ(scene.buttons[0].label, "はい");
  EXPECT_EQ(scene.buttons[1].label, "いいえ");
  EXPECT_EQ(scene.defaultButton, IDYES);
}

TEST_F(Confirmation, OnlyTheTwoButtonsEndTheDialog) {
  Installed("a.txt", "a", kNew);
  user.Then("escape").Then("close").Then("いいえ").Then("escape").Then("はい");
  EXPECT_FALSE(AskReplaceInstalled("C:\\Game\\a.txt"));
  EXPECT_TRUE(AskReplaceInstalled("C:\\Game\\a.txt"));
  EXPECT_EQ(user.Scenes().size(), 5u);
}

TEST_F(Confirmation, ReplaceInstalledShowsTheInstalledFileOnly) {
  Installed("movie.dat", std::string(12, 'x'), kApril);
  user.Then("いいえ");
  EXPECT_FALSE(AskReplaceInstalled("C:\\Game\\movie.dat"));
  ASSERT_EQ(user.Scenes().size(), 1u);
  EXPECT_EQ(user.Scenes()[0].lines, (std::vector<std::string>{
                                        "新しいﾌｧｲﾙ 'movie.dat'が存在します",
                                        "現在ｲﾝｽﾄｰﾙされているﾌｧｲﾙ",
                                        "ｻｲｽﾞ: 12ﾊﾞｲﾄ, 更新日時 1996/4/3 09:05:07",
                                        "をｱｯﾌﾟﾃﾞｰﾄしますか？",
                                    }));
}

TEST_F(Confirmation, AFileThatCannotBeReadIsReportedAndAnsweredNo) {
  OnDisk(1, "new.txt", "n");
  Insert(1);
  user.Then("OK").Then("OK");
  EXPECT_FALSE(AskOverwrite("C:\\medium\\new.txt", "C:\\Game\\missing.txt"));
  EXPECT_FALSE(AskReplaceInstalled("C:\\Game\\missing.txt"));
  ASSERT_EQ(user.Scenes().size(), 2u);
  for (const posix::ui::Scene& scene : user.Scenes()) {
    EXPECT_FALSE(scene.dialog);  // the dialog itself is never shown
    EXPECT_EQ(scene.icon, "error");
    EXPECT_EQ(scene.lines, std::vector<std::string>{"ファイル'C:\\Game\\missing.txt'をオープンできません"});
  }
}

// Deletes the installed file the second time it is opened: after the
// freshness test, before the dialog reads it.
std::string doomed;
int opensOfDoomed = 0;
int OpenAndDelete(const char* path, int flags, mode_t mode) {
  if (doomed == path && ++opensOfDoomed == 2) unlink(path);
  return posix::RealSyscalls().open(path, flags, mode);
}

TEST_F(Confirmation, AnInstalledFileDeletedBeforeTheDialogIsSkipped) {
  OnDisk(1, "a.txt", "update a", kOld);
  OnDisk(1, "b.txt", "update b", kOld);
  Installed("a.txt", "installed a", kNew);
  ASSERT_EQ(posix::MapPath("C:\\Game\\a.txt", &doomed), 0u);
  opensOfDoomed = 0;
  SyscallFaults faults;
  faults.sys().open = OpenAndDelete;
  user.Then("OK");
  EXPECT_EQ(Run("1:a.txt\n1:b.txt\n"), "");
  ASSERT_EQ(user.Scenes().size(), 1u);
  EXPECT_EQ(user.Scenes()[0].lines, std::vector<std::string>{"ファイル'C:\\Game\\a.txt'をオープンできません"});
  EXPECT_FALSE(box.Exists("Game\\a.txt"));  // skipped, not copied
  EXPECT_EQ(box.Read("Game\\b.txt"), "update b");
}

TEST(FormatFileInfo, SizeAndLocalTimeInTheDialogsFormat) {
  setenv("TZ", "UTC0", 1);
  tzset();
  char buffer[512];
  FormatFileInfo(buffer, 4294967295u, {0, 0});
  EXPECT_STREQ(buffer, "ｻｲｽﾞ: 4294967295ﾊﾞｲﾄ, 更新日時 1601/1/1 00:00:00");
  unsetenv("TZ");
  tzset();
}

// Leaves a recognisable pattern where the next call's locals will lie.
__attribute__((noinline)) void SoilTheStack() {
  volatile char junk[4096];
  for (auto& c : junk) c = 0x55;
}

TEST(FormatFileInfo, ATimeThatCannotBeConvertedShowsZeros) {
  char buffer[512];
  {
    // West of UTC the earliest time has no local time.
    ScopedEnv tz("TZ", "EST5");
    tzset();
    SoilTheStack();
    FormatFileInfo(buffer, 0, {0, 0});
  }
  tzset();
  EXPECT_STREQ(buffer, "ｻｲｽﾞ: 0ﾊﾞｲﾄ, 更新日時 0/0/0 00:00:00");
}

}  // namespace
