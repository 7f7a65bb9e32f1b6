// The updater's whole run, from WinMain, with its failures: every one ends in
// the error box with its message, the removal of the running copy at restart
// and the restart notice.
#include <gtest/gtest.h>

#include <string>

#include "foundation/exception.h"
#include "support/program_fixture.h"

namespace {

const char kNotice[] =
    u8"box: ゼファ アップデート\n"
    u8"  icon: information\n"
    u8"  text: ゼファアップデートのテンポラリファイルを削除するために\n"
    u8"  text: ウィンドウズを再起動してください。\n"
    u8"  buttons: OK\n";

std::string ErrorBox(const std::string& text, const std::string& behind) {
  return u8"box: ゼファ アップデート\n  icon: error\n  text: " + text + "\n" +
         "  buttons: OK\n  behind: " + behind + "\n  answer: OK\n";
}

std::string Notice(const std::string& behind) { return kNotice + ("  behind: " + behind + "\n  answer: OK\n"); }

using UpdaterRun = ProgramRun;

int Updater(const char* commandLine) { return WinMain(nullptr, nullptr, const_cast<LPSTR>(commandLine), 0); }

TEST_F(UpdaterRun, ARunThatCompletesRegistersTheRunningCopy) {
  user.Then("はい").Then("OK").Then("OK");
  EXPECT_EQ(Updater("C:\\medium\\Tavrix.bin"), 0);
  EXPECT_EQ(box.Read("Game\\README.TXT"), "read me");
  EXPECT_EQ(Pending(), box.Host("temp\\Tavrix.bin") + "\n");
  EXPECT_EQ(user.Left(), 0u);
}

TEST_F(UpdaterRun, NoTemporaryDirectoryIsAnErrorThenTheRemovalAndTheNotice) {
  ScopedEnv none("TMP", nullptr);
  box.Write("users", "a file where the profiles would be made");
  user.Then("OK").Then("OK");
  EXPECT_EQ(Updater("C:\\medium\\Tavrix.bin"), 0);
  EXPECT_EQ(user.Transcript(), ErrorBox(u8"テンポラリディレクトリがみつかりません", u8"「Sample」のアップデート [0/100]") +
                                   Notice(u8"「Sample」のアップデート [0/100]"));
  EXPECT_EQ(Pending(), box.Host("temp\\Tavrix.bin") + "\n");
  EXPECT_FALSE(box.Exists("Game\\README.TXT"));
}

// Started with nothing after its name and no name of its own to take the
// medium's folder from: nothing is shown, nothing registered.
TEST_F(UpdaterRun, AnEmptyCommandLineWithoutItsOwnNameEndsAtOnceWithoutAWindow) {
  RunningFrom("");
  EXPECT_EQ(Updater(""), 0);
  EXPECT_TRUE(user.Scenes().empty());
  EXPECT_TRUE(user.Looked().empty());
  EXPECT_EQ(Pending(), "");
  // With its own name, the folder it lies in is the medium.
  box.Write("medium\\Tavrix.bin", "the updater on the medium");
  RunningFrom("medium\\Tavrix.bin");
  user.Then("はい").Then("OK").Then("OK");
  EXPECT_EQ(Updater(""), 0);
  EXPECT_EQ(box.Read("Game\\README.TXT"), "read me");
  EXPECT_EQ(Pending(), box.Host("medium\\Tavrix.bin") + "\n");
}

TEST_F(UpdaterRun, AnExceptionWithoutAMessageShowsAnEmptyErrorBoxThenTheRemovalAndTheNotice) {
  user.Then("はい", [] { throw Exception(); }).Then("OK").Then("OK");
  EXPECT_EQ(Updater("C:\\medium\\Tavrix.bin"), 0);
  std::string transcript = user.Transcript();
  std::string tail = ErrorBox("", u8"「Sample」のアップデート [0/100]") + Notice(u8"「Sample」のアップデート [0/100]");
  ASSERT_GE(transcript.size(), tail.size());
  EXPECT_EQ(transcript.substr(transcript.size() - tail.size()), tail);
  ASSERT_EQ(user.Scenes().size(), 3u);
  EXPECT_EQ(user.Scenes()[1].lines, std::vector<std::string>{""});
  EXPECT_EQ(Pending(), box.Host("temp\\Tavrix.bin") + "\n");
}

}  // namespace
