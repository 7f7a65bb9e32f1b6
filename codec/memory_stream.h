// Input from and output to memory.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "stream.h"

namespace szdd {

class MemoryInput : public Input {
 public:
  MemoryInput(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  ptrdiff_t Read(void* buffer, size_t size) override {
    size_t n = std::min(size, size_ - position_);
    if (n) std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return static_cast<ptrdiff_t>(n);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// Collects what is written; a write that would pass the capacity fails and
// stores nothing.
class MemoryOutput : public Output {
 public:
  explicit MemoryOutput(size_t capacity = SIZE_MAX) : capacity_(capacity) {}
  bool Write(const void* data, size_t size) override {
    if (size > capacity_ - bytes_.size()) return false;
    auto p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
    return true;
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  size_t capacity_;
  std::vector<uint8_t> bytes_;
};

}  // namespace szdd
