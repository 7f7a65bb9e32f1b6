// The undo state of a prefix: what --undo puts back. Before the updater
// runs, the installed files that the update's script names are kept in the
// prefix's folder "zefa-undo" (a clone of their blocks where the file system
// shares them, else a copy) with their times and attributes; a file that the
// update would add is noted as absent.
//
// --undo undoes the last update: the runs from the first one that changed the
// installation after the previous update completed, to the one that
// completed (or the last one so far). A run that changes nothing does not
// count; a run that repeats an update that did not complete keeps the copies
// made before it and adds copies only of files not kept yet.
//
// The state is one list, kept.list, always replaced whole (written beside,
// synced, renamed over); the copies it names are written and synced before
// it. A run's fresh copies wait in pending.list until the run is seen to have
// changed the installation. An undo first marks the list as begun, so that a
// stopped undo is finished before anything else. A kill at any moment leaves
// the old state or the new one.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zefa {

extern const char kUndoFolder[];  // "zefa-undo", inside the prefix

// What a run left of the undo state, settled before anything else of the
// next run: fresh copies of a run that was killed become the undo state when
// the installation changed since they were made (that run had begun), else
// they are dropped; copies that no list names and an earlier version's
// unfinished "zefa-undo.new" are removed. Raises mkmedium::Failure when the
// folder cannot be read or written.
void RecoverUndoState(const std::string& prefix);

// Whether an undo was stopped before its end: it is finished before any
// update (Undo does that).
bool UndoStopped(const std::string& prefix);

struct Keeping {
  bool repeat = false;          // the run repeats an update that did not complete
  int files = 0;                // files kept by this run
  unsigned long long room = 0;  // the bytes they take (less where clones share blocks)
};

// Keeps the named files (host paths below the installation folder install,
// some perhaps missing) before the updater runs. Raises mkmedium::Failure,
// with nothing changed, when a copy cannot be made, when a file is a
// symbolic link that leads to no file, or when the last update, of another
// installation, did not complete.
Keeping KeepForUpdate(const std::string& prefix, const std::string& install, const std::vector<std::string>& files);

// The run is over (or the updater did not start): its fresh copies become
// what --undo restores when the installation changed since they were made,
// else they are dropped and the last update's copies stay; completed marks
// the update complete, so that the next run that changes files begins a new
// one. Returns whether the last update is now one that did not complete.
// Raises mkmedium::Failure when the state cannot be written.
bool SettleUpdate(const std::string& prefix, bool completed);

// Puts the installation back as it was before the last update: each kept
// file's bytes, times and attributes (for a symbolic link, those of the file
// it leads to; the link stays), and removes the files that the update added;
// finishes a stopped undo. Says on out what it did. Returns false (with the
// reason on out) when there is nothing to undo or a file could not be put
// back; the copies stay then.
bool Undo(const std::string& prefix, std::ostream& out);

}  // namespace zefa
