#include "update_entry.h"

#include <cstdint>

#include "foundation/exception.h"
#include "foundation/field_splitter.h"
#include "foundation/paths.h"
#include "foundation/text_format.h"

UpdateEntry::UpdateEntry(const char* entryText, const char* destination) : diskCount(0) {
  sourceName[0] = destName[0] = 0;
  FieldSplitter fields;
  if (fields.Split(entryText, ":") != 2) throw Exception("ディスク番号が不正");
  ParseDisks(fields.Field(0));
  CopyText(sourceName, sizeof sourceName, fields.Field(1));
  if (destination)
    CopyText(destName, sizeof destName, destination);
  else if (diskCount > 1)
    throw Exception("ファイル分割の指定が不正");
  // Nothing may be read or written outside the medium, the temporary
  // directory and the installation directory.
  if (HasParentComponent(sourceName) || HasParentComponent(destName)) throw Exception("情報ファイルがおかしい");
}

void UpdateEntry::ParseDisks(const char* text) {
  diskCount = 0;
  const char* p = text;
  for (;;) {
    uint32_t value = 0;  // modulo 2^32, as the number is stored in 32 bits
    while (*p >= '0' && *p <= '9') value = value * 10 + static_cast<uint32_t>(*p++ - '0');
    disks[diskCount++] = static_cast<int32_t>(value);
    if (diskCount == kMaxDisks + 1) throw Exception("ディスク分割が多すぎる");
    if (*p != '+') return;
    ++p;
  }
}
