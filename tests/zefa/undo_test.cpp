// The copies for --undo: what counts as the last update, links in the
// installation, and kills. The kill campaign runs each sequence of runs in a
// child process that is killed (SIGKILL) before its n-th system call that
// changes a file, for every n until the sequence completes; then the next
// runs are made, and the installation, the files its links lead to
// included, is compared byte by byte, with times and attributes, with the
// state that --undo must give.
#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host_files.h"
#include "scratch.h"
#include "undo.h"

namespace {

using namespace zefa;

// ---- the installation as a whole ------------------------------------------------

struct Node {
  char kind;  // 'f' file, 'd' folder, 'l' link
  std::string bytes;
  long long mtime;
  mode_t mode;
  bool operator==(const Node& o) const {
    return kind == o.kind && bytes == o.bytes && mtime == o.mtime && mode == o.mode;
  }
};
using Tree = std::map<std::string, Node>;

void PrintTo(const Node& n, std::ostream* os) {
  *os << n.kind << " \"" << n.bytes.substr(0, 24) << (n.bytes.size() > 24 ? "...\"" : "\"") << " " << n.mtime << " "
      << std::oct << n.mode << std::dec;
}

void Walk(const Scratch& dir, const std::string& rel, Tree* tree) {
  DIR* d = opendir((dir / rel).c_str());
  if (!d) return;
  std::vector<std::string> names;
  while (struct dirent* e = readdir(d))
    if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
  closedir(d);
  for (const std::string& name : names) {
    std::string path = rel + "/" + name;
    struct stat st;
    if (lstat((dir / path).c_str(), &st) != 0) continue;
    Node n{'f', "", st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec, st.st_mode & 07777};
    if (S_ISLNK(st.st_mode)) {
      char target[4096];
      ssize_t len = readlink((dir / path).c_str(), target, sizeof target);
      n = {'l', std::string(target, len > 0 ? len : 0), 0, 0};
    } else if (S_ISDIR(st.st_mode)) {
      n = {'d', "", 0, n.mode};
      Walk(dir, path, tree);
    } else {
      n.bytes = dir.Read(path);
    }
    (*tree)[path] = n;
  }
}

// The installation and the folder that one of its links leads into.
Tree Snapshot(const Scratch& dir) {
  Tree tree;
  Walk(dir, "game", &tree);
  Walk(dir, "store", &tree);
  return tree;
}

std::string Describe(const Tree& tree) {
  std::ostringstream s;
  for (const auto& [path, n] : tree)
    s << path << " " << n.kind << " " << n.bytes.substr(0, 24) << " " << n.mtime << " " << std::oct << n.mode
      << std::dec << "\n";
  return s.str();
}

void SetTime(const std::string& path, long long ns) {
  struct timespec times[2] = {{ns / 1000000000, ns % 1000000000}, {ns / 1000000000, ns % 1000000000}};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

void Put(const Scratch& dir, const std::string& rel, const std::string& bytes, long long ns, mode_t mode) {
  chmod((dir / rel).c_str(), 0644);
  dir.Write(rel, bytes);
  SetTime(dir / rel, ns);
  chmod((dir / rel).c_str(), mode);
}

const long long kOld = 946684800123456789LL, kNew = 1262304000000000000LL;

class UndoState : public ::testing::Test {
 protected:
  void SetUp() override { LayOut(); }

  // The installation before any update: a read-only file in a folder, a
  // large file moved elsewhere and linked back, a file no update names.
  void LayOut() {
    for (const char* f : {"prefix", "game", "store"}) RemoveWorkTree(dir / f);
    mkmedium::MakeFolders(dir / "prefix");
    Put(dir, "game/MAIN.EXE", "old main", kOld, 0644);
    Put(dir, "game/DATA/STAGE.DAT", "old stage", kOld + 1, 0444);
    Put(dir, "store/BIG.DAT", std::string(100000, 'o'), kOld + 2, 0640);
    Put(dir, "game/KEEP.TXT", "not named", kOld + 3, 0644);
    symlink("../store/BIG.DAT", (dir / "game/BIG.DAT").c_str());
    files = {dir / "game/MAIN.EXE", dir / "game/DATA/STAGE.DAT", dir / "game/BIG.DAT", dir / "game/NEW.DAT",
             dir / "game/MAIN.EXE", dir / "elsewhere/OUT.DAT"};
  }

  // What the updater does: rewrites the named files in place, through the
  // link, and adds one; the first `count` of them.
  void Update(const std::string& tag, int count = 4) {
    const char* names[] = {"game/MAIN.EXE", "game/DATA/STAGE.DAT", "game/BIG.DAT", "game/NEW.DAT"};
    for (int i = 0; i < count; ++i) Put(dir, names[i], tag + " " + names[i], kNew + i, 0644);
  }

  // A whole run, as zefa-update makes it; whether it leaves an update that
  // did not complete.
  bool Run(const std::string& tag, int count = 4, bool completes = true) {
    RecoverUndoState(dir / "prefix");
    KeepForUpdate(dir / "prefix", dir / "game", files);
    Update(tag, count);
    return SettleUpdate(dir / "prefix", completes);
  }

  bool RunUndo(std::string* said = nullptr) {
    RecoverUndoState(dir / "prefix");
    std::ostringstream out;
    bool ok = Undo(dir / "prefix", out);
    if (said) *said = out.str();
    return ok;
  }

  Scratch dir;
  std::vector<std::string> files;
};

TEST_F(UndoState, PutsBackBytesTimesAttributesThroughLinksAndRemovesWhatWasAdded) {
  Tree before = Snapshot(dir);
  Run("A");
  ASSERT_NE(Snapshot(dir), before);
  std::string said;
  ASSERT_TRUE(RunUndo(&said)) << said;
  EXPECT_EQ(Snapshot(dir), before) << Describe(Snapshot(dir));
  EXPECT_NE(said.find("restored " + dir / "game/BIG.DAT (the file its link leads to, " + dir / "store/BIG.DAT)"),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("NEW.DAT (added by the update)"), std::string::npos) << said;
  EXPECT_NE(said.find("3 files restored, 1 removed"), std::string::npos) << said;
  EXPECT_FALSE(mkmedium::Exists(dir / "prefix/zefa-undo"));
  EXPECT_FALSE(RunUndo(&said));
  EXPECT_NE(said.find("nothing to undo"), std::string::npos);
}

TEST_F(UndoState, ARunThatChangesNothingLeavesTheLastUpdateToUndo) {
  Tree before = Snapshot(dir);
  Run("A");
  // Update B stops at its first box, or is answered No.
  EXPECT_FALSE(Run("B", 0, false));
  EXPECT_FALSE(Run("B", 0, true));
  ASSERT_TRUE(RunUndo());
  EXPECT_EQ(Snapshot(dir), before) << Describe(Snapshot(dir));
  // No update yet, and one that changes nothing: nothing to undo.
  Run("C", 0, false);
  EXPECT_FALSE(mkmedium::Exists(dir / "prefix/zefa-undo"));
}

TEST_F(UndoState, RunsThatRepeatAnUnfinishedUpdateAreOneUpdate) {
  Run("A");
  Put(dir, "game/EXTRA.DAT", "extra", kOld, 0600);
  Tree before = Snapshot(dir);
  // B fails half-way, stops once more when run again, then completes; its
  // last run names a file that the first ones did not.
  EXPECT_TRUE(Run("B", 2, false));
  EXPECT_TRUE(Run("B", 3, false));
  files.push_back(dir / "game/EXTRA.DAT");
  RecoverUndoState(dir / "prefix");
  Keeping keeping = KeepForUpdate(dir / "prefix", dir / "game", files);
  EXPECT_TRUE(keeping.repeat);
  EXPECT_EQ(keeping.files, 1);
  Update("B");
  Put(dir, "game/EXTRA.DAT", "B extra", kNew, 0644);
  EXPECT_FALSE(SettleUpdate(dir / "prefix", true));
  std::string said;
  ASSERT_TRUE(RunUndo(&said)) << said;
  EXPECT_EQ(Snapshot(dir), before) << Describe(Snapshot(dir));
}

TEST_F(UndoState, AnUnfinishedUpdateIsNotMixedWithAnotherInstallations) {
  Tree before = Snapshot(dir);
  Run("A", 2, false);
  dir.Write("other/MAIN.EXE", "another game");
  try {
    KeepForUpdate(dir / "prefix", dir / "other", {dir / "other/MAIN.EXE"});
    ADD_FAILURE() << "another installation's update was let in";
  } catch (const mkmedium::Failure& f) {
    EXPECT_NE(std::string(f.what()).find("did not complete"), std::string::npos) << f.what();
  }
  ASSERT_TRUE(RunUndo());
  EXPECT_EQ(Snapshot(dir), before);
}

TEST_F(UndoState, ALinkThatLeadsToNoFileIsRefusedBeforeTheUpdate) {
  symlink("../store/GONE.DAT", (dir / "game/GONE.DAT").c_str());
  files.push_back(dir / "game/GONE.DAT");
  try {
    KeepForUpdate(dir / "prefix", dir / "game", files);
    ADD_FAILURE() << "a broken link was let in";
  } catch (const mkmedium::Failure& f) {
    EXPECT_NE(std::string(f.what()).find("GONE.DAT is a symbolic link that leads to no file"), std::string::npos)
        << f.what();
  }
  EXPECT_FALSE(mkmedium::Exists(dir / "prefix/zefa-undo"));
}

TEST_F(UndoState, ALinkLedElsewhereSinceIsNotRestoredThroughAndNothingChanges) {
  Run("A");
  Tree updated = Snapshot(dir);
  Put(dir, "store/OTHER.DAT", "other", kOld, 0644);
  unlink((dir / "game/BIG.DAT").c_str());
  symlink("../store/OTHER.DAT", (dir / "game/BIG.DAT").c_str());
  Tree relinked = Snapshot(dir);
  std::string said;
  EXPECT_FALSE(RunUndo(&said));
  EXPECT_NE(said.find("no longer leads to " + dir / "store/BIG.DAT"), std::string::npos) << said;
  EXPECT_EQ(Snapshot(dir), relinked);
}

TEST_F(UndoState, TheKeptCopyIsNotTheInstalledFile) {
  // The updater truncates and rewrites installed files in place: a copy that
  // shared the file's inode (a hard link) would change with it.
  Tree before = Snapshot(dir);
  RecoverUndoState(dir / "prefix");
  KeepForUpdate(dir / "prefix", dir / "game", files);
  std::ofstream(dir / "game/MAIN.EXE", std::ios::trunc) << "x";
  SettleUpdate(dir / "prefix", false);
  ASSERT_TRUE(RunUndo());
  EXPECT_EQ(Snapshot(dir), before);
}

TEST_F(UndoState, AnEarlierReleasesCopiesAreUndoneAndItsUnfinishedOnesRemoved) {
  Tree before = Snapshot(dir);
  // The first release's list, its copies in a folder of their own, as its
  // killed run left them; and the unfinished copies of another killed run.
  dir.Write("prefix/zefa-undo.new/1", "old main");
  dir.Write("prefix/zefa-undo.new/kept.list", "zefa-undo 1\ninstallation\t" + dir / "game" +
                                                  "\nkept\t1\t644\t946684800.123456789\t946684800.123456789\tMAIN.EXE\n"
                                                  "added\tNEW.DAT\n");
  Update("A");
  RecoverUndoState(dir / "prefix");
  EXPECT_FALSE(mkmedium::Exists(dir / "prefix/zefa-undo.new"));
  std::ostringstream out;
  ASSERT_TRUE(Undo(dir / "prefix", out)) << out.str();
  EXPECT_EQ(Snapshot(dir)["game/MAIN.EXE"], before["game/MAIN.EXE"]);
  EXPECT_EQ(Snapshot(dir).count("game/NEW.DAT"), 0u);
  dir.Write("prefix/zefa-undo.new/1", "half a cop");
  RecoverUndoState(dir / "prefix");
  EXPECT_FALSE(mkmedium::Exists(dir / "prefix/zefa-undo.new"));
  EXPECT_FALSE(mkmedium::Exists(dir / "prefix/zefa-undo"));
}

TEST_F(UndoState, AListThatDoesNotReadIsLeftAsItIs) {
  dir.Write("prefix/zefa-undo/kept.list", "zefa-undo 9\nwhat a later release writes\n");
  dir.Write("prefix/zefa-undo/copy", "old main");
  RecoverUndoState(dir / "prefix");
  std::string said;
  EXPECT_FALSE(RunUndo(&said));
  EXPECT_NE(said.find("kept.list cannot be read; nothing was changed"), std::string::npos) << said;
  EXPECT_EQ(dir.Read("prefix/zefa-undo/copy"), "old main");
  try {
    KeepForUpdate(dir / "prefix", dir / "game", files);
    ADD_FAILURE() << "an update ran over a list that does not read";
  } catch (const mkmedium::Failure& f) {
    EXPECT_NE(std::string(f.what()).find("cannot be read"), std::string::npos) << f.what();
  }
  EXPECT_EQ(dir.Read("prefix/zefa-undo/copy"), "old main");
}

// ---- kills at every point ---------------------------------------------------

// Whether a system call, at its entry, changes a file or a folder: writes
// (not to the standard streams), files created or emptied, renames,
// removals, folders made, times, attributes, sizes, clones.
bool ChangesFiles(const __ptrace_syscall_info& call) {
  long nr = static_cast<long>(call.entry.nr);
  const uint64_t* a = call.entry.args;
  switch (nr) {
    case SYS_write:
    case SYS_pwrite64:
    case SYS_writev:
    case SYS_pwritev:
      return a[0] > 2;
    case SYS_openat:
      return (a[2] & (O_CREAT | O_TRUNC)) != 0;
#ifdef SYS_open
    case SYS_open:
      return (a[1] & (O_CREAT | O_TRUNC)) != 0;
    case SYS_creat:
    case SYS_rename:
    case SYS_unlink:
    case SYS_rmdir:
    case SYS_mkdir:
    case SYS_symlink:
    case SYS_link:
    case SYS_chmod:
#endif
    case SYS_renameat:
    case SYS_renameat2:
    case SYS_unlinkat:
    case SYS_mkdirat:
    case SYS_symlinkat:
    case SYS_linkat:
    case SYS_fchmod:
    case SYS_fchmodat:
    case SYS_utimensat:
    case SYS_ftruncate:
    case SYS_truncate:
    case SYS_fallocate:
    case SYS_copy_file_range:
    case SYS_sendfile:
    case SYS_ioctl:
      return true;
    default:
      return false;
  }
}

enum class Kill { kKilled, kFinished, kNoTracing };

// Runs body in a child process that is killed before its n-th call that
// changes files. kFinished when it made fewer such calls and ended well.
Kill RunKilledAt(int n, const std::function<void()>& body) {
  pid_t pid = fork();
  if (pid < 0) return Kill::kNoTracing;
  if (pid == 0) {
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(77);
    raise(SIGSTOP);
    try {
      body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "the run failed: %s\n", e.what());
      _exit(1);
    }
    _exit(0);
  }
  int status;
  waitpid(pid, &status, 0);
  if (!WIFSTOPPED(status)) return Kill::kNoTracing;  // not let trace itself
  ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  int count = 0, deliver = 0;
  for (;;) {
    ptrace(PTRACE_SYSCALL, pid, nullptr, deliver);
    deliver = 0;
    if (waitpid(pid, &status, 0) != pid) return Kill::kNoTracing;
    if (WIFEXITED(status)) {
      EXPECT_EQ(WEXITSTATUS(status), 0) << "at kill point " << n;
      return Kill::kFinished;
    }
    if (WIFSIGNALED(status)) {
      ADD_FAILURE() << "the run ended by signal " << WTERMSIG(status) << " before kill point " << n;
      return Kill::kKilled;
    }
    if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
      deliver = WSTOPSIG(status);
      continue;
    }
    __ptrace_syscall_info call;
    if (ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof call, &call) <= 0) {
      kill(pid, SIGKILL);  // a kernel that does not say which call it is
      waitpid(pid, &status, 0);
      return Kill::kNoTracing;
    }
    if (call.op == PTRACE_SYSCALL_INFO_ENTRY && ChangesFiles(call) && ++count == n) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return Kill::kKilled;
    }
  }
}

