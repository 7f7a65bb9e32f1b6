// The SZDD expander: turns an LZSS stream back into the original bytes.
//
// It works on a linear output buffer that keeps the last 4096 bytes in front
// of the write pointer, so a ring position becomes a distance back from the
// pointer and a match is a short copy within one buffer; the output leaves
// in chunks of about 1 MiB. Its memory does not depend on the data's size.
//
// Like the Windows library it expands until the input runs out; the length in
// a header is not consulted. It never produces more than the limit it is
// given, and an input that ends inside a match is reported, not padded.
#pragma once

#include <cstdint>
#include <memory>

#include "status.h"
#include "stream.h"
#include "szdd_format.h"

namespace szdd {

class Expander {
 public:
  static constexpr size_t kChunk = size_t(1) << 20;
  static constexpr size_t kInputBuffer = size_t(256) << 10;

  // Allocates the buffers; raises std::bad_alloc.
  Expander();
  Expander(const Expander&) = delete;
  Expander& operator=(const Expander&) = delete;

  // Expands the stream that in delivers (what follows the header) into out.
  // At most limit bytes are produced: where the stream stands for more, the
  // output is filled up to the limit and kOutputLimit returned. The first skip
  // bytes produced are counted but not written. produced (may be null)
  // receives the count of bytes produced, skipped ones included. On any error
  // the bytes produced before it have been written.
  Status Expand(Input& in, Output& out, uint64_t limit, uint64_t skip = 0, uint64_t* produced = nullptr);

  // Reads the header first: kNotSzdd or kUnknownMode when it is none or of an
  // unknown mode (header is filled for the latter), else as Expand.
  Status ExpandFile(Input& in, Output& out, uint64_t limit, Header* header, uint64_t* produced = nullptr);

 private:
  struct State;

  std::unique_ptr<uint8_t[]> window_;  // kWindowSize of history, a chunk, slack
  std::unique_ptr<uint8_t[]> input_;
};

// Reads exactly size bytes unless the input ends first; returns the count, or
// a negative value on a read error.
ptrdiff_t ReadFully(Input& in, void* buffer, size_t size);

}  // namespace szdd
