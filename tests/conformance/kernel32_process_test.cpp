// WinExec held to what Wine's conformance tests expect of Windows:
// dlls/kernel32/tests/process.c of wine-mirror/wine, commit
// 000f7faaa24d8391c8bea222717681e25517a180. Wine checks how CreateProcessA
// finds the program of a command line, which is how WinExec finds it; its
// cases without an application name are held here as WinExec's, a failure
// as WinExec's code (31 or less) for the last error. Each names the line
// (process.c:N) whose expectation it checks. The program started is a script
// that writes down the command line a program of the layer starts with.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/posix/process/program_start.h"
#include "platform/win32.h"
#include "support/current_directory.h"
#include "support/sandbox.h"

namespace {

class WinExecConformance : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string script = "#!/bin/sh\nprintf '%s' \"$" + std::string(posix::kCommandLineVariable) + "\" > '" +
                               box.Host("line.tmp") + "' && mv '" + box.Host("line.tmp") + "' '" +
                               box.Host("line.txt") + "'\n";
    for (const char* folder : {"work", "prog dir"}) {
      box.MakeDir(folder);
      std::string program = std::string(folder) + "\\prog.exe";
      box.Write(program, script);
      ASSERT_EQ(chmod(box.Host(program).c_str(), 0755), 0);
    }
    cwd = std::make_unique<CurrentDirectory>(box.Host("work"));
  }

  // The command line the started program wrote down; empty when none came.
  std::string StartedLine() {
    for (int i = 0; i < 1000 && !box.Exists("line.txt"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!box.Exists("line.txt")) return "";
    std::string line = box.Read("line.txt");
    unlink(box.Host("line.txt").c_str());
    return line;
  }

  Sandbox box;
  std::unique_ptr<CurrentDirectory> cwd;
};

TEST_F(WinExecConformance, AQuotedProgramStartsWithItsExactLine) {
  std::string line = "\"" + box.Win("prog dir\\prog.exe") + "\" process dump \"C:\\Program Files\\my nice app.exe\"";
  EXPECT_GT(WinExec(line.c_str(), SW_SHOWNORMAL), 31u);  // process.c:941
  EXPECT_EQ(StartedLine(), line);                        // process.c:954
}

TEST_F(WinExecConformance, RelativeProgramsWithEitherSeparator) {
  struct {
    const char* line;
    int number;
  } const cases[] = {{"./prog.exe process dump \"\"\"\"", 987},
                     {".\\prog.exe process dump", 1004},
                     {"..\\work/prog.exe process dump", 1020}};
  for (const auto& c : cases) {
    EXPECT_GT(WinExec(c.line, SW_SHOWNORMAL), 31u) << "process.c:" << c.number;
    EXPECT_EQ(StartedLine(), c.line) << "the program of process.c:" << c.number << " did not start";
  }
}

TEST_F(WinExecConformance, AProgramThatIsNotThereIsNotFound) {
  struct {
    const char* line;
    int number;  // of the check of the result; the error's follows
  } const cases[] = {{"", 1088}, {"doesnotexist.exe", 1112}, {"does not exist.exe", 1117}};
  for (const auto& c : cases) {
    UINT result = WinExec(c.line, SW_SHOWNORMAL);
    EXPECT_LE(result, 31u) << "process.c:" << c.number;
    EXPECT_EQ(result, UINT(ERROR_FILE_NOT_FOUND)) << "process.c:" << c.number + 1;
  }
}

}  // namespace
