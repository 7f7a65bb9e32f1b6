#include "szdd_format.h"

#include <cstring>

namespace szdd {

HeaderKind ParseHeader(const uint8_t* data, size_t size, Header* header) {
  if (size < kHeaderSize || std::memcmp(data, kMagic, sizeof kMagic) != 0) return HeaderKind::kNotSzdd;
  header->mode = data[8];
  header->missingChar = data[9];
  header->length = uint32_t(data[10]) | uint32_t(data[11]) << 8 | uint32_t(data[12]) << 16 | uint32_t(data[13]) << 24;
  return header->mode == kModeA ? HeaderKind::kSzdd : HeaderKind::kUnknownMode;
}

void WriteHeader(const Header& header, uint8_t out[kHeaderSize]) {
  std::memcpy(out, kMagic, sizeof kMagic);
  out[8] = header.mode;
  out[9] = header.missingChar;
  for (int i = 0; i < 4; ++i) out[10 + i] = static_cast<uint8_t>(header.length >> (8 * i));
}

}  // namespace szdd