class KillCampaign : public UndoState {
 protected:
  void SetUp() override {
    UndoState::SetUp();
    before = Snapshot(dir);
    Run("A");
    updatedByA = Snapshot(dir);
  }

  // For every kill point of body: the installation and the state as before
  // it (A applied), body killed there, then after() with what the kill left.
  // Returns the number of points.
  int Campaign(const std::function<void()>& body, const std::function<void(int n, const Tree& left)>& after) {
    int n = 1;
    for (;; ++n) {
      LayOut();
      Run("A");
      Kill k = RunKilledAt(n, body);
      if (k == Kill::kNoTracing) {
        skipped = true;
        return 0;
      }
      if (k == Kill::kFinished) break;
      after(n, Snapshot(dir));
      if (HasFailure()) break;
    }
    RecordProperty("kill_points", n - 1);
    return n - 1;
  }

  Tree before, updatedByA;
  bool skipped = false;
};

#define SKIP_WITHOUT_TRACING() \
  if (skipped) GTEST_SKIP() << "this machine lets no process trace its child (ptrace)"

TEST_F(KillCampaign, AnUpdateKilledAnywhereThenUndo) {
  int points = Campaign([&] { Run("B"); },
                        [&](int n, const Tree& left) {
                          std::string said;
                          ASSERT_TRUE(RunUndo(&said)) << "kill point " << n << ": " << said;
                          // An update that had changed nothing is no update:
                          // --undo goes back before A.
                          const Tree& expected = left == updatedByA ? before : updatedByA;
                          ASSERT_EQ(Snapshot(dir), expected) << "kill point " << n << "\n" << Describe(Snapshot(dir));
                        });
  SKIP_WITHOUT_TRACING();
  EXPECT_GT(points, 20);
}

