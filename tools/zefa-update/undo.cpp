#include "undo.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>

#include "durable.h"
#include "host_files.h"
#include "media.h"

namespace zefa {

const char kUndoFolder[] = "zefa-undo";

namespace {

using mkmedium::Failure;
using mkmedium::SystemFailure;

const char kList[] = "kept.list";
const char kPending[] = "pending.list";
const char kHeader[] = "zefa-undo 2";
// The list of zefa-update 2.0's first release: the copies of the last run
// that ran the updater, in a folder of their own while the run went on.
const char kFirstHeader[] = "zefa-undo 1";

std::string Folder(const std::string& prefix) { return prefix + "/" + kUndoFolder; }

enum class State { kOpen, kComplete, kUndoing };
const char* const kStateNames[] = {"open", "complete", "undoing"};

struct Entry {
  std::string path;      // below the installation
  bool present = false;  // false: the file was absent, the update adds it
  std::string copy;      // its copy in the undo folder
  mode_t mode = 0;
  struct timespec atime = {}, mtime = {};
  // The file as it was kept, to tell whether a run has changed it since: a
  // write or a change of attributes moves the change time, a replacement
  // brings another inode.
  dev_t device = 0;
  ino_t inode = 0;
  struct timespec ctime = {};
  off_t size = -1;  // -1: not noted (the first release's list)
  std::string through;  // for a symbolic link: the real path of the file it leads to
};

struct List {
  State state = State::kOpen;
  std::string install;
  std::vector<Entry> entries;
  const Entry* Find(const std::string& path) const {
    for (const Entry& e : entries)
      if (e.path == path) return &e;
    return nullptr;
  }
};

std::string Time(const struct timespec& t) { return std::to_string(t.tv_sec) + "." + std::to_string(t.tv_nsec); }

bool ParseTime(const std::string& s, struct timespec* t) {
  size_t dot = s.find('.');
  if (dot == std::string::npos) return false;
  try {
    t->tv_sec = std::stoll(s.substr(0, dot));
    t->tv_nsec = std::stol(s.substr(dot + 1));
  } catch (const std::exception&) {
    return false;
  }
  return t->tv_nsec >= 0 && t->tv_nsec < 1000000000;
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// One line a field; the path of a file comes last on its line, the target of
// a link on a line of its own, so that neither needs quoting.
std::string Format(const List& list) {
  std::string text = std::string(kHeader) + "\nstate\t" + kStateNames[static_cast<int>(list.state)] +
                     "\ninstallation\t" + list.install + "\n";
  for (const Entry& e : list.entries) {
    if (!e.present) {
      text += "added\t" + e.path + "\n";
      continue;
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(e.mode & 07777));
    text += "kept\t" + e.copy + "\t" + mode + "\t" + Time(e.atime) + "\t" + Time(e.mtime) + "\t" +
            std::to_string(e.device) + "\t" + std::to_string(e.inode) + "\t" + Time(e.ctime) + "\t" +
            std::to_string(e.size) + "\t" + e.path + "\n";
    if (!e.through.empty()) text += "through\t" + e.through + "\n";
  }
  return text;
}

bool Parse(const std::string& text, List* list) {
  std::istringstream in(text);
  std::string line, state;
  if (!std::getline(in, line) || (line != kHeader && line != kFirstHeader)) return false;
  // The first release's list is of a run that ran: it counts as complete.
  bool first = line == kFirstHeader;
  if (first) {
    list->state = State::kComplete;
  } else {
    if (!std::getline(in, line) || line.rfind("state\t", 0) != 0) return false;
    state = line.substr(6);
    bool known = false;
    for (int s = 0; s < 3; ++s)
      if (state == kStateNames[s]) list->state = static_cast<State>(s), known = true;
    if (!known) return false;
  }
  if (!std::getline(in, line) || line.rfind("installation\t", 0) != 0) return false;
  list->install = line.substr(13);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string kind;
    std::getline(fields, kind, '\t');
    if (kind == "through") {
      if (list->entries.empty() || !list->entries.back().present) return false;
      list->entries.back().through = line.substr(8);
      continue;
    }
    Entry e;
    if (kind == "kept") {
      std::string mode, atime, mtime, device = "0", inode = "0", ctime = "0.0", size = "-1";
      std::vector<std::string*> wanted{&e.copy, &mode, &atime, &mtime};
      if (!first) wanted.insert(wanted.end(), {&device, &inode, &ctime, &size});
      for (std::string* field : wanted)
        if (!std::getline(fields, *field, '\t')) return false;
      try {
        e.mode = static_cast<mode_t>(std::stoul(mode, nullptr, 8));
        e.device = static_cast<dev_t>(std::stoull(device));
        e.inode = static_cast<ino_t>(std::stoull(inode));
        e.size = static_cast<off_t>(std::stoll(size));
      } catch (const std::exception&) {
        return false;
      }
      if (!ParseTime(atime, &e.atime) || !ParseTime(mtime, &e.mtime) || !ParseTime(ctime, &e.ctime)) return false;
      if (e.copy.empty() || e.copy.find('/') != std::string::npos || e.copy[0] == '.') return false;
      e.present = true;
    } else if (kind != "added") {
      return false;
    }
    std::getline(fields, e.path);
    if (e.path.empty()) return false;
    list->entries.push_back(e);
  }
  return true;
}

enum class Read { kAbsent, kRead, kBad };

Read Load(const std::string& path, List* list) {
  std::string text;
  if (!ReadSmallFile(path, &text)) return Read::kAbsent;
  *list = List();
  return Parse(text, list) ? Read::kRead : Read::kBad;
}

// Copies the bytes of from into the new file to and syncs them: a clone
// where the file system allows (it shares the blocks until one side is
// written), else a copy.
void CopyBytes(const std::string& from, const std::string& to, mode_t mode) {
  mkmedium::Fd in(mkmedium::OpenRead(from));
  mkmedium::Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (out.get() < 0) throw SystemFailure("cannot create", to, errno);
  if (ioctl(out.get(), FICLONE, in.get()) != 0) {
    char buffer[1 << 16];
    for (;;) {
      ssize_t n = ::read(in.get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw SystemFailure("cannot read", from, errno);
      if (n == 0) break;
      for (ssize_t done = 0; done < n;) {
        ssize_t w = ::write(out.get(), buffer + done, static_cast<size_t>(n - done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) throw SystemFailure("cannot write", to, w < 0 ? errno : ENOSPC);
        done += w;
      }
    }
  }
  SyncFile(out.get(), to);
  out.Close(to);
}

std::string RealPathOf(const std::string& path) {
  char real[PATH_MAX];
  return realpath(path.c_str(), real) ? real : "";
}

// Whether two files hold the same bytes.
bool SameBytes(const std::string& a, const std::string& b) {
  mkmedium::Fd x(::open(a.c_str(), O_RDONLY | O_CLOEXEC)), y(::open(b.c_str(), O_RDONLY | O_CLOEXEC));
  if (x.get() < 0 || y.get() < 0) return false;
  char p[1 << 16], q[1 << 16];
  for (;;) {
    ssize_t n = ::read(x.get(), p, sizeof p);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    for (ssize_t done = 0; done < n;) {
      ssize_t m = ::read(y.get(), q + done, static_cast<size_t>(n - done));
      if (m < 0 && errno == EINTR) continue;
      if (m <= 0) return false;
      done += m;
    }
    if (std::memcmp(p, q, static_cast<size_t>(n)) != 0) return false;
    if (n == 0) return ::read(y.get(), q, 1) == 0;
  }
}

// Whether the installation differs from what the list kept: a kept file's
// bytes, time or attributes, a link that leads elsewhere, a file gone, an
// absent one there now. A file that was written over with what it held (its
// change time moved, nothing else) has not changed. What cannot be looked
// at counts as changed: the safe side.
bool Changed(const List& list, const std::string& folder) {
  for (const Entry& e : list.entries) {
    std::string path = list.install + "/" + e.path;
    struct stat st;
    if (!e.present) {
      if (lstat(path.c_str(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR)) return true;
      continue;
    }
    if (!e.through.empty() && RealPathOf(path) != e.through) return true;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return true;
    if (st.st_size != e.size || !SameTime(st.st_mtim, e.mtime) || (st.st_mode & 07777) != e.mode) return true;
    bool untouched = st.st_dev == e.device && st.st_ino == e.inode && SameTime(st.st_ctim, e.ctime);
    if (!untouched && !SameBytes(path, folder + "/" + e.copy)) return true;
  }
  return false;
}

// Removes from the undo folder what neither list names: copies of a run that
// was dropped or killed while it made them, those of an update undone by a
// newer one, files written beside a list. The folder goes when it holds
// nothing more.
void CollectGarbage(const std::string& folder) {
  std::set<std::string> named;
  bool any = false;
  for (const char* name : {kList, kPending}) {
    List list;
    Read read = Load(folder + "/" + name, &list);
    if (read == Read::kBad) return;  // a list that does not read names copies all the same
    if (read == Read::kAbsent) continue;
    named.insert(name);
    any = true;
    for (const Entry& e : list.entries)
      if (e.present) named.insert(e.copy);
  }
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    if (errno == ENOENT) return;
    throw SystemFailure("cannot read", folder, errno);
  }
  std::vector<std::string> others;
  while (struct dirent* d = readdir(dir)) {
    std::string name = d->d_name;
    if (name != "." && name != ".." && !named.count(name)) others.push_back(name);
  }
  closedir(dir);
  for (const std::string& name : others) RemoveWorkTree(folder + "/" + name);
  if (!others.empty()) SyncFolder(folder);
  if (!any && rmdir(folder.c_str()) == 0) SyncFolder(FolderOf(folder));
}

// A name for this run's copies that no earlier run's copy has.
std::string FreshStem() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  char stem[48];
  std::snprintf(stem, sizeof stem, "%llx-%x", static_cast<unsigned long long>(now.tv_sec) * 1000000000ULL +
                                                  static_cast<unsigned long long>(now.tv_nsec),
                static_cast<unsigned>(getpid()));
  return stem;
}

}  // namespace

void RecoverUndoState(const std::string& prefix) {
  // The first release kept a run's copies in a folder of their own: whole
  // (its list written), they were what to undo, as that release would have
  // had it; else they are a killed run's unfinished work.
  std::string earlier = Folder(prefix) + ".new";
  List staged;
  if (mkmedium::IsFolder(earlier) && Load(earlier + "/" + kList, &staged) == Read::kRead) {
    RemoveWorkTree(Folder(prefix));
    if (std::rename(earlier.c_str(), Folder(prefix).c_str()) != 0)
      throw SystemFailure("cannot replace", Folder(prefix), errno);
    SyncFolder(prefix);
  }
  RemoveWorkTree(earlier);
  if (mkmedium::IsFolder(Folder(prefix))) SettleUpdate(prefix, false);
}

bool UndoStopped(const std::string& prefix) {
  List list;
  return Load(Folder(prefix) + "/" + kList, &list) == Read::kRead && list.state == State::kUndoing;
}

Keeping KeepForUpdate(const std::string& prefix, const std::string& install, const std::vector<std::string>& files) {
  std::string folder = Folder(prefix);
  List last;
  Read read = Load(folder + "/" + kList, &last);
  if (read == Read::kBad) throw Failure(folder + "/" + kList + " cannot be read; nothing was changed");
  Keeping keeping;
  keeping.repeat = read == Read::kRead && last.state == State::kOpen;
  if (read == Read::kRead && last.state == State::kUndoing)
    throw Failure("an undo of " + last.install + " was stopped before its end; `zefa-update --undo` finishes it");
  if (keeping.repeat && last.install != install)
    throw Failure("the last update, of " + last.install +
                  ", did not complete: run it again until it completes, or put it back with `zefa-update --undo`, "
                  "before the update of another installation; nothing was changed");
  List list;
  list.install = install;
  if (keeping.repeat) list = last;
  size_t before = list.entries.size();

  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) throw SystemFailure("cannot create", folder, errno);
  std::string stem = FreshStem();
  std::vector<std::string> made;
  try {
    for (const std::string& file : files) {
      if (!mkmedium::Within(file, install) || file == install) continue;
      std::string rel = file.substr(install.size() + 1);
      if (rel.find('\n') != std::string::npos || list.Find(rel)) continue;
      Entry e;
      e.path = rel;
      struct stat st;
      if (lstat(file.c_str(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) throw SystemFailure("cannot read", file, errno);
        list.entries.push_back(e);
        continue;
      }
      if (S_ISLNK(st.st_mode)) {
        // The updater writes through the link, into the file it leads to:
        // that file is what is kept and put back, the link stays.
        if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (e.through = RealPathOf(file)).empty())
          throw Failure(file + " is a symbolic link that leads to no file: --undo could not put back what the "
                        "update writes there; nothing was changed");
      } else if (!S_ISREG(st.st_mode)) {
        continue;  // a folder or a device: the updater cannot write over it either
      }
      mkmedium::CheckInterrupt();
      e.present = true;
      e.copy = stem + "." + std::to_string(made.size() + 1);
      CopyBytes(file, folder + "/" + e.copy, 0600);
      made.push_back(e.copy);
      e.mode = st.st_mode & 07777;
      e.atime = st.st_atim;
      e.mtime = st.st_mtim;
      e.device = st.st_dev;
      e.inode = st.st_ino;
      e.ctime = st.st_ctim;
      e.size = st.st_size;
      list.entries.push_back(e);
      keeping.room += static_cast<unsigned long long>(st.st_size);
    }
    keeping.files = static_cast<int>(list.entries.size() - before);
    if (keeping.repeat && keeping.files == 0) return keeping;
    SyncFolder(folder);
    // A repeat's copies join the state at once: they hold the files as they
    // were before the update began, which no run has touched.
    WriteDurably(folder + "/" + (keeping.repeat ? kList : kPending), Format(list));
  } catch (...) {
    for (const std::string& copy : made) unlink((folder + "/" + copy).c_str());
    if (!keeping.repeat && read == Read::kAbsent) rmdir(folder.c_str());
    throw;
  }
  return keeping;
}

bool SettleUpdate(const std::string& prefix, bool completed) {
  std::string folder = Folder(prefix), list = folder + "/" + kList, pending = folder + "/" + kPending;
  List fresh;
  switch (Load(pending, &fresh)) {
    case Read::kRead:
      if (Changed(fresh, folder)) {
        if (std::rename(pending.c_str(), list.c_str()) != 0) throw SystemFailure("cannot replace", list, errno);
      } else if (unlink(pending.c_str()) != 0) {
        throw SystemFailure("cannot remove", pending, errno);
      }
      SyncFolder(folder);
      break;
    case Read::kBad:
      // Written whole or not at all: a list that does not read is no
      // one's, and its copies cannot be told.
      unlink(pending.c_str());
      break;
    case Read::kAbsent:
      break;
  }
  List last;
  bool open = Load(list, &last) == Read::kRead && last.state == State::kOpen;
  if (completed && open) {
    last.state = State::kComplete;
    WriteDurably(list, Format(last));
    open = false;
  }
  CollectGarbage(folder);
  return open;
}

bool Undo(const std::string& prefix, std::ostream& out) {
  std::string folder = Folder(prefix), listPath = folder + "/" + kList;
  List list;
  Read read = mkmedium::IsFolder(folder) ? Load(listPath, &list) : Read::kAbsent;
  if (read == Read::kAbsent) {
    out << "zefa-update: nothing to undo in " << prefix
        << ": no update has been made with zefa-update since the last undo\n";
    return false;
  }
  if (read == Read::kBad) {
    out << "zefa-update: " << listPath << " cannot be read; nothing was changed\n";
    return false;
  }
  bool resumed = list.state == State::kUndoing;
  // What can be seen before anything changes: every copy is there, every
  // link leads to the file that was kept.
  bool ready = true;
  for (const Entry& e : list.entries) {
    if (!e.present) continue;
    std::string path = list.install + "/" + e.path;
    struct stat st;
    if (lstat((folder + "/" + e.copy).c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        (e.size >= 0 && st.st_size != e.size)) {
      out << "zefa-update: the copy of " << path << " is missing from " << folder << "\n";
      ready = false;
    } else if (!e.through.empty() && RealPathOf(path) != e.through) {
      out << "zefa-update: " << path << " is a symbolic link that no longer leads to " << e.through
          << ", the file that was kept\n";
      ready = false;
    }
  }
  if (!ready) {
    out << "zefa-update: " << (resumed ? "the undo cannot be finished" : "nothing was changed") << "; the copies stay in "
        << folder << "\n";
    return false;
  }
  if (!resumed) {
    list.state = State::kUndoing;
    try {
      WriteDurably(listPath, Format(list));
    } catch (const Failure& f) {
      out << "zefa-update: " << f.what() << "; nothing was changed\n";
      return false;
    }
  }

  bool ok = true;
  int restored = 0, removed = 0;
  std::set<std::string> touched;  // folders whose entries changed
  for (const Entry& e : list.entries) {
    std::string path = list.install + "/" + e.path;
    if (!e.present) {
      if (unlink(path.c_str()) == 0) {
        out << "removed  " << path << " (added by the update)\n";
        touched.insert(FolderOf(path));
        ++removed;
      } else if (errno != ENOENT && errno != ENOTDIR) {
        out << "zefa-update: cannot remove " << path << ": " << std::strerror(errno) << "\n";
        ok = false;
      }
      continue;
    }
    // The copy is written beside the file and put in its place in one step;
    // for a link, beside the file it leads to.
    std::string target = e.through.empty() ? path : e.through;
    std::string fresh = target + ".zefa-undo";
    try {
      unlink(fresh.c_str());
      CopyBytes(folder + "/" + e.copy, fresh, 0600);
      struct timespec times[2] = {e.atime, e.mtime};
      if (chmod(fresh.c_str(), e.mode) != 0 || utimensat(AT_FDCWD, fresh.c_str(), times, 0) != 0)
        throw SystemFailure("cannot set the times and attributes of", fresh, errno);
      if (std::rename(fresh.c_str(), target.c_str()) != 0) throw SystemFailure("cannot replace", target, errno);
      touched.insert(FolderOf(target));
      out << "restored " << path << (e.through.empty() ? "" : " (the file its link leads to, " + e.through + ")")
          << "\n";
      ++restored;
    } catch (const Failure& f) {
      unlink(fresh.c_str());
      out << "zefa-update: " << f.what() << "\n";
      ok = false;
    }
  }
  try {
    for (const std::string& f : touched) SyncFolder(f);
    if (ok) {
      if (unlink(listPath.c_str()) != 0) throw SystemFailure("cannot remove", listPath, errno);
      SyncFolder(folder);
    }
  } catch (const Failure& f) {
    out << "zefa-update: " << f.what() << "\n";
    ok = false;
  }
  if (!ok) {
    out << "zefa-update: not every file could be put back; the copies stay in " << folder
        << ", and `zefa-update --undo` tries again\n";
    return false;
  }
  try {
    CollectGarbage(folder);
  } catch (const Failure&) {
    // The undo is done; the next run removes what is left of the copies.
  }
  out << restored << " file" << (restored == 1 ? "" : "s") << " restored, " << removed << " removed: " << list.install
      << " is as it was before the last update\n";
  return true;
}

}  // namespace zefa
