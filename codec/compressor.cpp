#include "compressor.h"

#include <algorithm>
#include <cstring>

namespace szdd {
namespace {

constexpr unsigned kHashBits = 15;
constexpr size_t kHashSize = size_t(1) << kHashBits;
// A match may reach back to the oldest byte the ring still holds.
constexpr unsigned kMaxDistance = kWindowSize - 1;
// Bytes wanted ahead of the current position: a whole match one byte on.
constexpr size_t kLookahead = kMaxPortableMatch + 2;
constexpr size_t kWindowBytes = kWindowSize + Compressor::kBlock;

inline uint32_t Hash3(const uint8_t* p) {
  uint32_t v = p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
  return (v * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

Compressor::Compressor(int maxChain)
    : maxChain_(maxChain < 1 ? 1 : maxChain),
      window_(new uint8_t[kWindowBytes]),
      head_(new int64_t[kHashSize]),
      prev_(new int64_t[kWindowSize]),
      out_(new uint8_t[kOutputBuffer]) {}

bool Compressor::Fill() {
  if (eof_ || end_ - pos_ >= kLookahead) return true;
  if (pos_ > kWindowSize) {
    // Keep a window's worth of history in front of the position.
    size_t shift = pos_ - kWindowSize;
    std::memmove(window_.get(), window_.get() + shift, end_ - shift);
    base_ += static_cast<int64_t>(shift);
    pos_ -= shift;
    end_ -= shift;
    inserted_ -= std::min(inserted_, shift);
  }
  while (!eof_ && end_ - pos_ < kLookahead) {
    ptrdiff_t n = in_->Read(window_.get() + end_, kWindowBytes - end_);
    if (n < 0) return false;
    if (n == 0) eof_ = true;
    end_ += static_cast<size_t>(n);
    total_ += static_cast<uint64_t>(n);
  }
  return true;
}

Compressor::Match Compressor::FindMatch(size_t pos) const {
  Match best;
  if (pos >= end_) return best;
  size_t avail = std::min<size_t>(kMaxPortableMatch, end_ - pos);
  if (avail < kMinMatch) return best;
  const uint8_t* cur = window_.get() + pos;
  int64_t here = base_ + static_cast<int64_t>(pos);
  int64_t candidate = head_[Hash3(cur)];
  unsigned longest = kMinMatch - 1;
  for (int chain = maxChain_; candidate >= 0 && chain > 0; --chain) {
    int64_t distance = here - candidate;
    if (distance <= 0 || distance > kMaxDistance) break;
    const uint8_t* c = cur - distance;
    if (c[longest] == cur[longest]) {
      unsigned length = 0;
      while (length < avail && c[length] == cur[length]) ++length;
      if (length > longest) {
        longest = length;
        best.length = length;
        best.distance = static_cast<unsigned>(distance);
        if (length == avail) break;
      }
    }
    int64_t next = prev_[candidate & kWindowMask];
    if (next >= candidate) break;
    candidate = next;
  }
  return best;
}

void Compressor::Insert(size_t pos) {
  int64_t here = base_ + static_cast<int64_t>(pos);
  uint32_t h = Hash3(window_.get() + pos);
  prev_[here & kWindowMask] = head_[h];
  head_[h] = here;
}

void Compressor::InsertUpTo(size_t pos) {
  for (; inserted_ < pos && inserted_ + kMinMatch <= end_; ++inserted_) Insert(inserted_);
  inserted_ = std::max(inserted_, pos);
}

bool Compressor::FlushOutput() {
  bool ok = outPos_ == 0 || sink_->Write(out_.get(), outPos_);
  written_ += outPos_;
  outPos_ = 0;
  return ok;
}

bool Compressor::StartItem() {
  if (bit_ < 8) return true;
  if (kOutputBuffer - outPos_ < kMaxGroupInput && !FlushOutput()) return false;
  flagIndex_ = outPos_++;
  out_[flagIndex_] = 0;
  bit_ = 0;
  return true;
}

bool Compressor::EmitLiteral(uint8_t c) {
  if (!StartItem()) return false;
  out_[flagIndex_] |= static_cast<uint8_t>(1u << bit_++);
  out_[outPos_++] = c;
  return true;
}

bool Compressor::EmitMatch(size_t pos, const Match& match) {
  if (!StartItem()) return false;
  ++bit_;
  uint64_t from = static_cast<uint64_t>(base_) + pos - match.distance;
  unsigned ring = static_cast<unsigned>((kWindowStart + from) & kWindowMask);
  out_[outPos_++] = static_cast<uint8_t>(ring);
  out_[outPos_++] = static_cast<uint8_t>((ring >> 4 & 0xF0) | (match.length - kMinMatch));
  return true;
}

Status Compressor::Compress(Input& in, Output& out, uint32_t length, uint8_t missingChar, uint64_t* written) {
  in_ = &in;
  sink_ = &out;
  base_ = 0;
  pos_ = end_ = inserted_ = 0;
  total_ = 0;
  eof_ = false;
  outPos_ = flagIndex_ = 0;
  bit_ = 8;
  written_ = 0;
  std::fill(head_.get(), head_.get() + kHashSize, -1);
  std::fill(prev_.get(), prev_.get() + kWindowSize, -1);

  Header header;
  header.missingChar = missingChar;
  header.length = length;
  WriteHeader(header, out_.get());
  outPos_ = kHeaderSize;

  Status status = Status::kOk;
  Match match;
  bool carried = false;  // match already holds the best match at pos_
  for (;;) {
    if (!Fill()) {
      status = Status::kReadError;
      break;
    }
    if (total_ > UINT32_MAX) {
      status = Status::kTooLarge;
      break;
    }
    if (pos_ >= end_) break;
    if (!carried) {
      match = FindMatch(pos_);
      InsertUpTo(pos_ + 1);
    }
    carried = false;
    bool ok;
    if (match.length < kMinMatch) {
      ok = EmitLiteral(window_[pos_]);
      ++pos_;
    } else {
      // One step of lazy matching: a longer match one byte on wins.
      Match next;
      if (match.length < kMaxPortableMatch) {
        next = FindMatch(pos_ + 1);
        InsertUpTo(pos_ + 2);
      }
      if (next.length > match.length) {
        ok = EmitLiteral(window_[pos_]);
        ++pos_;
        match = next;
        carried = true;
      } else {
        ok = EmitMatch(pos_, match);
        InsertUpTo(pos_ + match.length);
        pos_ += match.length;
      }
    }
    if (!ok) {
      status = Status::kWriteError;
      break;
    }
  }
  if (!FlushOutput() && status == Status::kOk) status = Status::kWriteError;
  if (status == Status::kOk && total_ != length) status = Status::kLengthMismatch;
  if (written) *written = written_;
  return status;
}

}  // namespace szdd
