// The SZDD compressor: LZSS with hash chains and one step of lazy matching
// over a 4096-byte window. It emits matches of at most 16 bytes, which every
// known decoder reads (Microsoft's own compressor never writes longer ones),
// and streams: its memory does not depend on the input's size.
#pragma once

#include <cstdint>
#include <memory>

#include "status.h"
#include "stream.h"
#include "szdd_format.h"

namespace szdd {

class Compressor {
 public:
  static constexpr size_t kBlock = size_t(256) << 10;
  static constexpr size_t kOutputBuffer = size_t(1) << 20;

  // maxChain bounds the candidates tried per position: more finds longer
  // matches, more slowly. Allocates the buffers; raises std::bad_alloc.
  explicit Compressor(int maxChain = 64);
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  // Writes a header stating length and missingChar, then the stream for all
  // that in delivers. The header comes first, so the length must be known up
  // front: when in delivers another count, the output is complete but
  // kLengthMismatch is returned (kTooLarge past 4 GiB - 1). written (may be
  // null) receives the count of bytes written.
  Status Compress(Input& in, Output& out, uint32_t length, uint8_t missingChar, uint64_t* written = nullptr);

 private:
  struct Match {
    unsigned length = 0;
    unsigned distance = 0;
  };

  bool Fill();  // false on a read error
  Match FindMatch(size_t pos) const;
  void Insert(size_t pos);
  void InsertUpTo(size_t pos);
  bool StartItem();  // false on a write error
  bool EmitLiteral(uint8_t c);
  bool EmitMatch(size_t pos, const Match& match);
  bool FlushOutput();

  const int maxChain_;
  std::unique_ptr<uint8_t[]> window_;  // kWindowSize of history, then a block
  std::unique_ptr<int64_t[]> head_;    // newest position of each hash, -1 for none
  std::unique_ptr<int64_t[]> prev_;    // the position before it with the same hash
  std::unique_ptr<uint8_t[]> out_;

  // Per run.
  Input* in_ = nullptr;
  Output* sink_ = nullptr;
  int64_t base_ = 0;  // position in the input of window_[0]
  size_t pos_ = 0, end_ = 0;
  size_t inserted_ = 0;  // window index up to which positions are in the chains
  uint64_t total_ = 0;
  bool eof_ = false;
  size_t outPos_ = 0, flagIndex_ = 0;
  unsigned bit_ = 8;
  uint64_t written_ = 0;
};

}  // namespace szdd