TEST_F(KillCampaign, AnUpdateKilledAnywhereThenRunAgainThenUndo) {
  Tree updatedByB;
  Run("B");
  updatedByB = Snapshot(dir);
  int points = Campaign([&] { Run("B"); },
                        [&](int n, const Tree&) {
                          Run("B");
                          ASSERT_EQ(Snapshot(dir), updatedByB) << "kill point " << n;
                          ASSERT_TRUE(RunUndo()) << "kill point " << n;
                          ASSERT_EQ(Snapshot(dir), updatedByA) << "kill point " << n << "\n" << Describe(Snapshot(dir));
                        });
  SKIP_WITHOUT_TRACING();
  EXPECT_GT(points, 20);
}

TEST_F(KillCampaign, AnUpdateThatStopsAtItsFirstBoxKilledAnywhereThenUndo) {
  // Its copies are made (a kill may come while they are), it changes
  // nothing: --undo still undoes A.
  int points = Campaign([&] { Run("B", 0, false); },
                        [&](int n, const Tree&) {
                          ASSERT_TRUE(RunUndo()) << "kill point " << n;
                          ASSERT_EQ(Snapshot(dir), before) << "kill point " << n << "\n" << Describe(Snapshot(dir));
                        });
  SKIP_WITHOUT_TRACING();
  EXPECT_GT(points, 10);
}

