#include "update_script.h"

#include "foundation/exception.h"
#include "foundation/field_splitter.h"
#include "foundation/file.h"
#include "foundation/paths.h"
#include "foundation/process_values.h"
#include "foundation/text.h"
#include "script_errors.h"

namespace {

void Replace(char** field, const char* value) {
  char* copy = DupString(value);
  delete[] *field;
  *field = copy;
}

}  // namespace

UpdateScript::UpdateScript()
    : appName(nullptr), registryName(nullptr), kitValueName(nullptr), mode(0), entries(), entryCount(0) {}

UpdateScript::~UpdateScript() {
  delete[] appName;
  delete[] registryName;
  delete[] kitValueName;
  for (int i = 0; i < entryCount; ++i) delete entries[i];
}

void UpdateScript::Load(const char* fileName) {
  char path[MAX_PATH];
  // A cut path would name another file.
  if (!JoinPath(path, SourceDirectory, fileName)) throw File::ExceptOpen(path);
  File file(path, File::kRead);
  char line[MAX_PATH];
  while (file.GetLine(line, sizeof line) > 0) {
    StripLineEnd(line);
    if (line[0] == 0 || line[0] == ';') continue;
    ParseLine(line);
  }
}

void UpdateScript::ParseLine(const char* line) {
  FieldSplitter fields;
  if (fields.Split(line, "=") >= 2) {
    if (fields.KeyIs("APPNAME"))
      Replace(&appName, fields.Field(1));
    else if (fields.KeyIs("REGISTRY"))
      Replace(&registryName, fields.Field(1));
    else if (fields.KeyIs("GARMOREGISTRY"))
      Replace(&kitValueName, fields.Field(1));
    else if (fields.KeyIs("MODE"))
      mode = lstrcmpiA(fields.Field(1), "NORMAL") == 0 ? 0 : 1;
    else
      throw Exception(script_error::kUnknownKey);
    return;
  }
  if (entryCount == kMaxEntries) throw Exception(script_error::kTooManyFiles);
  bool hasDestination = fields.Split(line, ">") >= 2;
  entries[entryCount] = new UpdateEntry(fields.Field(0), hasDestination ? fields.Field(1) : nullptr);
  ++entryCount;
}
