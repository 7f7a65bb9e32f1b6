// The updater built without its dialog templates: the progress dialog cannot
// be made, and the run never starts.
#include <gtest/gtest.h>

#include "support/program_fixture.h"

namespace {

using UpdaterWithoutDialogs = ProgramRun;

TEST_F(UpdaterWithoutDialogs, AProgressDialogThatCannotBeMadeEndsTheProgramQuietly) {
  EXPECT_EQ(WinMain(nullptr, nullptr, const_cast<LPSTR>("C:\\medium\\Tavrix.bin"), 0), 0);
  EXPECT_TRUE(user.Scenes().empty());
  EXPECT_TRUE(user.Looked().empty());
  EXPECT_EQ(user.Transcript(), "");
  EXPECT_FALSE(box.Exists("Game\\README.TXT"));
  EXPECT_EQ(Pending(), "");
}

}  // namespace
