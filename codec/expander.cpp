#include "expander.h"

#include <algorithm>
#include <cstring>

namespace szdd {
namespace {

// Match copies write whole blocks and may run this far past the match's end.
constexpr size_t kSlack = 64;

// Copies a match of length bytes from distance bytes back (1 to 4096), as the
// byte-by-byte ring copy would: where the distance is shorter than the length
// the copy repeats the bytes it has just written. Writes up to kMaxMatch bytes
// whatever the length; the caller has room for them.
inline void CopyMatch(uint8_t* op, const uint8_t* src, size_t distance, unsigned length) {
  if (distance >= 16) {
    std::memcpy(op, src, 16);
    std::memcpy(op + 16, src + 16, 2);
  } else if (distance >= 8) {
    // Each block reads only what an earlier block has written.
    std::memcpy(op, src, 8);
    std::memcpy(op + 8, src + 8, 8);
    std::memcpy(op + 16, src + 16, 2);
  } else if (distance == 1) {
    std::memset(op, op[-1], kMaxMatch);
  } else {
    for (unsigned i = 0; i < length; ++i) op[i] = src[i];
  }
}

// The ring position of a match item, and its length.
inline unsigned MatchPosition(const uint8_t* item) { return item[0] | (item[1] & 0xF0u) << 4; }
inline unsigned MatchLength(const uint8_t* item) { return (item[1] & 0x0Fu) + kMinMatch; }

}  // namespace

ptrdiff_t ReadFully(Input& in, void* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ptrdiff_t n = in.Read(static_cast<uint8_t*>(buffer) + done, size - done);
    if (n < 0) return n;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ptrdiff_t>(done);
}

Expander::Expander()
    : window_(new uint8_t[kWindowSize + kChunk + kMaxGroupOutput + kSlack]),
      input_(new uint8_t[kInputBuffer + kSlack]()) {}

Status Expander::ExpandFile(Input& in, Output& out, uint64_t limit, Header* header, uint64_t* produced) {
  if (produced) *produced = 0;
  uint8_t bytes[kHeaderSize];
  ptrdiff_t n = ReadFully(in, bytes, sizeof bytes);
  if (n < 0) return Status::kReadError;
  switch (ParseHeader(bytes, static_cast<size_t>(n), header)) {
    case HeaderKind::kNotSzdd: return Status::kNotSzdd;
    case HeaderKind::kUnknownMode: return Status::kUnknownMode;
    case HeaderKind::kSzdd: break;
  }
  return Expand(in, out, limit, 0, produced);
}

Status Expander::Expand(Input& in, Output& out, uint64_t limit, uint64_t skip, uint64_t* produced) {
  // History: the kWindowSize bytes before start, at first the ring's blanks.
  uint8_t* const base = window_.get();
  uint8_t* const start = base + kWindowSize;
  std::memset(base, kWindowFill, kWindowSize);
  uint8_t* op = start;
  uint64_t done = 0;  // bytes produced before start
  // (op + bias) & kWindowMask is the ring's write index for the byte at op.
  uintptr_t bias = kWindowStart - reinterpret_cast<uintptr_t>(start);

  uint8_t* const ibuf = input_.get();
  const uint8_t* ip = ibuf;
  const uint8_t* iend = ibuf;
  bool eof = false;

  // Tops the input up to a whole group's worth unless it ends first.
  auto refill = [&]() -> bool {
    size_t keep = static_cast<size_t>(iend - ip);
    std::memmove(ibuf, ip, keep);
    ip = ibuf;
    iend = ibuf + keep;
    while (!eof && static_cast<size_t>(iend - ip) < kMaxGroupInput) {
      ptrdiff_t n = in.Read(ibuf + (iend - ibuf), kInputBuffer - static_cast<size_t>(iend - ibuf));
      if (n < 0) return false;
      if (n == 0) eof = true;
      iend += n;
    }
    return true;
  };

  // Hands on the chunk and moves its last kWindowSize bytes in front of start.
  auto flush = [&]() -> bool {
    size_t n = static_cast<size_t>(op - start);
    size_t skipped = static_cast<size_t>(std::min<uint64_t>(skip, n));
    skip -= skipped;
    bool ok = skipped == n || out.Write(start + skipped, n - skipped);
    done += n;
    std::memmove(base, op - kWindowSize, kWindowSize);
    op = start;
    bias = static_cast<uintptr_t>(kWindowStart + done) - reinterpret_cast<uintptr_t>(start);
    return ok;
  };

  Status status = Status::kOk;
  for (;;) {
    if (!eof && static_cast<size_t>(iend - ip) < kMaxGroupInput && !refill()) {
      status = Status::kReadError;
      break;
    }
    size_t used = static_cast<size_t>(op - start);
    if (used >= kChunk) {
      if (!flush()) {
        if (produced) *produced = done;
        return Status::kWriteError;
      }
      used = 0;
    }
    uint64_t room = limit - (done + used);

    // As many whole groups as the input, the limit and the buffer surely
    // hold, with no test inside a group.
    size_t groups = static_cast<size_t>(iend - ip) / kMaxGroupInput;
    groups = static_cast<size_t>(std::min<uint64_t>(groups, room / kMaxGroupOutput));
    groups = std::min(groups, (kChunk - used) / kMaxGroupOutput + 1);
    if (groups > 0) {
      const uint8_t* in_ = ip;
      uint8_t* o = op;
      do {
        unsigned flags = *in_++;
        if (flags == 0xFF) {
          std::memcpy(o, in_, 8);
          o += 8;
          in_ += 8;
          continue;
        }
        // Match by match (the zero bits of the flags): the literals before
        // each come in one 8-byte copy, of which the run's bytes count; the
        // literals after the last one likewise.
        unsigned matches = ~flags & 0xFFu;
        unsigned next = 0;  // the item after the last one done
        while (matches) {
          unsigned item = static_cast<unsigned>(__builtin_ctz(matches));
          matches &= matches - 1;
          unsigned run = item - next;
          std::memcpy(o, in_, 8);
          o += run;
          in_ += run;
          next = item + 1;
          unsigned length = MatchLength(in_);
          size_t distance = ((reinterpret_cast<uintptr_t>(o) + bias - MatchPosition(in_) - 1) & kWindowMask) + 1;
          in_ += 2;
          CopyMatch(o, o - distance, distance, length);
          o += length;
        }
        unsigned run = 8 - next;
        std::memcpy(o, in_, 8);
        o += run;
        in_ += run;
      } while (--groups);
      ip = in_;
      op = o;
      continue;
    }

    // Near the end of the input or of the limit: one group, item by item.
    if (ip == iend) break;
    unsigned flags = *ip++;
    for (int k = 0; k < 8 && status == Status::kOk; ++k, flags >>= 1) {
      if (ip == iend) break;  // a short last group
      if (flags & 1) {
        if (room == 0) {
          status = Status::kOutputLimit;
        } else {
          *op++ = *ip++;
          --room;
        }
      } else if (iend - ip < 2) {
        ip = iend;
        status = Status::kTruncated;
      } else {
        unsigned length = MatchLength(ip);
        size_t distance = ((reinterpret_cast<uintptr_t>(op) + bias - MatchPosition(ip) - 1) & kWindowMask) + 1;
        ip += 2;
        unsigned n = static_cast<unsigned>(std::min<uint64_t>(length, room));
        const uint8_t* src = op - distance;
        for (unsigned i = 0; i < n; ++i) op[i] = src[i];
        op += n;
        room -= n;
        if (n < length) status = Status::kOutputLimit;
      }
    }
    if (status != Status::kOk) break;
  }

  if (!flush()) status = Status::kWriteError;
  if (produced) *produced = done;
  return status;
}

}  // namespace szdd
