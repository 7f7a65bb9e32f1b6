// The update script loader on arbitrary bytes: it may refuse them, never crash,
// and what it accepts keeps the record's limits.
#include <cstring>

#include "foundation/exception.h"
#include "foundation/paths.h"
#include "foundation/process_values.h"
#include "fuzz_prefix.h"
#include "script/update_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteFuzzFile("Orbane.fix", data, size);
  std::strcpy(SourceDirectory, "C:\\");
  UpdateScript script;
  try {
    script.Load("Orbane.fix");
  } catch (Exception&) {
  }
  if (script.entryCount < 0 || script.entryCount > UpdateScript::kMaxEntries) __builtin_trap();
  for (int i = 0; i < script.entryCount; ++i) {
    const UpdateEntry& e = *script.entries[i];
    if (e.diskCount < 1 || e.diskCount > UpdateEntry::kMaxDisks) __builtin_trap();
    if (std::strlen(e.sourceName) >= MAX_PATH || std::strlen(e.destName) >= MAX_PATH) __builtin_trap();
    if (HasParentComponent(e.sourceName) || HasParentComponent(e.destName)) __builtin_trap();
  }
  return 0;
}
