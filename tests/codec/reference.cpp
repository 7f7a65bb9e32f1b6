#include "reference.h"

#include <stdexcept>

#include "codec/compressor.h"
#include "codec/memory_stream.h"

namespace szdd_test {

Bytes ReferenceExpand(const Bytes& stream, bool* truncated) {
  uint8_t ring[4096];
  for (uint8_t& b : ring) b = 0x20;
  unsigned pos = 4096 - 16;
  Bytes out;
  size_t i = 0;
  if (truncated) *truncated = false;
  while (i < stream.size()) {
    unsigned control = stream[i++];
    for (unsigned bit = 1; bit & 0xFF; bit <<= 1) {
      if (i >= stream.size()) return out;
      if (control & bit) {
        out.push_back(ring[pos] = stream[i++]);
        pos = (pos + 1) & 4095;
      } else {
        if (i + 1 >= stream.size()) {
          if (truncated) *truncated = true;
          return out;
        }
        unsigned matchPos = stream[i] | (stream[i + 1] & 0xF0) << 4;
        unsigned length = (stream[i + 1] & 0x0F) + 3;
        i += 2;
        while (length--) {
          out.push_back(ring[pos] = ring[matchPos]);
          pos = (pos + 1) & 4095;
          matchPos = (matchPos + 1) & 4095;
        }
      }
    }
  }
  return out;
}

unsigned LongestMatch(const Bytes& stream) {
  unsigned longest = 0;
  size_t i = 0;
  while (i < stream.size()) {
    unsigned control = stream[i++];
    for (unsigned bit = 1; (bit & 0xFF) && i < stream.size(); bit <<= 1) {
      if (control & bit) {
        ++i;
      } else {
        if (i + 1 < stream.size()) longest = std::max(longest, (stream[i + 1] & 0x0Fu) + 3);
        i += 2;
      }
    }
  }
  return longest;
}

Bytes WithHeader(const Bytes& stream, uint32_t length, uint8_t missingChar) {
  Bytes out = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33, 'A', missingChar};
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(length >> (8 * k)));
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

namespace {

struct Random {
  uint64_t state;
  explicit Random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ULL + 1) {}
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<uint32_t>(state >> 11);
  }
};

}  // namespace

Bytes TextSample(size_t size) {
  static const char* const kWords[] = {"update", "file",   "disk",  "the",     "expand", "install", "game",
                                       "window", "script", "error", "version", "copy",   "of",      "and",
                                       "ファイル", "ディスク", "\t",     "0x1F",    "return", "if"};
  Random r(7);
  Bytes out;
  while (out.size() < size) {
    int words = 3 + r.Next() % 12;
    for (int w = 0; w < words; ++w) {
      const char* word = kWords[r.Next() % (sizeof kWords / sizeof *kWords)];
      out.insert(out.end(), word, word + std::char_traits<char>::length(word));
      out.push_back(' ');
    }
    if (r.Next() % 5 == 0) {
      std::string number = std::to_string(r.Next() % 100000);
      out.insert(out.end(), number.begin(), number.end());
    }
    out.push_back('\r');
    out.push_back('\n');
  }
  out.resize(size);
  return out;
}

Bytes BinarySample(size_t size) {
  Random r(11);
  Bytes out;
  while (out.size() < size) {
    switch (r.Next() % 4) {
      case 0:  // a table of little-endian integers
        for (int k = 0, v = r.Next() % 4096; k < 64; ++k, v += 4)
          for (int b = 0; b < 4; ++b) out.push_back(static_cast<uint8_t>(v >> (8 * b)));
        break;
      case 1:  // noise
        for (int k = 0; k < 128; ++k) out.push_back(static_cast<uint8_t>(r.Next()));
        break;
      case 2:  // padding
        out.insert(out.end(), 32 + r.Next() % 200, 0);
        break;
      default:  // a repeat of something seen before
        if (out.size() > 64) {
          size_t from = out.size() - 1 - r.Next() % std::min<size_t>(out.size() - 32, 8000);
          for (int k = 0; k < 32; ++k) out.push_back(out[from + k]);
        }
    }
  }
  out.resize(size);
  return out;
}

Bytes RandomSample(size_t size, uint32_t seed) {
  Random r(seed);
  Bytes out(size);
  for (uint8_t& b : out) b = static_cast<uint8_t>(r.Next());
  return out;
}

Bytes Zeros(size_t size) { return Bytes(size, 0); }

Bytes Compress(const Bytes& data, uint8_t missingChar, int maxChain) {
  szdd::MemoryInput in(data.data(), data.size());
  szdd::MemoryOutput out;
  szdd::Compressor compressor(maxChain);
  if (compressor.Compress(in, out, static_cast<uint32_t>(data.size()), missingChar) != szdd::Status::kOk)
    throw std::runtime_error("compression failed");
  return out.bytes();
}

}  // namespace szdd_test
