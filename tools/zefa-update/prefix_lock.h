// One run per prefix. zefa-update takes the lock of the prefix's file
// "zefa-update.lock" before it reads anything of the prefix and holds it
// until it ends; the programs it starts inherit it and hold it with it, so
// that the lock goes only when the last of them has ended. A second run
// refuses at once and changes nothing.
#pragma once

#include <ostream>
#include <string>

namespace zefa {

extern const char kLockFile[];  // "zefa-update.lock", inside the prefix

class PrefixLock {
 public:
  // Takes the lock. Raises mkmedium::Failure ("another update of this prefix
  // is running (pid N)") when a run holds it. When the zefa-update that took
  // it has ended already, what holds it is a program of that run, which ends
  // with it: waits for that a few seconds, saying so on note.
  PrefixLock(const std::string& prefix, std::ostream& note);
  ~PrefixLock();
  PrefixLock(const PrefixLock&) = delete;
  PrefixLock& operator=(const PrefixLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace zefa
