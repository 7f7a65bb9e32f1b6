#include "update_entry.h"

#include <cstdint>
#include <cstring>

#include "foundation/exception.h"
#include "foundation/field_splitter.h"
#include "foundation/paths.h"
#include "foundation/text_format.h"
#include "script_errors.h"

UpdateEntry::UpdateEntry(const char* entryText, const char* destination) : diskCount(0) {
  sourceName[0] = destName[0] = 0;
  FieldSplitter fields;
  if (fields.Split(entryText, ":") != 2) throw Exception(script_error::kBadDiskNumber);
  ParseDisks(fields.Field(0));
  CopyText(sourceName, sizeof sourceName, fields.Field(1));
  if (destination)
    CopyText(destName, sizeof destName, destination);
  else if (diskCount > 1)
    throw Exception(script_error::kSplitWithoutDestination);
  // Nothing may be read or written outside the medium, the temporary
  // directory and the installation directory.
  if (HasParentComponent(sourceName) || HasParentComponent(destName)) throw Exception(script_error::kParentName);
}

void UpdateEntry::ParseDisks(const char* text) {
  diskCount = 0;
  const char* p = text;
  for (;;) {
    uint32_t value = 0;  // modulo 2^32, as the number is stored in 32 bits
    while (*p >= '0' && *p <= '9') value = value * 10 + static_cast<uint32_t>(*p++ - '0');
    disks[diskCount++] = static_cast<int32_t>(value);
    if (diskCount == kMaxDisks + 1) throw Exception(script_error::kTooManySplits);
    if (*p != '+') return;
    ++p;
  }
}

// Piece i of "name" is "name<i>" on the medium and in the temporary directory;
// of a compressed "nam_" it is "nam<i>_" on the medium, expanded to "nam<i>".
namespace {

// False when the name does not fit in 259 bytes.
bool PieceName(char* out, const char* source, int piece, bool onMedium) {
  // Room for any source name and number: what is cut is seen in the copy.
  char full[MAX_PATH + 16];
  size_t n = std::strlen(source);
  if (n > 0 && source[n - 1] == '_') {
    char stem[MAX_PATH];
    CopyText(stem, sizeof stem, source, n - 1);
    FormatText(full, sizeof full, onMedium ? "%s%d_" : "%s%d", stem, piece);
  } else {
    FormatText(full, sizeof full, "%s%d", source, piece);
  }
  return full[CopyText(out, MAX_PATH, full)] == 0;
}

}  // namespace

bool UpdateEntry::MakePaths(char* source, char* destination, const char* sourceDir, const char* installDir) const {
  bool sourceFits = JoinPath(source, sourceDir, sourceName);
  return JoinPath(destination, installDir, destName[0] ? destName : sourceName) && sourceFits;
}

bool UpdateEntry::MakePiecePaths(int piece, char* medium, char* temporary, const char* sourceDir,
                                 const char* tempDir) const {
  char name[MAX_PATH];
  bool nameFits = PieceName(name, sourceName, piece, true);
  bool mediumFits = JoinPath(medium, sourceDir, name) && nameFits;
  return MakeTempPiecePath(piece, temporary, tempDir) && mediumFits;
}

bool UpdateEntry::MakeTempPiecePath(int piece, char* path, const char* directory) const {
  char name[MAX_PATH];
  bool nameFits = PieceName(name, sourceName, piece, false);
  return JoinPath(path, directory, name) && nameFits;
}

bool UpdateEntry::MakeDestinationPath(char* path, const char* installDir) const {
  return JoinPath(path, installDir, destName);
}
