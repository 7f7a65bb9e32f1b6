#include "medium_builder.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <tuple>

#include "codec/compressor.h"
#include "codec/fd_stream.h"
#include "host_files.h"
#include "medium_check.h"
#include "medium_name.h"
#include "wintext/cp932.h"
#include "script/update_script.h"

namespace mkmedium {
namespace {

const char kScriptName[] = "Orbane.fix";
const char kUpdaterName[] = "Tavrix.bin";

// One updated file, from the folder walk to its place on the medium.
struct Source {
  std::string host;  // its path on the host
  std::string name;  // in the installation (CP932, '\')
  uint64_t size = 0;
  struct timespec mtime = {};
  bool compressed = false;
  std::string stored;
  uint8_t missing = 0;
  std::string staged;  // the whole file compressed, in the work folder
  uint64_t storedSize = 0;
  std::string pieceStem;  // what its pieces are numbered after, should it be split
};

// The host's name (UTF-8, '/') of a CP932 name.
std::string HostName(const std::string& cp932) {
  std::string utf8;
  if (!wintext::Cp932ToUtf8(cp932, &utf8)) throw Failure("internal: a name is not CP932: " + Readable(cp932));
  std::replace(utf8.begin(), utf8.end(), '\\', '/');
  return utf8;
}

// The walk over the folder of updated files, below rel.
void Scan(const std::string& root, const std::string& rel, std::set<std::pair<dev_t, ino_t>>* path,
          std::vector<Source>* found) {
  std::vector<std::string> names = FolderNames(rel.empty() ? root : root + "/" + rel);
  for (const std::string& n : names) {
    std::string r = rel.empty() ? n : rel + "/" + n;
    std::string host = root + "/" + r;
    struct stat st;
    if (stat(host.c_str(), &st) != 0) throw SystemFailure("cannot read", host, errno);
    if (S_ISDIR(st.st_mode)) {
      // A link back to a folder above would make the walk endless.
      if (!path->insert({st.st_dev, st.st_ino}).second) throw Failure(host + " leads back to a folder above it");
      Scan(root, r, path, found);
      path->erase({st.st_dev, st.st_ino});
      continue;
    }
    if (!S_ISREG(st.st_mode)) throw Failure(host + " is neither a file nor a folder");
    Source s;
    s.host = host;
    std::string why;
    if (!ScriptName(r, &s.name, &why)) throw Failure(r + ": the name " + why);
    s.size = uint64_t(st.st_size);
    if (s.size > UINT32_MAX) throw Failure(host + " is 4 GiB or larger, more than the updater can handle");
    s.mtime = st.st_mtim;
    found->push_back(s);
  }
}

// Which platform a program is built for, from its first bytes.
enum class Platform { kLinux, kWindows };

Platform ProgramPlatform(const std::string& path) {
  Fd fd(OpenRead(path));
  char head[4] = {};
  ssize_t n = pread(fd.get(), head, sizeof head, 0);
  if (n == 4 && std::memcmp(head, "\x7F" "ELF", 4) == 0) return Platform::kLinux;
  if (n >= 2 && head[0] == 'M' && head[1] == 'Z') return Platform::kWindows;
  throw Failure(path + " is neither a Linux nor a Windows program");
}

// Passes writes on until cap bytes in all have gone; then fails, which ends a
// compression that would not fit.
class CappedOutput : public szdd::Output {
 public:
  CappedOutput(szdd::Output& out, uint64_t cap) : out_(out), cap_(cap) {}
  bool Write(const void* data, size_t size) override {
    if (size > cap_ - written_) {
      over_ = true;
      return false;
    }
    written_ += size;
    return out_.Write(data, size);
  }
  bool over() const { return over_; }
  uint64_t written() const { return written_; }

