// The SZDD expander on arbitrary bytes: it may refuse them, never crash, hang
// or pass its limit, and what it produces is what the plain ring produces.
#include <algorithm>
#include <cstring>

#include "codec/expander.h"
#include "codec/memory_stream.h"
#include "tests/codec/reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static szdd::Expander expander;
  // The first two bytes choose a limit, the rest is the file.
  if (size < 2) return 0;
  uint64_t limit = (uint64_t(data[0]) << 8 | data[1]) * 16;
  szdd::MemoryInput in(data + 2, size - 2);
  szdd::MemoryOutput out;
  szdd::Header header;
  uint64_t produced = 0;
  szdd::Status status = expander.ExpandFile(in, out, limit, &header, &produced);
  if (produced > limit || out.bytes().size() != produced) __builtin_trap();
  if (status == szdd::Status::kNotSzdd || status == szdd::Status::kUnknownMode) {
    if (!out.bytes().empty()) __builtin_trap();
    return 0;
  }
  bool truncated = false;
  szdd_test::Bytes stream(data + 2 + szdd::kHeaderSize, data + size);
  szdd_test::Bytes expected = szdd_test::ReferenceExpand(stream, &truncated);
  if (expected.size() > limit) {
    if (status != szdd::Status::kOutputLimit) __builtin_trap();
    expected.resize(limit);
  } else if (status != (truncated ? szdd::Status::kTruncated : szdd::Status::kOk)) {
    __builtin_trap();
  }
  if (out.bytes() != expected) __builtin_trap();
  return 0;
}
