// Test oracles for the codec: a decoder that follows the format's description
// literally (a 4096-byte ring, one byte at a time), a parser of the items of
// a stream, and deterministic sample data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace szdd_test {

using Bytes = std::vector<uint8_t>;

// Decodes a stream (what follows the header) byte by byte through the ring.
// truncated tells whether it ended inside a match.
Bytes ReferenceExpand(const Bytes& stream, bool* truncated = nullptr);

// The longest match a stream contains, 0 for none.
unsigned LongestMatch(const Bytes& stream);

// A header followed by stream.
Bytes WithHeader(const Bytes& stream, uint32_t length, uint8_t missingChar = 0);

// Samples: text-like lines, a binary-like mix of structure and noise, random
// bytes, and zeros, of size bytes each, the same on every run.
Bytes TextSample(size_t size);
Bytes BinarySample(size_t size);
Bytes RandomSample(size_t size, uint32_t seed = 1);
Bytes Zeros(size_t size);

// Compresses data with the codec (maxChain as the compressor takes it).
Bytes Compress(const Bytes& data, uint8_t missingChar = 0, int maxChain = 64);

inline std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

}  // namespace szdd_test