 private:
  szdd::Output& out_;
  uint64_t cap_;
  uint64_t written_ = 0;
  bool over_ = false;
};

// Tells how far a compression has read, for the progress line.
class CountingInput : public szdd::Input {
 public:
  CountingInput(szdd::Input& in, const std::function<void(uint64_t)>& tell) : in_(in), tell_(tell) {}
  ptrdiff_t Read(void* buffer, size_t size) override {
    CheckInterrupt();
    ptrdiff_t n = in_.Read(buffer, size);
    if (n > 0) tell_(done_ += uint64_t(n));
    return n;
  }

 private:
  szdd::Input& in_;
  const std::function<void(uint64_t)>& tell_;
  uint64_t done_ = 0;
};

class Builder {
 public:
  Builder(const BuildOptions& options, Progress& progress) : o_(options), progress_(progress) {}

  ~Builder() {
    if (!staging_.empty()) RemoveTree(staging_);
  }

  BuildResult Run() {
    CheckInputs();
    struct stat root;
    if (stat(o_.files.c_str(), &root) != 0) throw SystemFailure("cannot read", o_.files, errno);
    folders_.insert({root.st_dev, root.st_ino});
    Scan(o_.files, "", &folders_, &sources_);
    if (sources_.empty()) throw Failure(o_.files + " holds no files");
    if (sources_.size() > size_t(UpdateScript::kMaxEntries))
      throw Failure(o_.files + " holds " + std::to_string(sources_.size()) + " files; a script lists at most " +
                    std::to_string(UpdateScript::kMaxEntries));
    std::sort(sources_.begin(), sources_.end(), [](const Source& a, const Source& b) { return a.name < b.name; });
    CheckCaseCollisions();
    MakeStaging();
    Compress();
    CheckStoredCollisions();
    ChoosePieceStems();
    Plan();
    CheckPieceCollisions();
    Write();
    Verify();
    Publish();
    return Result();
  }

 private:
  void CheckInputs() {
    if (!IsFolder(o_.files)) throw Failure(o_.files + " is not a folder");
    Platform launcher = ProgramPlatform(o_.launcher);
    if (ProgramPlatform(o_.updater) != launcher)
      throw Failure(o_.launcher + " and " + o_.updater + " are built for different platforms");
    launcherName_ = launcher == Platform::kWindows ? "Orbane.exe" : "Orbane";
    std::string why;
    if (!KeyLines(o_.keys, &keyLines_, &why)) throw Failure(why);
    if (Exists(o_.out) && !o_.force) throw Failure(o_.out + " exists; give --force to replace it");
    if (Exists(o_.out) && !IsFolder(o_.out)) throw Failure(o_.out + " exists and is not a folder");
    // Neither folder may hold the other: the medium would take itself in, or
    // replacing it would lose the update's files.
    std::string files = RealPath(o_.files);
    std::string parent = RealPath(ParentOf(o_.out));
    std::string out = parent + "/" + BaseOf(o_.out);
    if (Within(out, files) || Within(files, out)) throw Failure(o_.out + " and " + o_.files + " overlap");
  }

  static std::string ParentOf(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
  }

  static std::string BaseOf(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
  }

  // Windows holds one of two names that differ only in letter case.
  void CheckCaseCollisions() {
    std::map<std::string, std::string, NoCaseLess> seen;
    for (const Source& s : sources_) {
      for (size_t sep = s.name.find('\\');; sep = s.name.find('\\', sep + 1)) {
        std::string part = s.name.substr(0, sep);
        auto [at, added] = seen.emplace(part, part);
        if (!added && at->second != part)
          throw Failure(Readable(at->second) + " and " + Readable(part) +
                        " differ only in letter case; Windows keeps one of them");
        if (sep == std::string::npos) break;
      }
    }
  }

  void MakeStaging() {
    std::string tmpl = ParentOf(o_.out) + "/." + BaseOf(o_.out) + ".partial-XXXXXX";
    if (!mkdtemp(&tmpl[0])) throw SystemFailure("cannot make a folder beside", o_.out, errno);
    staging_ = tmpl;
    work_ = staging_ + "/work";
    MakeFolders(work_);
  }

