// The updater's reading of its command line on arbitrary bytes: the text after
// the program name is found as Windows finds it, inside the line, and the
// source directory is exactly that text up to its last separator.
#include <cstring>
#include <vector>

#include "foundation/process_values.h"
#include "platform/posix/process/program_start.h"
#include "updater/updater.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The line as the process gets it: up to its first zero byte, in a buffer of
  // exactly its size, so that a read past its end is caught.
  size_t length = strnlen(reinterpret_cast<const char*>(data), size);
  std::vector<char> line(data, data + length);
  line.push_back(0);
  const char* tail = posix::SkipProgramName(line.data());
  if (tail < line.data() || tail > line.data() + length) __builtin_trap();
  // What is skipped is the program name and the blanks after it: the tail
  // never starts with a byte from 0x01 to 0x20.
  if (*tail > 0 && static_cast<unsigned char>(*tail) <= 0x20) __builtin_trap();

  std::memset(SourceDirectory, 0x55, sizeof SourceDirectory);
  if (*tail == 0) return 0;  // the updater's own path would be taken instead
  if (!TakeSourcePath(nullptr, tail)) __builtin_trap();
  size_t dirLength = strnlen(SourceDirectory, sizeof SourceDirectory);
  if (dirLength == sizeof SourceDirectory) __builtin_trap();
  // The separator is the last backslash that is a character of its own (not
  // the trail byte of ソ or 表); when nothing was cut, the directory is
  // exactly what comes before it.
  const char* last = nullptr;
  for (const char* p = tail; *p; ++p) {
    if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1])
      ++p;
    else if (*p == '\\')
      last = p;
  }
  size_t before = last ? static_cast<size_t>(last - tail) : 0;
  if (dirLength > before) __builtin_trap();
  if (before < MAX_PATH && (dirLength != before || std::memcmp(SourceDirectory, tail, before) != 0)) __builtin_trap();
  return 0;
}
