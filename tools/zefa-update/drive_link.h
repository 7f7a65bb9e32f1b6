// The drive through which the updater reads the medium: a link of the tool's
// own in the prefix's dosdevices folder, at the first letter that the prefix
// does not use. An existing link is never changed; the tool's own is removed
// when it goes.
#pragma once

#include <string>

#include "leftovers.h"

namespace zefa {

class DriveLink {
 public:
  // Adds the link to target, noted in record first when one is given.
  // Raises mkmedium::Failure when the prefix has no free letter or no
  // dosdevices folder.
  DriveLink(const std::string& prefix, const std::string& target, RunRecord* record = nullptr);
  ~DriveLink() { Remove(); }
  DriveLink(const DriveLink&) = delete;
  DriveLink& operator=(const DriveLink&) = delete;

  char letter() const { return letter_; }  // upper case
  const std::string& target() const { return target_; }
  // Points the drive at another folder: a disk change. False when it failed.
  bool Point(const std::string& target);
  // Removes the link, if it is still the tool's own.
  void Remove();

 private:
  std::string path_;
  std::string target_;
  char letter_ = 0;
};

}  // namespace zefa
