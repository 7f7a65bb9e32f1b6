// The SZDD compressed-file format of COMPRESS.EXE and the Windows LZ expansion
// library (LZ32), mode 'A': a 14-byte header, then an LZSS stream.
//
// Header, little-endian: the magic "SZDD" 88 F0 27 33; the mode byte 'A'; the
// last character of the original file name (0 when not stored), which the
// compressed file's name replaces by '_'; the uint32 expanded length.
//
// Stream: groups of a flag byte and up to eight items, bit 0 first. A set bit
// is a literal byte; a clear bit is a match of two bytes b0, b1 that copies
// (b1 & 0x0F) + 3 bytes from the absolute position b0 | (b1 & 0xF0) << 4 of a
// 4096-byte ring. The ring starts full of blanks with its write index at
// 4096 - 16; every byte produced is also written to the ring. A match copies
// byte by byte, so a position just behind the write index repeats a pattern.
// There is no end marker: the stream ends with the file, the last group may be
// short, and the header's length is only advisory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace szdd {

constexpr size_t kHeaderSize = 14;
constexpr uint8_t kMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
constexpr uint8_t kModeA = 'A';

constexpr unsigned kWindowSize = 4096;
constexpr unsigned kWindowMask = kWindowSize - 1;
constexpr unsigned kWindowStart = kWindowSize - 16;
constexpr uint8_t kWindowFill = 0x20;

constexpr unsigned kMinMatch = 3;
// The longest match the format can state. Microsoft's compressor and some
// decoders stop at 16; every decoder reads up to 16.
constexpr unsigned kMaxMatch = 18;
constexpr unsigned kMaxPortableMatch = 16;

// The most bytes one group can stand for (eight matches of 18), and the most
// bytes it can take in the stream (a flag and eight matches).
constexpr unsigned kMaxGroupOutput = 8 * kMaxMatch;
constexpr unsigned kMaxGroupInput = 1 + 8 * 2;

struct Header {
  uint8_t mode = kModeA;
  uint8_t missingChar = 0;
  uint32_t length = 0;
};

enum class HeaderKind {
  kSzdd,         // magic and mode 'A'
  kUnknownMode,  // the magic with a mode no decoder knows
  kNotSzdd,      // anything else, also fewer than kHeaderSize bytes
};

// Classifies the first size bytes of a file and, for kSzdd and kUnknownMode,
// fills header.
HeaderKind ParseHeader(const uint8_t* data, size_t size, Header* header);

// The 14 header bytes for header.
void WriteHeader(const Header& header, uint8_t out[kHeaderSize]);

}  // namespace szdd
