#include "medium_check.h"

#include <dirent.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "foundation/field_splitter.h"
#include "foundation/file.h"
#include "foundation/paths.h"
#include "foundation/process_values.h"
#include "foundation/text.h"
#include "foundation/text_format.h"
#include "case_clash.h"
#include "host_files.h"
#include "layout.h"
#include "medium_name.h"
#include "platform/host.h"
#include "platform/win32.h"
#include "script/script_errors.h"
#include "script/update_script.h"
#include "script_text.h"
#include "wintext/cp932.h"

namespace mkmedium {
namespace {

const char kScriptName[] = "Orbane.fix";

// A folder of the medium, by the host's path and by the Windows path through
// which the updater would see it.
struct Folder {
  std::string host;
  std::string windows;
};

std::vector<std::string> Subfolders(const std::string& path) {
  std::vector<std::string> found;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path.c_str()), closedir);
  if (!dir) throw SystemFailure("cannot read the folder", path, errno);
  while (struct dirent* e = readdir(dir.get())) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (IsFolder(path + "/" + name)) found.push_back(path + "/" + name);
  }
  // disk2 before disk10.
  std::sort(found.begin(), found.end(),
            [](const std::string& a, const std::string& b) { return strverscmp(a.c_str(), b.c_str()) < 0; });
  return found;
}

// Whether the updater finds name in folder: the test of its disk prompt, which
// a folder of that name passes too.
bool Present(const Folder& folder, const char* name) {
  char path[MAX_PATH];
  JoinPath(path, folder.windows.c_str(), name);
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool HoldsMediumFile(const std::string& host) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(host.c_str()), closedir);
  if (!dir) return false;
  while (struct dirent* e = readdir(dir.get()))
    if (strcasecmp(e->d_name, kScriptName) == 0 || LooksLikeLabel(e->d_name)) return true;
  return false;
}

std::vector<Folder> DiskFolders(const std::vector<std::string>& paths) {
  std::vector<Folder> folders;
  for (const std::string& h : FindDiskFolders(paths)) {
    Folder f{h, ""};
    if (!posix::WindowsPath(h, &f.windows) || f.windows.size() >= MAX_PATH - 16)
      throw Failure(h + ": no Windows drive of the prefix reaches it with a path short enough for the updater");
    folders.push_back(f);
  }
  return folders;
}

// Whether a name has a folder: a separator ('\\', or '/', which Windows
// takes as one too) that is no second byte of a character.
bool HasFolder(const char* name) {
  for (const char* p = name; *p; ++p) {
    if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1])
      ++p;
    else if (*p == '\\' || *p == '/')
      return true;
  }
  return false;
}

std::string Quoted(const char* cp932) { return "'" + Readable(cp932) + "'"; }

// What a script error means, in the words of someone making a medium.
std::string Explain(const char* message, const char* line) {
  using namespace script_error;
  if (message == kUnknownKey) {
    FieldSplitter fields;
    fields.Split(line, "=");
    return "unknown key " + Quoted(fields.Field(0)) + " (the keys are APPNAME, REGISTRY, GARMOREGISTRY, MODE)";
  }
  if (message == kParentName) return "a name with a '..' reaches outside its folder";
  if (message == kTooManyFiles) return "more than " + std::to_string(UpdateScript::kMaxEntries) + " entries";
  if (message == kBadDiskNumber) return "malformed entry: not DISKS:NAME or DISKS:NAME>DESTINATION with one ':'";
  if (message == kTooManySplits)
    return "more than " + std::to_string(UpdateEntry::kMaxDisks) + " disks in one entry";
  if (message == kSplitWithoutDestination) return "an entry over several disks without a destination ('>NAME')";
  return message ? Readable(message) : "unknown error";
}

class Checker {
 public:
  explicit Checker(const std::vector<std::string>& paths) : folders_(DiskFolders(paths)) {}

  CheckReport Run() {
    FindScript();
    ReadScript();
    CheckKeys();
    CheckLabels();
    FindClashes();
    CheckEntries();
    CheckPrograms();
    ReportClashes();
    for (auto* list : {&report_.problems, &report_.notes})
      std::stable_sort(list->begin(), list->end(), [](const Problem& a, const Problem& b) { return a.line < b.line; });
    return report_;
  }

 private:
  void Add(int line, const std::string& text) { report_.problems.push_back(Problem{line, text}); }

  void FindScript() {
    std::string list;
    for (const Folder& f : folders_) {
      if (!Present(f, kScriptName)) continue;
      if (script_) {
        list += ", " + f.host;
      } else {
        script_ = &f;
        list = f.host;
      }
    }
    if (!script_) throw Failure("no disk folder holds Orbane.fix");
    if (list != script_->host) throw Failure("more than one folder holds Orbane.fix: " + list);
    report_.script = script_->host + "/" + kScriptName;
  }

