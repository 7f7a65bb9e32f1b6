// The update script "Orbane.fix": the product's names, the mode, and the
// entries in script order.
#pragma once

#include "update_entry.h"

class UpdateScript {
 public:
  static constexpr int kMaxEntries = 512;

  UpdateScript();
  ~UpdateScript();
  UpdateScript(const UpdateScript&) = delete;
  UpdateScript& operator=(const UpdateScript&) = delete;

  // Reads fileName from the source directory. Raises File::ExceptOpen when it
  // cannot be opened, File::ExceptRead when reading fails, and Exception with
  // the script error's message at the first wrong line; what was read before
  // that line stays in the record.
  void Load(const char* fileName);

  // Takes one line, its line end removed, that is neither empty nor a
  // comment, as Load takes it: a key line sets its field, an entry line adds
  // an entry. Raises Exception with the script error's message. Load calls it
  // for each line; a tool that checks a script calls it line by line to go on
  // past an error.
  void ParseLine(const char* line);

  char* appName;       // APPNAME, or null
  char* registryName;  // REGISTRY, or null
  char* kitValueName;  // GARMOREGISTRY, or null
  int mode;            // 0 for MODE=NORMAL or no MODE, else 1
  UpdateEntry* entries[kMaxEntries];
  int entryCount;

};

// Walks the entries of a script, first to last.
class UpdateScriptIterator {
 public:
  explicit UpdateScriptIterator(const UpdateScript& walked) : script(walked), next(0) {}

  // The next entry, or null once all have been returned.
  UpdateEntry* Next() { return next < script.entryCount ? script.entries[next++] : nullptr; }

 private:
  const UpdateScript& script;
  int next;
};
