// A program started in its starter's process group ends with its starter:
// once the tool that runs the updater is gone, nothing of the run writes on.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/process/program_start.h"

namespace {

// How a process of the test's own ended: the signal that ended it, 0 when it
// exited, -1 when it still ran after some seconds (then it is ended here).
int EndOf(pid_t pid) {
  int status = 0;
  for (int i = 0; i < 500; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    usleep(10 * 1000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// In a child: ties itself to the starter named, says so on ready, and waits.
[[noreturn]] void TiedProgram(pid_t starter, int ready) {
  setenv(posix::kStarterVariable, std::to_string(starter).c_str(), 1);
  posix::TieToStarter();
  if (write(ready, "t", 1) != 1 || std::getenv(posix::kStarterVariable)) _exit(2);
  for (;;) pause();
}

TEST(StarterTie, TheProgramEndsWhenItsStarterIsKilled) {
  // The orphaned program comes back to this process, which can see its end.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t starter = fork();
  ASSERT_GE(starter, 0);
  if (starter == 0) {
    pid_t program = fork();
    if (program == 0) TiedProgram(getppid(), ready[1]);
    if (write(ready[1], &program, sizeof program) != sizeof program) _exit(2);
    for (;;) pause();
  }
  pid_t program = 0;
  char tied = 0;
  // The starter's word and the program's come in either order.
  for (int i = 0; i < 2; ++i) {
    char first;
    ASSERT_EQ(read(ready[0], &first, 1), 1);
    if (first == 't' && !tied) {
      tied = first;
      continue;
    }
    char rest[sizeof program];
    rest[0] = first;
    ASSERT_EQ(read(ready[0], rest + 1, sizeof program - 1), static_cast<ssize_t>(sizeof program - 1));
    std::memcpy(&program, rest, sizeof program);
  }
  ASSERT_EQ(tied, 't');
  ASSERT_GT(program, 0);
  usleep(50 * 1000);
  EXPECT_EQ(kill(program, 0), 0) << "the program ended while its starter ran";
  kill(starter, SIGKILL);
  EXPECT_EQ(EndOf(starter), SIGKILL);
  EXPECT_EQ(EndOf(program), SIGKILL);
  prctl(PR_SET_CHILD_SUBREAPER, 0);
  close(ready[0]);
  close(ready[1]);
}

TEST(StarterTie, AStarterThatEndedBeforeTheTieEndsTheProgramAtOnce) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t program = fork();
  ASSERT_GE(program, 0);
  // Its parent is this process, not the starter it is told of.
  if (program == 0) TiedProgram(getpid() + 100000, ready[1]);
  EXPECT_EQ(EndOf(program), SIGKILL);
  close(ready[0]);
  close(ready[1]);
}

}  // namespace
