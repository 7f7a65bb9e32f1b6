// The codec's whole view of the outside world: a source of bytes and a sink of
// bytes. Files, handles and memory stand behind them, which keeps the codec
// free of any platform and easy to drive from tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace szdd {

class Input {
 public:
  virtual ~Input() = default;
  // Reads up to size bytes into buffer. Returns the count (fewer than asked
  // is no end), 0 at the end of the data, a negative value on a read error.
  virtual ptrdiff_t Read(void* buffer, size_t size) = 0;
};

class Output {
 public:
  virtual ~Output() = default;
  // Writes all size bytes; false on a write error.
  virtual bool Write(const void* data, size_t size) = 0;
};

}  // namespace szdd
