// The copies that let an update be undone: before the updater runs, every
// installed file that the script names is kept in the prefix's folder
// "zefa-undo" (a clone of its blocks where the file system shares them, else
// a copy), with its times and attributes; a file the update would add is
// noted as absent. --undo puts them back.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zefa {

extern const char kUndoFolder[];  // "zefa-undo", inside the prefix

// Keeps the files (host paths, some of them perhaps missing) below the
// installation folder install, as the next undo of prefix, once Commit says
// so. The copies of the last update stay until then. Raises mkmedium::Failure
// when a copy cannot be made (nothing of the installation is changed then).
// Returns the room the copies take, in bytes (less where clones share blocks).
unsigned long long KeepFiles(const std::string& prefix, const std::string& install,
                             const std::vector<std::string>& files);

// The update ran (perhaps only in part): the files kept by KeepFiles become
// what --undo restores.
void CommitKept(const std::string& prefix);
// The update changed nothing: the files kept are dropped and the last
// update's copies stay what --undo restores.
void DropKept(const std::string& prefix);
// Files kept by a run that was stopped before it could say whether the
// update ran are taken as if it ran: the safe side.
void RecoverKept(const std::string& prefix);

// Puts the installation back as it was before the last update: each kept
// file's bytes, times and attributes, and removes the files that the update
// added. Says on out what it did. Returns false (with the reason on out) when
// there is nothing to undo or a file could not be put back; the copies stay
// then.
bool Undo(const std::string& prefix, std::ostream& out);

}  // namespace zefa
