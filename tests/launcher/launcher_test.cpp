// The launcher's failures before it copies the updater, from WinMain. Built
// without the launcher's dialog templates, so that its preparing window cannot
// be made either.
#include <gtest/gtest.h>

#include <string>

#include "support/program_fixture.h"

namespace {

class Launcher : public ProgramRun {
 protected:
  Launcher() {
    box.Write("medium\\Tavrix.bin", "the updater");
    box.Write("medium\\Orbane", "the launcher");
    RunningFrom("medium\\Orbane");
    box.MakeDir("target");
  }
  // Runs the launcher and gives the one box it showed, its text lines joined.
  std::string Box() {
    user.Then("OK");
    EXPECT_EQ(WinMain(nullptr, nullptr, const_cast<LPSTR>(""), 0), 0);
    EXPECT_EQ(user.Left(), 0u);
    if (user.Scenes().size() != 1) return "(" + std::to_string(user.Scenes().size()) + " boxes)";
    const posix::ui::Scene& scene = user.Scenes()[0];
    EXPECT_EQ(scene.caption, "ゼファアップデート");
    EXPECT_EQ(scene.icon, "error");
    std::string text;
    for (const std::string& line : scene.lines) text += line + "|";
    return text;
  }
  // Nothing was copied, nothing started, nothing registered.
  void ExpectNothingDone() {
    EXPECT_FALSE(box.Exists("temp\\Tavrix.bin") && box.Read("temp\\Tavrix.bin") == "the updater");
    EXPECT_TRUE(user.Looked().empty());
    EXPECT_EQ(Pending(), "");
  }
};

TEST_F(Launcher, WithoutItsOwnNameItSaysSo) {
  RunningFrom("");
  EXPECT_EQ(Box(), "モジュール名が取得できません。|指定されたファイルが見つかりません。|");
  ExpectNothingDone();
}

TEST_F(Launcher, WithoutATemporaryDirectoryItSaysSo) {
  ScopedEnv none("TMP", nullptr);
  box.Write("users", "a file where the profiles would be made");
  EXPECT_EQ(Box(), "テンポラリディレクトリが取得できません。|指定されたパスが見つかりません。|");
  ExpectNothingDone();
}

TEST_F(Launcher, APreparingWindowThatCannotBeMadeIsReportedBeforeAnythingIsCopied) {
  box.Write("temp\\Tavrix.bin", "an older copy");
  std::string text = Box();
  EXPECT_EQ(text.substr(0, text.find('|')), "ダイアログが表示できません。");
  EXPECT_EQ(box.Read("temp\\Tavrix.bin"), "an older copy");
  ExpectNothingDone();
}

}  // namespace