  // Compresses [offset, offset + length) of s into the new file path. The
  // stored size, or -1 (and no file) when it would pass cap bytes.
  int64_t CompressRange(const Source& s, int fd, uint64_t offset, uint64_t length, uint8_t missing,
                        const std::string& path, uint64_t cap,
                        const std::function<void(uint64_t)>& tell = [](uint64_t) {}) {
    Fd out(CreateFile(path));
    RangeInput range(fd, offset, length);
    CountingInput input(range, tell);
    szdd::FdOutput file(out.get());
    CappedOutput capped(file, cap);
    if (!compressor_) compressor_.reset(new szdd::Compressor);
    szdd::Status status = compressor_->Compress(input, capped, uint32_t(length), missing);
    if (status == szdd::Status::kWriteError && capped.over()) {
      out.Close(path);
      unlink(path.c_str());
      return -1;
    }
    switch (status) {
      case szdd::Status::kOk: break;
      case szdd::Status::kReadError: throw SystemFailure("cannot read", s.host, range.error());
      case szdd::Status::kWriteError: throw SystemFailure("cannot write", path, file.error());
      default: throw Failure(s.host + " changed while it was read");
    }
    out.Close(path);
    return int64_t(capped.written());
  }

  // Each file compressed, kept so when that makes it smaller. A name that
  // ends in '_' tells the updater to expand the file, so such a file is
  // always stored compressed: its content then arrives unchanged whatever it
  // holds.
  void Compress() {
    for (size_t i = 0; i < sources_.size(); ++i) {
      Source& s = sources_[i];
      std::string what =
          "compressing " + std::to_string(i + 1) + "/" + std::to_string(sources_.size()) + " " + Readable(s.name);
      progress_.Show(what);
      std::function<void(uint64_t)> tell = [&](uint64_t done) {
        progress_.Show(what + " " + std::to_string(done * 100 / std::max<uint64_t>(s.size, 1)) + "%");
      };
      bool forced = s.name.back() == '_';
      s.stored = s.name;
      s.storedSize = s.size;
      if (s.size == 0 && !forced) continue;
      uint8_t missing;
      std::string stored = CompressedName(s.name, &missing);
      std::string staged = work_ + "/" + std::to_string(i);
      Fd in(OpenRead(s.host));
      int64_t size = CompressRange(s, in.get(), 0, s.size, missing, staged, forced ? UINT64_MAX : s.size - 1, tell);
      if (size < 0) continue;
      s.compressed = true;
      s.stored = stored;
      s.missing = missing;
      s.staged = staged;
      s.storedSize = uint64_t(size);
    }
  }

  // Names that the medium would hold twice, counting the programs, the
  // script, the labels and the folders.
  void CheckStoredCollisions() {
    std::map<std::string, std::string, NoCaseLess> taken;
    for (const char* fixed : {kScriptName, kUpdaterName, "Orbane", "Orbane.exe"})
      taken.emplace(fixed, std::string("the medium's own ") + fixed);
    for (const Source& s : sources_) {
      if (LooksLikeLabel(s.stored)) throw Failure(Readable(s.name) + " would be taken for a disk label");
      auto [at, added] = taken.emplace(s.stored, Readable(s.name));
      if (!added)
        throw Failure(at->second + " and " + Readable(s.name) + " would both be " + Readable(s.stored) +
                      " on the medium");
    }
    for (const Source& s : sources_) {
      for (size_t sep = s.name.find('\\'); sep != std::string::npos; sep = s.name.find('\\', sep + 1)) {
        auto found = taken.find(s.name.substr(0, sep));
        if (found != taken.end())
          throw Failure(found->second + " would have the name of the folder " + Readable(s.name.substr(0, sep)));
      }
    }
  }