TEST_F(KillCampaign, AnUndoKilledAnywhereThenUndoAgain) {
  int points = Campaign([&] { RunUndo(); },
                        [&](int n, const Tree&) {
                          // Either the undo is finished now, or it had been
                          // before the kill came and there is nothing more.
                          std::string said;
                          if (!RunUndo(&said)) {
                            ASSERT_NE(said.find("nothing to undo"), std::string::npos) << "kill point " << n << ": " << said;
                          }
                          ASSERT_EQ(Snapshot(dir), before) << "kill point " << n << "\n" << Describe(Snapshot(dir));
                        });
  SKIP_WITHOUT_TRACING();
  EXPECT_GT(points, 10);
}

TEST_F(KillCampaign, AnUndoKilledAnywhereThenTheUpdateAgainThenUndo) {
  int points = Campaign([&] { RunUndo(); },
                        [&](int n, const Tree& left) {
                          // The update's run finishes a stopped undo first, as
                          // zefa-update does.
                          RecoverUndoState(dir / "prefix");
                          if (UndoStopped(dir / "prefix")) {
                            std::ostringstream out;
                            ASSERT_TRUE(Undo(dir / "prefix", out)) << out.str();
                          }
                          Run("A");
                          ASSERT_EQ(Snapshot(dir), updatedByA) << "kill point " << n;
                          ASSERT_TRUE(RunUndo()) << "kill point " << n;
                          // An undo that had changed files is finished; one
                          // that had not may count as not made, and then the
                          // last update is A's second run.
                          Tree now = Snapshot(dir);
                          if (left == updatedByA && now == updatedByA) return;
                          ASSERT_EQ(now, before) << "kill point " << n << "\n" << Describe(now);
                        });
  SKIP_WITHOUT_TRACING();
  EXPECT_GT(points, 10);
}

}  // namespace
