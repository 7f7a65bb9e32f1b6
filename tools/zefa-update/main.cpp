// zefa-update: updates a game installed in a Wine prefix from its update
// medium, in one command: disk folders, floppy images, a CD image or a
// mounted disk, with the disks changed as the updater asks for them.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "drive_link.h"
#include "engine/update_job.h"
#include "foundation/exception.h"
#include "foundation/process_values.h"
#include "host_files.h"
#include "leftovers.h"
#include "media.h"
#include "medium_name.h"
#include "outcome.h"
#include "script_text.h"
#include "platform/host.h"
#include "platform/win32.h"
#include "prefix_lock.h"
#include "script/update_script.h"
#include "undo.h"
#include "updater_run.h"

namespace {

using namespace zefa;
using mkmedium::Failure;

enum Exit {
  kCompleted = 0,
  kFailed = 1,
  kUsage = 2,
  kUnusable = 3,
  kRefusedByKit = 4,
  kNotSetUp = 5,
  kDeclined = 6,
  kInterrupted = 130,
};

const char kVersion[] = "zefa-update 2.0\n";

const char kHelp[] =
    "usage: zefa-update [--prefix DIR] MEDIUM...\n"
    "       zefa-update --undo [--prefix DIR]\n"
    "\n"
    "Updates a game installed in a Wine prefix from its update medium, with the\n"
    "updater of the medium running natively: every box it shows appears in this\n"
    "terminal and waits for your answer.\n"
    "\n"
    "MEDIUM, one or more, in any order: a disk's folder (the one that holds its\n"
    "label diskN.fix), a folder of disk folders, a mounted CD or floppy, a floppy\n"
    "image (.img, .ima, .flp, .vfd: a raw FAT image, read with mtools) or a CD\n"
    "image (.iso, read with xorriso). Nothing is mounted; root is not needed.\n"
    "A disk is known by its label. The medium is reached through a drive of its\n"
    "own that zefa-update adds to the prefix (the first free letter from D:) and\n"
    "removes when it ends; when the updater asks for a disk that one of the\n"
    "media is, it goes into that drive by itself, and the terminal says so.\n"
    "When none is, the request stays for you to answer: no disk can be added\n"
    "while zefa-update runs, so answer Cancel, then Yes to stop, and run it\n"
    "again with every disk named.\n"
    "\n"
    "Images are extracted into a folder of its own in the temporary directory,\n"
    "removed when it ends: $TMP, else $TEMP, else the Temp folder of the\n"
    "prefix's user (DIR/drive_c/users/NAME/Temp); $TMPDIR is not read. It needs\n"
    "as much free room as the image's files take (a CD up to 700 MB), which is\n"
    "checked before anything is unpacked. Refused, with nothing changed: a\n"
    "medium that holds a symbolic link, a device or another special file; an\n"
    "image whose files add up to more than twice what the image holds; names\n"
    "that differ only in letter case; a folder medium that another user may\n"
    "change (a folder of it, or above it, not yours or writable by others);\n"
    "a script that the updater cannot load or that names no product. A disk is\n"
    "known by its label in the one form the updater looks for: disk2.fix, not\n"
    "disk02.fix.\n"
    "\n"
    "  --prefix DIR  the Wine prefix (default: $WINEPREFIX, else ~/.wine)\n"
    "  --undo        put the installation back as it was before the last update\n"
    "                of the prefix: bytes, times and attributes of each file the\n"
    "                update's script names (of the file a symbolic link leads\n"
    "                to, the link kept); files the update added are removed\n"
    "  --help, --version\n"
    "\n"
    "Before the updater runs, every installed file that the update's script\n"
    "names is kept in DIR/zefa-undo (as a clone sharing the file's blocks where\n"
    "the file system allows, else a copy: as much room as those files take).\n"
    "The last update is the last one that changed files: a run that changed\n"
    "nothing (No, or stopped at its first box) does not count, and a run that\n"
    "failed or was stopped is one update with the runs that repeat it until one\n"
    "completes; these keep the first run's copies. The copies stay until --undo\n"
    "or the next update that changes files.\n"
    "\n"
    "One update of a prefix runs at a time: a second zefa-update or --undo\n"
    "refuses while one runs, and the updater ends when zefa-update ends. What a\n"
    "killed run left (its drive, its extracted images, its copies, a stopped\n"
    "--undo) is removed, settled or finished by the next run before anything\n"
    "else. No restart is needed under Wine: the updater's copy in the temporary\n"
    "directory, listed in DIR/pending-deletions, is deleted by the first update\n"
    "after the computer restarts.\n"
    "\n"
    "How the update ended is read from the updater's transcript (the file that\n"
    "$ZEFA_TRANSCRIPT names, else one of its own): the box that ends the run.\n"
    "\n"
    "Exit status:\n"
    "  0  the update completed\n"
    "  1  the update failed (the error box; --undo puts back the files), or the\n"
    "     updater ended before the update did\n"
    "  2  bad arguments\n"
    "  3  the medium or the prefix cannot be used (a MEDIUM that does not exist,\n"
    "     is no folder or image, is truncated or refused as above, or lacks the\n"
    "     room to unpack; two disks with one label; no system.reg in DIR;\n"
    "     another update of DIR running; an installed file that is a link\n"
    "     leading to no file); nothing was changed; for --undo, nothing to undo\n"
    "     or a file that could not be put back\n"
    "  4  the update was refused: the expansion kit is installed\n"
    "  5  the game is not set up in this prefix\n"
    "  6  you answered No: nothing was changed\n"
    "  130  interrupted (Ctrl-C); the drive and the extracted files are removed\n";

int Usage(const std::string& problem) {
  std::cerr << "zefa-update: " << problem << "\n"
            << "usage: zefa-update [--prefix DIR] MEDIUM...   (zefa-update --help tells more)\n";
  return kUsage;
}

std::string DefaultPrefix() {
  if (const char* p = std::getenv("WINEPREFIX"); p && *p) return p;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/") + "/.wine";
}

// The native Tavrix.bin that this program starts: in the helpers' folder of
// the installation it belongs to (ZEFA_HELPERS_FROM_BIN, from its own bin
// folder), else beside it, as in the build tree.
std::string NativeUpdater() {
  std::string own = posix::OwnHostPath();
  if (own.empty()) throw Failure("the native updater cannot be found: this program's own path is unknown");
  std::string folder = own.substr(0, own.find_last_of('/') + 1);
  const std::string places[] = {folder + ZEFA_HELPERS_FROM_BIN "/Tavrix.bin", folder + "Tavrix.bin"};
  for (const std::string& place : places) {
    char real[PATH_MAX];
    if (realpath(place.c_str(), real) && access(real, X_OK) == 0) return real;
  }
  throw Failure("the native updater is missing: no " + places[0] + ", no " + places[1]);
}

// The host temporary directory, by the rules of GetTempPathA.
std::string HostTemporary() {
  char temporary[MAX_PATH];
  DWORD length = GetTempPathA(sizeof temporary, temporary);
  std::string host;
  if (length == 0 || length >= sizeof temporary || !posix::HostPath(temporary, &host))
    throw Failure("the temporary directory cannot be had ($TMP, else $TEMP, else the Temp folder of the prefix's user)");
  char real[PATH_MAX];
  if (!realpath(host.c_str(), real)) throw mkmedium::SystemFailure("no temporary directory at", host, errno);
  return real;
}

// The tool's own folder in the temporary directory, removed when it goes
// (by the next run when this one is killed).
class WorkFolder {
 public:
  explicit WorkFolder(RunRecord* record) : path_(record->MakeFolder(HostTemporary())) {}
  ~WorkFolder() { RemoveWorkTree(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The medium's script as the updater will load it, from the source
// directory: one that does not load, or that names no product the updater
// can look for, is the medium's fault, and the updater would say no more
// than that the game is not set up, or that the update failed.
void CheckScript() {
  UpdateScript script;
  try {
    script.Load("Orbane.fix");
  } catch (const Exception& e) {
    throw Failure(std::string("the medium's script Orbane.fix is bad: ") +
                  (e.message ? mkmedium::Readable(e.message) : "it cannot be read") + "; nothing was changed");
  }
  std::string why = mkmedium::RegistryProblem(script.registryName);
  if (!why.empty()) throw Failure("the medium's script Orbane.fix is bad: " + why + "; nothing was changed");
}

// The installed files that the script names, as host paths, and the
// installation folder; false when the updater will not find the installation
// (it says so itself) or the script does not load.
bool NamedFiles(std::string* install, std::vector<std::string>* files) {
  try {
    UpdateScript script;
    script.Load("Orbane.fix");
    UpdateJob job(&script);
    std::string mapped;
    char real[PATH_MAX];
    if (!job.Locate() || !posix::HostPath(job.installDir, &mapped) || !realpath(mapped.c_str(), real)) return false;
    // The installation as the host names it, not through the prefix's drive links.
    *install = real;
    UpdateScriptIterator entries(script);
    while (const UpdateEntry* entry = entries.Next()) {
      char source[MAX_PATH], destination[MAX_PATH];
      if (entry->diskCount > 1)
        entry->MakeDestinationPath(destination, job.installDir);
      else
        entry->MakePaths(source, destination, SourceDirectory, job.installDir);
      std::string host;
      if (posix::HostPath(destination, &host) && host.compare(0, mapped.size() + 1, mapped + "/") == 0)
        files->push_back(*install + host.substr(mapped.size()));
    }
    return true;
  } catch (const Exception&) {
    return false;
  }
}

std::string ReadFrom(const std::string& path, std::streamoff offset) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(offset);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::streamoff SizeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

// What earlier runs left is settled before anything else is read: the drive
// and the folders of a run that was killed, its copies for --undo, and, when
// finishUndo, an undo that was stopped before its end.
void SettleEarlierRuns(const std::string& prefix, bool finishUndo) {
  RemoveLeftovers(prefix, std::cout);
  RecoverUndoState(prefix);
  if (finishUndo && UndoStopped(prefix)) {
    std::cout << "zefa-update: an undo was stopped before its end; it is finished first\n";
    if (!Undo(prefix, std::cout)) throw Failure("the undo cannot be finished; nothing else was changed");
  }
  std::cout.flush();
}

// The updater's last box asks for a restart of Windows, which under Wine
// means nothing: what it is for is said instead. The updater lists its copy
// for deletion at the restart (as a Windows of the 9x family, in WININIT.INI,
// which nothing here reads).
void SayWhatTheRestartIsFor(const std::string& prefix, const std::string& copy) {
  char real[PATH_MAX];
  std::string listed = std::string("\t") + (realpath(copy.c_str(), real) ? real : copy) + "\n";
  bool pending = ReadFrom(prefix + "/pending-deletions", 0).find(listed) != std::string::npos;
  std::cout << "zefa-update: no restart is needed under Wine. The restart that the updater asks for only deletes its "
               "copy "
            << copy
            << (pending ? "; the first update after this computer restarts deletes it (it is listed in " + prefix +
                              "/pending-deletions).\n"
                        : std::string(", which you may delete.\n"));
}

int Update(const std::string& prefix, const std::vector<std::string>& media) {
  mkmedium::CatchInterrupts();
  // Output that nobody reads any more (a closed pipe) must not end the tool
  // before it has removed its drive and its files.
  signal(SIGPIPE, SIG_IGN);
  SettleEarlierRuns(prefix, true);
  // As the launcher does at its start: the copy that an earlier run left for
  // deletion at the restart goes before a new one is made.
  posix::CarryOutPendingDeletions();
  RunRecord record(prefix);
  WorkFolder work(&record);
  Medium medium = GatherMedium(media, work.path(), isatty(2));
  mkmedium::CheckInterrupt();
  std::string updater = NativeUpdater();

  std::vector<std::string> folders;
  for (const auto& [number, disk] : medium.disks) folders.push_back(disk.folder);
  record.NoteTargets(folders);
  DriveLink drive(prefix, medium.start, &record);
  int first = 0;
  for (const auto& [number, disk] : medium.disks)
    if (disk.folder == medium.start && first == 0) first = number;
  std::cout << "zefa-update: " << medium.disks.size() << " disk" << (medium.disks.size() == 1 ? "" : "s")
            << " of the medium; disk " << first << " is in drive " << drive.letter() << ":\n";
  std::cout.flush();
  // The updater's source directory, as the launcher on that drive gives it.
  std::string root = std::string(1, drive.letter()) + ":";
  lstrcpyA(SourceDirectory, root.c_str());
  CheckScript();
  std::string install;
  std::vector<std::string> files;
  bool kept = NamedFiles(&install, &files);
  // However the run ends from here, what it kept is settled: its copies
  // count only if the installation changed.
  struct SettleOnTheWayOut {
    const std::string& prefix;
    bool armed;
    ~SettleOnTheWayOut() {
      try {
        if (armed) SettleUpdate(prefix, false);
      } catch (const Failure&) {
        // The next run settles it.
      }
    }
  } settle{prefix, kept};
  if (kept) {
    Keeping keeping = KeepForUpdate(prefix, install, files);
    if (!keeping.repeat)
      std::cout << "zefa-update: the installed files that the update names are kept in " << prefix << "/"
                << kUndoFolder << " (" << (keeping.room + 1023) / 1024 << " KiB), for --undo\n";
    else
      std::cout << "zefa-update: the last update did not complete, and this run goes on with it: --undo puts back "
                   "the files as they were before its first run"
                << (keeping.files ? " (" + std::to_string(keeping.files) + " more kept, " +
                                        std::to_string((keeping.room + 1023) / 1024) + " KiB)"
                                  : std::string())
                << "\n";
    std::cout.flush();
  }

  // The transcript says how the run ended: the one asked for, else our own.
  std::string transcript = work.path() + "/transcript";
  if (const char* given = std::getenv("ZEFA_TRANSCRIPT"); given && *given) transcript = given;
  setenv("ZEFA_TRANSCRIPT", transcript.c_str(), 1);
  std::streamoff before = SizeOf(transcript);

  mkmedium::CheckInterrupt();  // Ctrl-C while the copies were made: the updater does not start
  RunResult run = RunUpdater(updater, work.path(), medium, &drive, std::cout, &record);
  Outcome outcome = ReadOutcome(ReadFrom(transcript, before));
  if (!run.exited || (run.status != 0 && outcome == Outcome::kCompleted)) outcome = Outcome::kUnfinished;
  // An update that changed files and did not complete stays open for the
  // runs that repeat it.
  bool unfinished = false;
  if (kept) {
    settle.armed = false;
    unfinished = SettleUpdate(prefix, outcome == Outcome::kCompleted && !run.interrupted);
  }
  if ((outcome == Outcome::kCompleted || outcome == Outcome::kFailed) && !run.copy.empty())
    SayWhatTheRestartIsFor(prefix, run.copy);

  std::string undo = unfinished ? " Run it again to complete it, or `zefa-update --undo` to put back the files as "
                                  "they were before it."
                                : "";
  if (run.interrupted) {
    std::cerr << "zefa-update: interrupted; the drive " << drive.letter() << ": and the extracted files are removed."
              << undo << "\n";
    return kInterrupted;
  }
  switch (outcome) {
    case Outcome::kCompleted:
      std::cout << "zefa-update: the update is complete; `zefa-update --undo` would put back the files as they were.\n";
      return kCompleted;
    case Outcome::kFailed:
      std::cerr << "zefa-update: the update failed." << undo << "\n";
      return kFailed;
    case Outcome::kNotSetUp:
      std::cerr << "zefa-update: the game is not set up in the prefix " << prefix << "; nothing was changed.\n";
      return kNotSetUp;
    case Outcome::kRefused:
      std::cerr << "zefa-update: the update was refused (the expansion kit is installed); nothing was changed.\n";
      return kRefusedByKit;
    case Outcome::kDeclined:
      std::cerr << "zefa-update: you answered No; nothing was changed.\n";
      return kDeclined;
    case Outcome::kUnfinished:
      break;
  }
  std::cerr << "zefa-update: the updater ended before the update did"
            << (run.exited ? " (status " + std::to_string(run.status) + ")" : " (signal " + std::to_string(run.status) + ")")
            << "." << undo << "\n";
  return kFailed;
}

}  // namespace

int main(int argc, char** argv) {
  std::string prefix;
  bool undo = false, prefixGiven = false;
  std::vector<std::string> media;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (options && a == "--") {
      options = false;
    } else if (options && (a == "--help" || a == "-h")) {
      std::cout << kHelp;
      return kCompleted;
    } else if (options && a == "--version") {
      std::cout << kVersion;
      return kCompleted;
    } else if (options && a == "--undo") {
      undo = true;
    } else if (options && (a == "--prefix" || a.rfind("--prefix=", 0) == 0)) {
      if (a == "--prefix" && i + 1 == argc) return Usage("--prefix needs a folder");
      prefix = a == "--prefix" ? argv[++i] : a.substr(9);
      prefixGiven = true;
      if (prefix.empty()) return Usage("--prefix needs a folder");
    } else if (options && a.size() > 1 && a[0] == '-') {
      return Usage("unknown option " + a);
    } else {
      media.push_back(a);
    }
  }
  if (undo && !media.empty()) return Usage("--undo takes no MEDIUM");
  if (!undo && media.empty()) return Usage("no MEDIUM given");
  if (!prefixGiven) prefix = DefaultPrefix();

  // Before anything is read from the medium: the prefix must be one.
  struct stat st;
  if (stat((prefix + "/system.reg").c_str(), &st) != 0) {
    std::cerr << "zefa-update: " << prefix
              << (stat(prefix.c_str(), &st) == 0 ? " is not a Wine prefix (it has no system.reg)"
                                                  : " does not exist (no Wine prefix there)")
              << "; nothing was changed\n";
    return kUnusable;
  }
  char real[PATH_MAX];
  if (!realpath(prefix.c_str(), real)) return kUnusable;
  prefix = real;
  setenv("WINEPREFIX", prefix.c_str(), 1);

  try {
    // One run per prefix, from before anything of it is read.
    PrefixLock lock(prefix, std::cerr);
    if (undo) {
      SettleEarlierRuns(prefix, false);
      return Undo(prefix, std::cout) ? kCompleted : kUnusable;
    }
    return Update(prefix, media);
  } catch (const Failure& f) {
    std::cerr << "zefa-update: " << f.what() << "\n";
    // mkmedium::CheckInterrupt's failure: a signal came before the updater ran.
    return std::string(f.what()).rfind("interrupted;", 0) == 0 ? kInterrupted : kUnusable;
  } catch (const std::bad_alloc&) {
    std::cerr << "zefa-update: out of memory\n";
    return kFailed;
  }
}
