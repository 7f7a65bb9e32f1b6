// Cuts a script line into at most two trimmed fields at delimiter bytes, in
// the manner of strtok: runs of delimiters separate like one, and delimiters
// at either end make no field.
#pragma once

#include "platform/win32.h"

class FieldSplitter {
 public:
  FieldSplitter();
  FieldSplitter(const FieldSplitter&) = delete;
  FieldSplitter& operator=(const FieldSplitter&) = delete;

  // Splits line (at most 259 bytes) at any byte of delimiters. Returns the
  // number of fields counted, 0 to 3; 3 means three or more. Only the first
  // two are kept; a field of blanks counts although it trims to empty.
  int Split(const char* line, const char* delimiters);

  // Field 0 or 1 of the last split; empty when that split did not fill it.
  const char* Field(int index) const { return index == 0 ? field0_ : field1_; }

  // Whether field 0 equals key, case ignored.
  bool KeyIs(const char* key) const { return lstrcmpiA(field0_, key) == 0; }

 private:
  char line_[MAX_PATH];
  char field0_[MAX_PATH];
  char field1_[MAX_PATH];
};
