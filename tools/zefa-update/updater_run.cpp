#include "updater_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "foundation/paths.h"
#include "host_files.h"
#include "medium_name.h"
#include "platform/host.h"
#include "platform/win32.h"

namespace zefa {
namespace {

using mkmedium::Failure;

const char kUpdaterFile[] = "Tavrix.bin";

int signalPipe[2] = {-1, -1};
volatile sig_atomic_t stopAsked = 0;
volatile pid_t child = 0;

void OnSignal(int sig) {
  int saved = errno;
  if (sig != SIGCHLD) {
    stopAsked = 1;
    // Ctrl-C reaches the updater through the terminal as well; a signal sent
    // to the tool alone is passed on.
    if (child > 0) kill(child, sig);
  }
  char c = 0;
  if (write(signalPipe[1], &c, 1) < 0) {
  }
  errno = saved;
}

std::string SystemText(DWORD code) {
  char text[512];
  if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                      sizeof text, nullptr))
    return "error " + std::to_string(code);
  std::string out = mkmedium::Readable(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// The updater's copy in the temporary directory, made as the launcher makes
// it; its Windows path.
std::string CopyToTemporary(const std::string& updater) {
  char temporary[MAX_PATH], copy[MAX_PATH];
  DWORD length = GetTempPathA(sizeof temporary, temporary);
  if (length == 0 || length >= sizeof temporary || length + sizeof kUpdaterFile >= sizeof temporary)
    throw Failure("the temporary directory cannot be had (TMP, TEMP, TMPDIR)");
  JoinPath(copy, temporary, kUpdaterFile);
  std::string source;
  if (!posix::WindowsPath(updater, &source)) throw Failure(updater + ": no drive of the prefix reaches it");
  if (!CopyFileA(source.c_str(), copy, FALSE))
    throw Failure("cannot copy " + updater + " to " + mkmedium::Readable(copy) + ": " + SystemText(GetLastError()));
  return copy;
}

// The changer's socket, in the tool's own folder; where that path is too long
// for a socket, in a folder of its own in /tmp.
class Listener {
 public:
  Listener(const std::string& work, RunRecord* record) : path_(work + "/changer") {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof address.sun_path) {
      folder_ = record->MakeFolder("/tmp");
      path_ = folder_ + "/changer";
    }
    path_.copy(address.sun_path, sizeof address.sun_path - 1);
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd_, 4) != 0)
      throw mkmedium::SystemFailure("cannot make the disk changer's socket", path_, errno);
  }
  ~Listener() {
    if (fd_ >= 0) close(fd_);
    unlink(path_.c_str());
    if (!folder_.empty()) RemoveWorkTree(folder_);
  }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_, folder_;
  int fd_ = -1;
};

void Serve(int listener, const Medium& medium, DriveLink* drive, std::ostream& note) {
  int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  // The updater waits for the answer; a peer that says nothing within a
  // second is not the updater.
  struct timeval limit = {1, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  std::string name;
  char c;
  while (name.size() < 300 && read(fd, &c, 1) == 1 && c != '\n') name += c;
  const char* answer = ChangeDisk(name, medium, drive, note) ? "changed\n" : "absent\n";
  if (send(fd, answer, std::strlen(answer), MSG_NOSIGNAL) < 0) {
  }
  close(fd);
}

}  // namespace

bool ChangeDisk(const std::string& name, const Medium& medium, DriveLink* drive, std::ostream& note) {
  if (!mkmedium::IsLabelName(name)) return false;
  auto disk = medium.disks.find(std::atoi(name.c_str() + 4));
  if (disk == medium.disks.end() || disk->second.folder == drive->target()) return false;
  if (!drive->Point(disk->second.folder)) return false;
  // On a terminal the updater's progress line may stand unfinished: the note
  // takes its place, and the next step draws the bar again.
  note << (isatty(1) ? "\r\033[K" : "") << "   [zefa-update: disk " << disk->first << " (" << disk->second.origin
       << ") is now in drive " << drive->letter() << ":]\n";
  note.flush();
  return true;
}

namespace {

// While the updater runs: a stop request (Ctrl-C, a hang-up, SIGTERM) is
// passed on to it and noted, the end of the child wakes the loop, and the
// terminal is put back as it was when the guard goes.
class RunSignals {
 public:
  RunSignals() {
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) throw Failure("cannot make a pipe");
    stopAsked = 0;
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < 4; ++i) sigaction(kSignals[i], &sa, &saved_[i]);
    haveTerminal_ = isatty(0) && tcgetattr(0, &terminal_) == 0;
  }
  ~RunSignals() {
    // An updater stopped in the middle of a question leaves the terminal as
    // it had set it for single keys.
    if (haveTerminal_) tcsetattr(0, TCSANOW, &terminal_);
    for (int i = 0; i < 4; ++i) sigaction(kSignals[i], &saved_[i], nullptr);
    close(signalPipe[0]);
    close(signalPipe[1]);
    unsetenv(posix::kDiskChangerVariable);
  }
  RunSignals(const RunSignals&) = delete;
  RunSignals& operator=(const RunSignals&) = delete;

 private:
  static constexpr int kSignals[4] = {SIGINT, SIGTERM, SIGHUP, SIGCHLD};
  struct sigaction saved_[4];
  struct termios terminal_;
  bool haveTerminal_ = false;
};

const char kInterrupted[] = "interrupted; what was begun is removed, nothing else was changed";

}  // namespace

RunResult RunUpdater(const std::string& updater, const std::string& work, const Medium& medium, DriveLink* drive,
                     std::ostream& note, RunRecord* record) {
  RunSignals signals;
  mkmedium::CheckInterrupt();  // a stop asked for before
  std::string copy = CopyToTemporary(updater);
  std::string line = "\"" + copy + "\" " + std::string(1, drive->letter()) + ":\\" + kUpdaterFile;
  Listener listener(work, record);
  setenv(posix::kDiskChangerVariable, (std::string(1, drive->letter()) + ":" + listener.path()).c_str(), 1);
  if (stopAsked) throw Failure(kInterrupted);

  pid_t pid = 0;
  // The updater gets the signals' usual effects, whatever the tool ignores.
  void (*pipeAction)(int) = signal(SIGPIPE, SIG_DFL);
  UINT started = posix::StartProgram(line, false, &pid);
  signal(SIGPIPE, pipeAction);
  if (started <= 31) throw Failure("cannot start " + updater + ": " + SystemText(started));
  child = pid;
  int status = 0;
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    struct pollfd fds[2] = {{listener.fd(), POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
    if (poll(fds, 2, 1000) < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) Serve(listener.fd(), medium, drive, note);
    char buf[16];
    while (read(signalPipe[0], buf, sizeof buf) > 0) {
    }
  }
  child = 0;
  RunResult result;
  posix::HostPath(copy, &result.copy);
  result.exited = WIFEXITED(status);
  result.status = result.exited ? WEXITSTATUS(status) : WTERMSIG(status);
  result.interrupted = stopAsked;
  return result;
}

}  // namespace zefa