  // A split file's pieces lie in the root of their disks, numbered after the
  // last component of its name: the updater copies them to the temporary
  // directory under the same names, and makes no folder there. The stem is
  // chosen so that no piece it may have meets another name in the root of a
  // disk: the medium's own files, the files and folders there, and the
  // pieces of every other file.
  void ChoosePieceStems() {
    std::set<std::string, NoCaseLess> taken;
    for (const char* fixed : {kScriptName, kUpdaterName, "Orbane", "Orbane.exe"}) taken.insert(fixed);
    for (const Source& s : sources_) taken.insert(TopName(s.stored));
    for (Source& s : sources_) {
      std::string base = RootName(s.stored);
      for (int k = 1;; ++k) {
        std::string stem = k == 1 ? base : NumberedName(base, k);
        std::vector<std::string> names;
        for (int n = 1; n <= UpdateEntry::kMaxDisks; ++n) names.push_back(PieceName(stem, n));
        if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return taken.count(n) > 0; })) {
          s.pieceStem = stem;
          taken.insert(names.begin(), names.end());
          break;
        }
      }
    }
  }

  // The most bytes of source i from offset on that take at most room on the
  // medium; a compressed piece is compressed by itself, as the updater
  // expands each piece by itself.
  uint64_t SizePiece(size_t i, uint64_t offset, uint64_t room, uint64_t* storedSize) {
    const Source& s = sources_[i];
    uint64_t left = s.size - offset;
    if (!s.compressed) {
      *storedSize = std::min(room, left);
      return *storedSize;
    }
    auto key = std::make_tuple(i, offset, room);
    auto known = trials_.find(key);
    if (known == trials_.end()) known = trials_.emplace(key, SearchPiece(i, offset, room)).first;
    *storedSize = known->second.stored;
    if (known->second.length) pieceFiles_[std::make_tuple(i, offset, known->second.length)] = known->second.path;
    return known->second.length;
  }

  struct Trial {
    uint64_t length = 0;
    uint64_t stored = 0;
    std::string path;
  };

  // The longest piece whose compressed form fits room: the whole rest when it
  // fits, else a search between a length that fits and one that does not,
  // guessed from the bytes each input byte has taken so far, and halved
  // every third round so that it always closes in.
  Trial SearchPiece(size_t i, uint64_t offset, uint64_t room) {
    const Source& s = sources_[i];
    progress_.Show("splitting " + Readable(s.name) + " at byte " + std::to_string(offset));
    Fd in(OpenRead(s.host));
    Trial best;
    best.path = work_ + "/piece-" + std::to_string(i) + "-" + std::to_string(offset) + "-" + std::to_string(room);
    std::string attempt = work_ + "/attempt";
    auto fits = [&](uint64_t length) {
      int64_t size = CompressRange(s, in.get(), offset, length, 0, attempt, room);
      if (size < 0) return false;
      if (rename(attempt.c_str(), best.path.c_str()) != 0) throw SystemFailure("cannot rename", attempt, errno);
      best.length = length;
      best.stored = uint64_t(size);
      return true;
    };
    uint64_t left = s.size - offset;
    if (fits(left)) return best;
    uint64_t lo = 0, hi = left;
    double perByte = s.size ? double(s.storedSize) / double(s.size) : 1.0;
    for (int round = 0; hi - lo > 1 && round < 64; ++round) {
      uint64_t storedLo = lo ? best.stored : szdd::kHeaderSize;
      if (lo && room - storedLo < 16) break;  // as full as it gets
      uint64_t guess = round % 3 == 2 ? lo + (hi - lo) / 2
                                      : lo + uint64_t(double(room - storedLo) / std::max(perByte, 0.01));
      guess = std::min(std::max(guess, lo + 1), hi - 1);
      if (fits(guess)) {
        lo = guess;
        perByte = double(best.stored) / double(guess);
      } else {
        hi = guess;
      }
    }
    if (!lo) best = Trial();
    return best;
  }

  std::vector<std::string> EntryLines(const Layout* layout) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < sources_.size(); ++i) {
      const Source& s = sources_[i];
      std::vector<Piece> one{Piece{1, s.stored, 0, s.size, s.storedSize}};
      const std::vector<Piece>& pieces = layout ? layout->pieces[i] : one;
      std::string line = EntryLine(s.name, pieces.size() > 1 ? s.pieceStem : s.stored, pieces);
      if (line.size() > kMaxLine)
        throw Failure(Readable(s.name) + ": its line in the script would be longer than " +
                      std::to_string(kMaxLine) + " bytes");
      lines.push_back(line);
    }
    return lines;
  }

  // The layout, with room on the first disk for the script that lists it:
  // the script's size depends on the layout, so the room is widened until
  // the script fits it.
  void Plan() {
    std::vector<Item> items;
    for (const Source& s : sources_) items.push_back(Item{s.stored, s.size, s.storedSize, s.pieceStem});
    struct stat launcher, updater;
    if (stat(o_.launcher.c_str(), &launcher) != 0) throw SystemFailure("cannot read", o_.launcher, errno);
    if (stat(o_.updater.c_str(), &updater) != 0) throw SystemFailure("cannot read", o_.updater, errno);
    uint64_t reserve = ScriptText(keyLines_, EntryLines(nullptr)).size();
    PieceSizer sizer = [this](size_t i, uint64_t offset, uint64_t room, uint64_t* stored) {
      return SizePiece(i, offset, room, stored);
    };
    for (;;) {
      std::vector<FixedFile> fixed{{launcherName_, uint64_t(launcher.st_size)},
                                   {kUpdaterName, uint64_t(updater.st_size)},
                                   {kScriptName, reserve}};
      std::string why;
      if (!PlanLayout(o_.format, fixed, items, sizer, &layout_, &why)) throw Failure(why);
      script_ = ScriptText(keyLines_, EntryLines(&layout_));
      if (script_.size() <= reserve) return;
      reserve = script_.size();
    }
  }

  // Pieces are named after their file: MOVIE.DAT's second piece, MOVIE.DAT2,
  // must not meet a file of that name on its disk.
  void CheckPieceCollisions() {
    std::vector<std::map<std::string, std::string, NoCaseLess>> disks(size_t(layout_.disks) + 1);
    for (size_t i = 0; i < sources_.size(); ++i) {
      for (const Piece& p : layout_.pieces[i]) {
        auto [at, added] = disks[size_t(p.disk)].emplace(p.stored, Readable(sources_[i].name));
        if (!added)
          throw Failure(at->second + " and " + Readable(sources_[i].name) + " would both be " +
                        Readable(p.stored) + " on disk " + std::to_string(p.disk));
      }
    }
  }

  std::string DiskFolder(int disk) const { return staging_ + "/disk" + std::to_string(disk); }

  void PutProgram(const std::string& from, const std::string& name) {
    std::string to = DiskFolder(1) + "/" + name;
    Fd in(OpenRead(from));
    struct stat st;
    if (fstat(in.get(), &st) != 0) throw SystemFailure("cannot read", from, errno);
    CopyRange(in.get(), from, 0, uint64_t(st.st_size), to);
    if (chmod(to.c_str(), 0755) != 0) throw SystemFailure("cannot make executable", to, errno);
    SetWriteTime(to, st.st_mtim);
  }

  void Write() {
    for (int d = 1; d <= layout_.disks; ++d) {
      MakeFolders(DiskFolder(d));
      Fd label(CreateFile(DiskFolder(d) + "/" + LabelName(d)));
      label.Close(LabelName(d));
    }
    PutProgram(o_.launcher, launcherName_);
    PutProgram(o_.updater, kUpdaterName);
    {
      std::string path = DiskFolder(1) + "/" + kScriptName;
      Fd out(CreateFile(path));
      if (write(out.get(), script_.data(), script_.size()) != ssize_t(script_.size()))
        throw SystemFailure("cannot write", path, errno ? errno : ENOSPC);
      out.Close(path);
    }
    for (size_t i = 0; i < sources_.size(); ++i) {
      const Source& s = sources_[i];
      progress_.Show("writing " + std::to_string(i + 1) + "/" + std::to_string(sources_.size()) + " " +
                     Readable(s.name));
      const std::vector<Piece>& pieces = layout_.pieces[i];
      Fd in(OpenRead(s.host));
      for (const Piece& p : pieces) {
        std::string to = DiskFolder(p.disk) + "/" + HostName(p.stored);
        MakeFolders(ParentOf(to));
        std::string from;
        if (s.compressed) from = pieces.size() == 1 ? s.staged : pieceFiles_.at(std::make_tuple(i, p.offset, p.length));
        if (!from.empty()) {
          if (rename(from.c_str(), to.c_str()) != 0) throw SystemFailure("cannot move", from, errno);
        } else {
          CopyRange(in.get(), s.host, p.offset, p.length, to);
        }
        // The updater asks before it replaces an installed file that is not
        // older than the medium's, and gives the installed file the medium's
        // time: every piece carries the time of the file.
        SetWriteTime(to, s.mtime);
      }
    }
    RemoveTree(work_);
  }

  // The medium as the updater will read it, before it takes the place of out.
  void Verify() {
    progress_.Show("checking the medium");
    CheckReport report = CheckMedium({staging_});
    notes_ = report.notes;
    if (report.problems.empty()) return;
    std::string text = "internal: the medium made fails its check:";
    for (const Problem& p : report.problems) text += "\n  line " + std::to_string(p.line) + ": " + p.text;
    throw Failure(text);
  }

  void Publish() {
    std::string old;
    if (Exists(o_.out)) {
      old = ParentOf(o_.out) + "/." + BaseOf(o_.out) + ".old-XXXXXX";
      if (!mkdtemp(&old[0])) throw SystemFailure("cannot make a folder beside", o_.out, errno);
      if (rename(o_.out.c_str(), (old + "/medium").c_str()) != 0) {
        int err = errno;
        rmdir(old.c_str());
        throw SystemFailure("cannot move aside", o_.out, err);
      }
    }
    if (rename(staging_.c_str(), o_.out.c_str()) != 0) {
      int err = errno;
      if (!old.empty()) rename((old + "/medium").c_str(), o_.out.c_str());
      throw SystemFailure("cannot put the medium in place at", o_.out, err);
    }
    staging_.clear();
    if (!old.empty()) RemoveTree(old);
  }

  BuildResult Result() const {
    BuildResult r;
    for (size_t i = 0; i < sources_.size(); ++i) {
      const Source& s = sources_[i];
      r.files.push_back(BuiltFile{s.name, s.stored, s.size, s.compressed, layout_.pieces[i]});
    }
    r.disks = layout_.disks;
    r.freeBytes = layout_.freeBytes;
    r.launcherName = launcherName_;
    r.notes = notes_;
    return r;
  }

  const BuildOptions& o_;
  Progress& progress_;
  std::string launcherName_;
  std::vector<std::string> keyLines_;
  std::set<std::pair<dev_t, ino_t>> folders_;
  std::vector<Source> sources_;
  std::string staging_, work_;
  std::unique_ptr<szdd::Compressor> compressor_;
  std::map<std::tuple<size_t, uint64_t, uint64_t>, Trial> trials_;
  std::map<std::tuple<size_t, uint64_t, uint64_t>, std::string> pieceFiles_;
  Layout layout_;
  std::string script_;
  std::vector<Problem> notes_;
};

}  // namespace

BuildResult BuildMedium(const BuildOptions& options, Progress& progress) { return Builder(options, progress).Run(); }

}  // namespace mkmedium
