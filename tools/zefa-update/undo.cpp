#include "undo.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "host_files.h"
#include "media.h"

namespace zefa {

const char kUndoFolder[] = "zefa-undo";

namespace {

using mkmedium::Failure;
using mkmedium::SystemFailure;

const char kManifest[] = "kept.list";
const char kHeader[] = "zefa-undo 1";

std::string Folder(const std::string& prefix) { return prefix + "/" + kUndoFolder; }
std::string Staging(const std::string& prefix) { return Folder(prefix) + ".new"; }

// Copies the bytes of from into the new file to: a clone where the file
// system allows (it shares the blocks until one side is written), else a copy.
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
  out.Close(to);
}

std::string Time(const struct timespec& t) { return std::to_string(t.tv_sec) + "." + std::to_string(t.tv_nsec); }

struct timespec ParseTime(const std::string& s) {
  struct timespec t = {};
  size_t dot = s.find('.');
  t.tv_sec = std::stoll(s.substr(0, dot));
  t.tv_nsec = dot == std::string::npos ? 0 : std::stol(s.substr(dot + 1));
  return t;
}

struct Kept {
  bool present = false;
  std::string copy;  // name in the undo folder
  mode_t mode = 0;
  struct timespec atime = {}, mtime = {};
  std::string path;  // below the installation
};

bool ReadManifest(const std::string& folder, std::string* install, std::vector<Kept>* kept) {
  std::ifstream in(folder + "/" + kManifest);
  std::string line;
  if (!std::getline(in, line) || line != kHeader) return false;
  if (!std::getline(in, line) || line.rfind("installation\t", 0) != 0) return false;
  *install = line.substr(13);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Kept k;
    std::string kind, mode, atime, mtime;
    std::getline(fields, kind, '\t');
    if (kind == "kept") {
      std::getline(fields, k.copy, '\t');
      std::getline(fields, mode, '\t');
      std::getline(fields, atime, '\t');
      std::getline(fields, mtime, '\t');
      k.present = true;
      k.mode = static_cast<mode_t>(std::stoul(mode, nullptr, 8));
      k.atime = ParseTime(atime);
      k.mtime = ParseTime(mtime);
    } else if (kind != "added") {
      return false;
    }
    std::getline(fields, k.path);
    kept->push_back(k);
  }
  return true;
}

}  // namespace

unsigned long long KeepFiles(const std::string& prefix, const std::string& install,
                             const std::vector<std::string>& files) {
  unsigned long long room = 0;
  std::string staging = Staging(prefix);
  RemoveWorkTree(staging);
  if (mkdir(staging.c_str(), 0700) != 0) throw SystemFailure("cannot create", staging, errno);
  std::string manifest = std::string(kHeader) + "\ninstallation\t" + install + "\n";
  std::vector<std::string> seen;
  int copies = 0;
  for (const std::string& file : files) {
    if (file.compare(0, install.size() + 1, install + "/") != 0) continue;  // not below the installation
    std::string rel = file.substr(install.size() + 1);
    bool repeated = false;
    for (const std::string& s : seen) repeated = repeated || s == rel;
    if (repeated || rel.find('\n') != std::string::npos) continue;
    seen.push_back(rel);
    struct stat st;
    if (lstat(file.c_str(), &st) != 0) {
      if (errno != ENOENT && errno != ENOTDIR) throw SystemFailure("cannot read", file, errno);
      manifest += "added\t" + rel + "\n";
      continue;
    }
    if (!S_ISREG(st.st_mode)) continue;  // the updater cannot write over it either
    std::string copy = std::to_string(++copies);
    CopyBytes(file, staging + "/" + copy, 0600);
    room += static_cast<unsigned long long>(st.st_size);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%o", st.st_mode & 07777);
    manifest += "kept\t" + copy + "\t" + mode + "\t" + Time(st.st_atim) + "\t" + Time(st.st_mtim) + "\t" + rel + "\n";
  }
  std::ofstream out(staging + "/" + kManifest);
  out << manifest;
  if (!out.flush()) throw SystemFailure("cannot write", staging + "/" + kManifest, errno);
  return room;
}

void CommitKept(const std::string& prefix) {
  std::string staging = Staging(prefix), folder = Folder(prefix);
  if (!mkmedium::Exists(staging)) return;
  RemoveWorkTree(folder);
  std::rename(staging.c_str(), folder.c_str());
}

void DropKept(const std::string& prefix) { RemoveWorkTree(Staging(prefix)); }

void RecoverKept(const std::string& prefix) { CommitKept(prefix); }

bool Undo(const std::string& prefix, std::ostream& out) {
  std::string folder = Folder(prefix), install;
  std::vector<Kept> kept;
  if (!mkmedium::IsFolder(folder)) {
    out << "zefa-update: nothing to undo in " << prefix << ": no update has been made with zefa-update\n";
    return false;
  }
  if (!ReadManifest(folder, &install, &kept)) {
    out << "zefa-update: " << folder << "/" << kManifest << " cannot be read; nothing was changed\n";
    return false;
  }
  bool ok = true;
  int restored = 0, removed = 0;
  for (const Kept& k : kept) {
    std::string path = install + "/" + k.path;
    if (!k.present) {
      if (unlink(path.c_str()) == 0) {
        out << "removed  " << path << " (added by the update)\n";
        ++removed;
      } else if (errno != ENOENT) {
        out << "zefa-update: cannot remove " << path << ": " << std::strerror(errno) << "\n";
        ok = false;
      }
      continue;
    }
    // The copy is written beside the file and put in its place in one step.
    std::string fresh = path + ".zefa-undo";
    try {
      unlink(fresh.c_str());
      CopyBytes(folder + "/" + k.copy, fresh, 0600);
      struct timespec times[2] = {k.atime, k.mtime};
      if (chmod(fresh.c_str(), k.mode) != 0 || utimensat(AT_FDCWD, fresh.c_str(), times, 0) != 0)
        throw SystemFailure("cannot set the times and attributes of", fresh, errno);
      if (std::rename(fresh.c_str(), path.c_str()) != 0) throw SystemFailure("cannot replace", path, errno);
      out << "restored " << path << "\n";
      ++restored;
    } catch (const mkmedium::Failure& f) {
      unlink(fresh.c_str());
      out << "zefa-update: " << f.what() << "\n";
      ok = false;
    }
  }
  if (!ok) {
    out << "zefa-update: not every file could be put back; the copies stay in " << folder << "\n";
    return false;
  }
  out << restored << " file" << (restored == 1 ? "" : "s") << " restored, " << removed << " removed: "
      << install << " is as it was before the last update\n";
  RemoveWorkTree(folder);
  return true;
}

}  // namespace zefa
