// What a run makes outside the installation and the undo state: its folders
// in the temporary directory (the extracted images, the disk changer's
// socket) and the drive it adds to the prefix. Each is noted in the prefix's
// file "zefa-update.run" before it is made, and the file goes when the run
// ends, so that the next run knows what a killed one left, and removes it
// before anything else.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace zefa {

extern const char kRunRecordFile[];  // "zefa-update.run", inside the prefix

class RunRecord {
 public:
  explicit RunRecord(const std::string& prefix);
  // The run has removed what it made (or tried to): the record goes.
  ~RunRecord();
  RunRecord(const RunRecord&) = delete;
  RunRecord& operator=(const RunRecord&) = delete;

  // Makes a folder of the run's own in parent (a fresh name, "zefa-update."
  // and six letters, mode 0700), noted before it is made. Raises
  // mkmedium::Failure.
  std::string MakeFolder(const std::string& parent);
  // The folders that the run's drive may point at, noted before the drive is
  // made: a link to one of them is the run's own.
  void NoteTargets(const std::vector<std::string>& folders);
  // The drive's link in the prefix's dosdevices folder, noted before it is
  // made, forgotten when the letter turned out to be taken.
  void NoteDrive(const std::string& link);
  void ForgetDrive(const std::string& link);

 private:
  void Note(const std::string& kind, const std::string& path);
  void Forget(const std::string& kind, const std::string& path);
  void Write();
  std::string path_;
  std::vector<std::pair<std::string, std::string>> notes_;
};

// Removes what a run that did not end left, as its record says: its drive,
// if it is still a link to one of its folders, and its folders; then the
// record. Says on out what it removed.
void RemoveLeftovers(const std::string& prefix, std::ostream& out);

}  // namespace zefa
