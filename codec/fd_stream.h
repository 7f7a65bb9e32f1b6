// Input from and output to POSIX file descriptors, for the host tools.
#pragma once

#include "stream.h"

namespace szdd {

class FdInput : public Input {
 public:
  explicit FdInput(int fd) : fd_(fd) {}
  ptrdiff_t Read(void* buffer, size_t size) override;
  int error() const { return error_; }  // errno of the failed read

 private:
  int fd_;
  int error_ = 0;
};

class FdOutput : public Output {
 public:
  explicit FdOutput(int fd) : fd_(fd) {}
  bool Write(const void* data, size_t size) override;
  int error() const { return error_; }  // errno of the failed write (ENOSPC for a short one)

 private:
  int fd_;
  int error_ = 0;
};

}  // namespace szdd
