#include "leftovers.h"

#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <sstream>

#include "durable.h"
#include "host_files.h"
#include "media.h"

namespace zefa {

const char kRunRecordFile[] = "zefa-update.run";

namespace {

// The temporary link of a disk change in progress, beside the drive's link.
std::string ChangeLink(const std::string& link, const std::string& pid) { return link + ".zefa-update-" + pid; }

std::string LinkTarget(const std::string& link) {
  char buf[PATH_MAX];
  ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}

}  // namespace

RunRecord::RunRecord(const std::string& prefix) : path_(prefix + "/" + kRunRecordFile) {
  notes_.emplace_back("pid", std::to_string(getpid()));
}

RunRecord::~RunRecord() { unlink(path_.c_str()); }

void RunRecord::Write() {
  std::string text;
  for (const auto& [kind, path] : notes_) text += kind + "\t" + path + "\n";
  WriteDurably(path_, text);
}

void RunRecord::Note(const std::string& kind, const std::string& path) {
  notes_.emplace_back(kind, path);
  Write();
}

void RunRecord::Forget(const std::string& kind, const std::string& path) {
  for (auto n = notes_.begin(); n != notes_.end(); ++n)
    if (n->first == kind && n->second == path) {
      notes_.erase(n);
      Write();
      return;
    }
}

std::string RunRecord::MakeFolder(const std::string& parent) {
  const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[6];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
      throw mkmedium::SystemFailure("cannot create a folder in", parent, errno);
    std::string path = parent + "/zefa-update.";
    for (unsigned char r : random) path += letters[r % (sizeof letters - 1)];
    Note("folder", path);
    if (mkdir(path.c_str(), 0700) == 0) return path;
    int err = errno;
    Forget("folder", path);
    if (err != EEXIST) throw mkmedium::SystemFailure("cannot create a folder in", parent, err);
  }
  throw mkmedium::Failure("cannot create a folder in " + parent + ": every name tried is taken");
}

void RunRecord::NoteTargets(const std::vector<std::string>& folders) {
  for (const std::string& f : folders) notes_.emplace_back("target", f);
  Write();
}

void RunRecord::NoteDrive(const std::string& link) { Note("drive", link); }
void RunRecord::ForgetDrive(const std::string& link) { Forget("drive", link); }

void RemoveLeftovers(const std::string& prefix, std::ostream& out) {
  std::string record = prefix + "/" + kRunRecordFile, text;
  unlink((record + ".tmp").c_str());  // a record that was being written
  if (!ReadSmallFile(record, &text)) return;
  std::string pid;
  std::vector<std::string> folders, targets, drives;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string kind = line.substr(0, tab), path = line.substr(tab + 1);
    if (kind == "pid") pid = path;
    if (kind == "folder" && path.find("/zefa-update.") != std::string::npos) folders.push_back(path);
    if (kind == "target") targets.push_back(path);
    if (kind == "drive" && path.rfind(prefix + "/dosdevices/", 0) == 0) drives.push_back(path);
  }
  auto ours = [&](const std::string& target) {
    for (const std::string& t : targets)
      if (target == t) return true;
    for (const std::string& f : folders)
      if (mkmedium::Within(target, f)) return true;
    return false;
  };
  for (const std::string& link : drives) {
    std::string change = ChangeLink(link, pid);
    std::string target = LinkTarget(change);
    if (!target.empty() && ours(target)) unlink(change.c_str());
    target = LinkTarget(link);
    if (!target.empty() && ours(target) && unlink(link.c_str()) == 0) {
      char letter = static_cast<char>(link[link.size() - 2] - 0x20);
      out << "zefa-update: removed the drive " << letter << ": that a stopped run left in the prefix\n";
    }
  }
  for (const std::string& folder : folders) {
    if (!mkmedium::Exists(folder)) continue;
    RemoveWorkTree(folder);
    out << "zefa-update: removed " << folder << ", which a stopped run left\n";
  }
  unlink(record.c_str());
}

}  // namespace zefa