  // The updater's own load, then the same lines one at a time, each with the
  // line of the file that it came from.
  void ReadScript() {
    CopyText(SourceDirectory, sizeof SourceDirectory, script_->windows.c_str());
    const char* stop = nullptr;
    {
      UpdateScript whole;
      try {
        whole.Load(kScriptName);
      } catch (const Exception& e) {
        stop = e.message;
      }
    }

    char path[MAX_PATH];
    JoinPath(path, SourceDirectory, kScriptName);
    bool firstError = true;
    try {
      File file(path, File::kRead);
      char line[MAX_PATH];
      int number = 0;
      bool atStart = true, toldLong = false;
      while (int n = file.GetLine(line, sizeof line)) {
        bool continued = !atStart;
        if (atStart) ++number, toldLong = false;
        atStart = line[n - 1] == '\n';
        StripLineEnd(line);
        if (continued && line[0] && !toldLong) {
          Add(number, "longer than " + std::to_string(kMaxLine) +
                          " bytes: the updater reads the rest as a line of its own");
          toldLong = true;
        }
        if (line[0] == 0 || line[0] == ';') continue;
        int before = script_entries_.entryCount;
        try {
          script_entries_.ParseLine(line);
        } catch (const Exception& e) {
          std::string text = Explain(e.message, line);
          if (firstError && stop) text += " (the updater stops here: " + Readable(stop) + ")";
          firstError = false;
          Add(number, text);
          continue;
        }
        if (script_entries_.entryCount > before) {
          entryLines_.push_back(number);
        } else {
          FieldSplitter fields;
          fields.Split(line, "=");
          if (fields.KeyIs("REGISTRY")) registryLine_ = number;
        }
      }
    } catch (const File::Except& e) {
      throw Failure(report_.script + ": " + Readable(e.message));
    }
    if (stop && firstError) Add(0, "the updater stops with: " + Readable(stop));
    report_.entries = script_entries_.entryCount;
  }

  void CheckKeys() {
    const char* registry = script_entries_.registryName;
    std::string why = RegistryProblem(registry);
    if (!why.empty()) Add(registry ? registryLine_ : 0, why);
  }

  // The label files in the root of each disk folder: the updater looks for
  // "disk%d.fix" of a disk's number and for no other form, and a folder
  // is one disk.
  void CheckLabels() {
    for (const Folder& f : folders_) {
      std::vector<std::string> labels;
      for (const std::string& name : FolderNames(f.host)) {
        if (!LooksLikeLabel(name)) continue;
        if (IsLabelName(name)) {
          labels.push_back(name);
          continue;
        }
        Add(0, f.host + "/" + name + " is no disk label: the updater looks for " + LabelMeant(name) +
                   ", in that form, and never finds it");
      }
      if (labels.size() > 1) {
        std::string list;
        for (const std::string& l : labels) list += (list.empty() ? "" : ", ") + l;
        Add(0, f.host + " holds more than one disk label (" + list +
                   "): a disk folder is one disk, with the one label of its number");
      }
    }
  }

  // Names that differ only in letter case, on each disk. Those that a name
  // of the script reaches are told at its line, the others at the end.
  void FindClashes() {
    for (const Folder& f : folders_)
      for (const Clash& c : FindCaseClashes(f.host)) {
        // Two forms of one label are told with the labels.
        if (std::all_of(c.begin(), c.end(), [](const std::string& n) { return LooksLikeLabel(n); })) continue;
        clashes_.push_back({&f, c, false});
      }
  }

  // Whether the script's name (on the disk in folder) reaches a clash: the
  // name's first components are, ignoring case, one of the clash's names.
  void LookForClash(const char* name, const Folder& folder, int line) {
    std::string path;  // UTF-8 with '/', as the clash's names
    if (!wintext::Cp932ToUtf8(name, &path)) return;
    std::replace(path.begin(), path.end(), '\\', '/');
    for (SeenClash& c : clashes_) {
      if (c.folder != &folder) continue;
      const std::string& one = c.names[0];
      // The end of as many components of path as the clash's names have.
      size_t end = std::string::npos, from = 0;
      for (auto k = std::count(one.begin(), one.end(), '/') + 1; k > 0 && from <= path.size(); --k, from = end + 1)
        if ((end = path.find('/', from)) == std::string::npos) break;
      std::string head = path.substr(0, end), a, b;
      if (!wintext::Utf8ToCp932(head, &a) || !wintext::Utf8ToCp932(one, &b)) continue;
      if (wintext::CompareNoCase(a.c_str(), b.c_str()) != 0) continue;
      Add(line, Readable(name) + " reaches more than one file on " + folder.host + ": " + ClashText(c.names) +
                    " differ only in letter case, and which one the updater reads depends on the host");
      c.told = true;
    }
  }

  void ReportClashes() {
    for (const SeenClash& c : clashes_)
      if (!c.told)
        Add(0, "on " + c.folder->host + ", " + ClashText(c.names) +
                   " differ only in letter case: Windows holds one of them, and which one the updater reads "
                   "depends on the host");
  }

