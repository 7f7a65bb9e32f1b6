// The POSIX layer's windows as the programs rely on them: modal and modeless
// dialogs, message boxes, the progress bar, and the transcript they leave.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "platform/posix/ui/dialog_resources.h"
#include "platform/win32.h"
#include "support/sandbox.h"
#include "support/scripted_user.h"

namespace {

const posix::ControlTemplate kControls[] = {
    {6, "BUTTON", "はい", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 45, 95, 50, 14},
    {7, "BUTTON", "いいえ", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 105, 95, 50, 14},
    {65535, "STATIC", "下の行", WS_CHILD | WS_VISIBLE | WS_GROUP, 5, 60, 190, 10},
    {1002, "STATIC", "上の行", WS_CHILD | WS_VISIBLE | WS_GROUP, 5, 5, 195, 19},
    {65535, "STATIC", "#101", WS_CHILD | WS_VISIBLE | SS_ICON, 13, 15, 20, 20},
    {65535, "STATIC", "右の行", WS_CHILD | WS_VISIBLE | WS_GROUP, 100, 60, 90, 10},
};
const posix::ControlTemplate kProgressControls[] = {
    {1000, "msctls_progress32", "Progress1", WS_CHILD | WS_VISIBLE | WS_BORDER, 7, 55, 205, 14},
    {1002, "STATIC", "題", WS_CHILD | WS_VISIBLE | WS_GROUP, 41, 19, 171, 23},
};
const posix::DialogTemplate kDialogs[] = {
    {901, "質問", WS_POPUP | WS_CAPTION | DS_MODALFRAME, 0, 0, 204, 116, "", 9, kControls, 6},
    {902, "進行", WS_POPUP | WS_VISIBLE | WS_CAPTION, 0, 0, 219, 76, "", 9, kProgressControls, 2},
};
const posix::DialogRegistration kRegistration(kDialogs, 2);

// A dialog procedure that logs what it is given and ends on はい or いいえ.
std::vector<std::string> log;
bool endDuringInit = false;

INT_PTR CALLBACK LoggingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      log.push_back("init " + std::to_string(lParam));
      PostMessageA(dialog, WM_APP + 1, 1, 0);
      PostMessageA(dialog, WM_APP + 2, 2, 0);
      if (endDuringInit) EndDialog(dialog, 42);
      return TRUE;
    case WM_APP + 1:
    case WM_APP + 2:
      log.push_back("posted " + std::to_string(wParam));
      return TRUE;
    case WM_CLOSE:
      log.push_back("close");
      return FALSE;
    case WM_COMMAND:
      log.push_back("command " + std::to_string(LOWORD(wParam)));
      if (wParam == IDYES || wParam == IDNO) EndDialog(dialog, static_cast<INT_PTR>(wParam));
      return TRUE;
  }
  return FALSE;
}

class Ui : public ::testing::Test {
 protected:
  void SetUp() override {
    log.clear();
    endDuringInit = false;
  }
  ScriptedUser user;
};

TEST_F(Ui, ModalDialogRunsItsOwnLoopInOrder) {
  user.Then("escape").Then("close").Then("いいえ");
  INT_PTR result = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(901), nullptr, LoggingProc, 77);
  EXPECT_EQ(result, IDNO);
  EXPECT_EQ(log, (std::vector<std::string>{"init 77", "posted 1", "posted 2", "command 2", "close", "command 2",
                                           "command 7"}));
  ASSERT_EQ(user.Scenes().size(), 3u);
  const posix::ui::Scene& scene = user.Scenes()[0];
  EXPECT_TRUE(scene.dialog);
  EXPECT_EQ(scene.caption, "質問");
  EXPECT_EQ(scene.lines, (std::vector<std::string>{"上の行", "下の行", "右の行"}));
  ASSERT_EQ(scene.buttons.size(), 2u);
  EXPECT_EQ(scene.buttons[0].label, "はい");
  EXPECT_EQ(scene.defaultButton, IDYES);
}

TEST_F(Ui, ADialogEndedDuringItsSetUpIsNeverShown) {
  endDuringInit = true;
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(901), nullptr, LoggingProc, 0), 42);
  EXPECT_TRUE(user.Scenes().empty());
  EXPECT_EQ(user.Transcript(), "");
}

TEST_F(Ui, UnknownTemplatesAndOwnersFail) {
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(999), nullptr, LoggingProc, 0), -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(CreateDialogParamA(nullptr, MAKEINTRESOURCEA(999), nullptr, nullptr, 0), nullptr);
  HWND bogus = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x4444));
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(901), bogus, LoggingProc, 0), -1);
  EXPECT_EQ(GetDlgItem(bogus, 1), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Ui, ModelessDialogWithProgressBarShowsBehindBoxes) {
  HWND progress = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(902), nullptr, nullptr, 0);
  ASSERT_NE(progress, nullptr);
  EXPECT_TRUE(IsWindowVisible(progress));
  HWND bar = GetDlgItem(progress, 1000);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(GetDlgItem(progress, 1234), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CONTROL_ID_NOT_FOUND));
  EXPECT_TRUE(SetDlgItemTextA(progress, 1002, "「ゲーム」のアップデート"));
  char text[64];
  EXPECT_EQ(GetDlgItemTextA(progress, 1002, text, sizeof text), 24u);
  EXPECT_STREQ(text, "「ゲーム」のアップデート");

  EXPECT_EQ(SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 3)), MAKELONG(0, 100));
  EXPECT_EQ(SendMessageA(bar, PBM_SETSTEP, 1, 0), 10);
  SendMessageA(bar, PBM_STEPIT, 0, 0);
  EXPECT_EQ(SendMessageA(bar, PBM_STEPIT, 0, 0), 1);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 2);
  EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 3);

  user.Then("OK");
  EXPECT_EQ(MessageBoxA(progress, "一行目\n二行目\r\n", "箱", MB_OK | MB_ICONINFORMATION), IDOK);
  ASSERT_EQ(user.Scenes().size(), 1u);
  EXPECT_EQ(user.Scenes()[0].behind, std::vector<std::string>{"「ゲーム」のアップデート [2/3]"});
  EXPECT_EQ(user.Transcript(),
            u8"box: 箱\n"
            u8"  icon: information\n"
            u8"  text: 一行目\n"
            u8"  text: 二行目\n"
            u8"  buttons: OK\n"
            u8"  behind: 「ゲーム」のアップデート [2/3]\n"
            u8"  answer: OK\n");

  // Past its end the bar starts over; the range of an empty script is 0 to 0.
  SendMessageA(bar, PBM_STEPIT, 0, 0);
  SendMessageA(bar, PBM_STEPIT, 0, 0);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 1);
  SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 0));
  SendMessageA(bar, PBM_STEPIT, 0, 0);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);

  EXPECT_TRUE(DestroyWindow(progress));
  EXPECT_FALSE(IsWindowVisible(progress));
  EXPECT_EQ(GetDlgItem(progress, 1000), nullptr);
}

