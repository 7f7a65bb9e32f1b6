#include "field_splitter.h"

#include <cstring>

#include "text.h"
#include "text_format.h"

FieldSplitter::FieldSplitter() { line_[0] = field0_[0] = field1_[0] = 0; }

int FieldSplitter::Split(const char* line, const char* delimiters) {
  CopyText(line_, sizeof line_, line);
  field0_[0] = field1_[0] = 0;
  int count = 0;
  char* p = line_;
  while (count < 3) {
    p += std::strspn(p, delimiters);
    if (!*p) break;
    char* field = p;
    p += std::strcspn(p, delimiters);
    if (*p) *p++ = 0;
    TrimBlanks(field);
    ++count;
    if (count == 1) std::strcpy(field0_, field);
    if (count == 2) std::strcpy(field1_, field);
  }
  return count;
}