  // The folder of disk n, or null, with a problem at line when none or more
  // than one holds its label.
  const Folder* DiskFolder(int n, int line) {
    std::vector<const Folder*> found;
    for (const Folder& f : folders_)
      if (Present(f, LabelName(n).c_str())) found.push_back(&f);
    if (found.size() == 1) return found[0];
    if (found.empty()) {
      Add(line, "disk " + std::to_string(n) + ": no folder holds its label " + LabelName(n));
    } else if (toldTwice_.insert(n).second) {
      std::string list;
      for (const Folder* f : found) list += (list.empty() ? "" : ", ") + f->host;
      Add(0, "disk " + std::to_string(n) + " is labelled in more than one folder: " + list);
    }
    return nullptr;
  }

  void LookFor(const char* path, const Folder& folder, int disk, int line) {
    DWORD attributes = GetFileAttributesA(path);
    const char* rel = path + folder.windows.size() + (folder.windows.back() == '\\' ? 0 : 1);
    std::string name = Readable(rel);
    LookForClash(rel, folder, line);
    if (attributes == INVALID_FILE_ATTRIBUTES)
      Add(line, name + " is missing from disk " + std::to_string(disk) + " (" + folder.host + ")");
    else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
      Add(line, name + " on disk " + std::to_string(disk) + " is a folder, not a file");
  }

  void CheckEntries() {
    std::set<int> disks;
    for (int i = 0; i < script_entries_.entryCount; ++i) {
      const UpdateEntry& e = *script_entries_.entries[i];
      int line = entryLines_[i];
      for (int k = 0; k < e.diskCount; ++k) disks.insert(e.disks[k]);
      char medium[MAX_PATH], other[MAX_PATH];
      NoteFolder(e.diskCount < 2 && !e.destName[0] ? e.sourceName : e.destName, line);
      if (e.diskCount < 2) {
        if (const Folder* f = DiskFolder(e.disks[0], line)) {
          e.MakePaths(medium, other, f->windows.c_str(), "C:\\");
          LookFor(medium, *f, e.disks[0], line);
        }
        continue;
      }
      if (!e.destName[0]) Add(line, "a split entry with an empty destination: the updater cannot join it");
      if (HasFolder(e.sourceName))
        Add(line, "a split entry whose source name has a folder: the updater copies the pieces into that folder "
                  "under its temporary directory, which it does not make; the pieces belong in the root of "
                  "their disks (the destination may keep the folder)");
      for (int piece = 1; piece <= e.diskCount; ++piece) {
        int disk = e.disks[piece - 1];
        if (const Folder* f = DiskFolder(disk, line)) {
          e.MakePiecePaths(piece, medium, other, f->windows.c_str(), "C:\\");
          LookFor(medium, *f, disk, line);
        }
      }
    }
    report_.disks = int(disks.size());
  }

  // The folder of the installation that an entry writes into, told once.
  void NoteFolder(const char* destination, int line) {
    char folder[MAX_PATH], name[MAX_PATH];
    if (!SplitPath(folder, name, destination) || !folder[0] || !noted_.insert(folder).second) return;
    report_.notes.push_back(Problem{line, "the installation must already have the folder " + Quoted(folder) +
                                              ": the updater writes into it and creates no folder"});
  }

  void CheckPrograms() {
    if (!Present(*script_, "Tavrix.bin")) Add(0, "Tavrix.bin is missing beside Orbane.fix");
    if (!Present(*script_, "Orbane") && !Present(*script_, "Orbane.exe"))
      Add(0, "the launcher (Orbane or Orbane.exe) is missing beside Orbane.fix");
  }

  std::vector<Folder> folders_;
  const Folder* script_ = nullptr;
  UpdateScript script_entries_;
  std::vector<int> entryLines_;
  int registryLine_ = 0;
  std::set<int> toldTwice_;
  struct SeenClash {
    const Folder* folder;
    Clash names;
    bool told;
  };
  std::vector<SeenClash> clashes_;
  std::set<std::string, NoCaseLess> noted_;
  CheckReport report_;
};

}  // namespace

CheckReport CheckMedium(const std::vector<std::string>& paths) { return Checker(paths).Run(); }

std::vector<std::string> FindDiskFolders(const std::vector<std::string>& paths) {
  std::vector<std::string> found;
  std::set<std::string> seen;
  auto take = [&](const std::string& p) {
    std::string real = RealPath(p);
    if (seen.insert(real).second) found.push_back(real);
  };
  for (const std::string& p : paths) {
    if (!IsFolder(p)) throw Failure(p + " is not a folder");
    if (HoldsMediumFile(p)) {
      take(p);
      continue;
    }
    for (const std::string& sub : Subfolders(p))
      if (HoldsMediumFile(sub)) take(sub);
  }
  if (found.empty()) {
    std::string list;
    for (const std::string& p : paths) list += (list.empty() ? "" : ", ") + p;
    throw Failure("no disk folder (one holding Orbane.fix or a diskN.fix) in " + list);
  }
  return found;
}

}  // namespace mkmedium