TEST_F(Ui, MessageBoxButtonsAndTheWaysOut) {
  user.Then("はい").Then("escape").Then("close").Then("いいえ").Then("escape").Then("escape").Then("キャンセル");
  EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_YESNO | MB_ICONWARNING), IDYES);
  // A Yes/No question cannot be escaped or closed: it waits for an answer.
  EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_YESNOCANCEL), IDCANCEL);
  EXPECT_EQ(user.Left(), 0u);
  EXPECT_EQ(user.Scenes()[0].icon, "warning");
  EXPECT_EQ(user.Scenes()[0].defaultButton, IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "q", "c", 0x6), 0);  // a kind of box the programs never ask for
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

// Standard input replaced by a pipe holding text, for as long as it lives.
class StandardInput {
 public:
  explicit StandardInput(const std::string& text) : saved_(dup(0)) {
    int ends[2];
    if (pipe(ends) != 0 || write(ends[1], text.data(), text.size()) != static_cast<ssize_t>(text.size()))
      ADD_FAILURE() << "no pipe for standard input";
    close(ends[1]);
    dup2(ends[0], 0);
    close(ends[0]);
  }
  ~StandardInput() {
    dup2(saved_, 0);
    close(saved_);
  }
  // What is left unread.
  static std::string Rest() {
    std::string rest;
    char c;
    while (read(0, &c, 1) == 1) rest += c;
    return rest;
  }

 private:
  int saved_;
};

TEST_F(Ui, TheTerminalUserReadsALineForEachAnswer) {
  posix::ui::SetUser(nullptr);  // the terminal's user, reading from a pipe
  StandardInput input(u8"maybe\nno\n\nいいえ\n escape \nOK\nyes\n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_YESNO), IDNO);  // "maybe" is no answer and is asked again
  EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_YESNO | MB_DEFBUTTON2), IDNO);  // an empty line: the default
  EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_OKCANCEL), IDOK);
  std::string shown = testing::internal::GetCapturedStdout();
  // Not a byte more than the answers: the rest belongs to a program started later.
  EXPECT_EQ(StandardInput::Rest(), "yes\n");
  posix::ui::SetUser(&user);
  EXPECT_NE(shown.find(u8"[Y] はい"), std::string::npos) << shown;
}

TEST(UiDeathTest, EndOfInputWhileABoxWaitsEndsTheProgramClearly) {
  EXPECT_EXIT(
      {
        posix::ui::SetUser(nullptr);
        StandardInput input("");
        MessageBoxA(nullptr, "q", "ゼファ", MB_YESNO);
      },
      testing::ExitedWithCode(3), "standard input ended while the box .* waited for an answer");
}

TEST(LocalTime, CalendarFieldsOfFileTimes) {
  struct Case {
    uint64_t ticks;
    WORD year, month, day, hour, minute, second, milliseconds, weekday;
  } cases[] = {
      {0, 1601, 1, 1, 0, 0, 0, 0, 1},
      {124729959070000000ULL, 1996, 4, 3, 9, 5, 7, 0, 3},
      {125963423999990000ULL, 2000, 2, 29, 23, 59, 59, 999, 2},
      {157520160000000000ULL, 2100, 3, 1, 0, 0, 0, 0, 1},
      {2650467743990000000ULL, 9999, 12, 31, 23, 59, 59, 0, 5},
  };
  for (const Case& c : cases) {
    FILETIME ft = Ticks(c.ticks);
    SYSTEMTIME t;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &t)) << c.ticks;
    EXPECT_EQ((std::vector<WORD>{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                                 t.wDayOfWeek}),
              (std::vector<WORD>{c.year, c.month, c.day, c.hour, c.minute, c.second, c.milliseconds, c.weekday}))
        << c.ticks;
  }
  FILETIME invalid = Ticks(0x8000000000000000ULL);
  SYSTEMTIME t;
  EXPECT_FALSE(FileTimeToSystemTime(&invalid, &t));
}

TEST(LocalTime, EastOfUtcIsLater) {
  const char* saved = getenv("TZ");
  std::string savedTz = saved ? saved : "";
  setenv("TZ", "JST-9", 1);
  tzset();
  FILETIME utc = Ticks(125911566000000000ULL), local;  // 1999-12-31 23:30 UTC
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  SYSTEMTIME t;
  FileTimeToSystemTime(&local, &t);
  EXPECT_EQ((std::vector<WORD>{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute}),
            (std::vector<WORD>{2000, 1, 1, 8, 30}));
  if (saved)
    setenv("TZ", savedTz.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

}  // namespace
