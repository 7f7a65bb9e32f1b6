// The few host file operations the authoring tool needs, with errors as
// texts that name the file.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "codec/stream.h"

namespace mkmedium {

// A failure of the tool, with the finished message for the user.
class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& text) : std::runtime_error(text) {}
};

// Makes SIGINT, SIGTERM and SIGHUP end the work in hand by a Failure at the
// next step (CheckInterrupt), so that what was begun is removed on the way out.
void CatchInterrupts();
// Raises Failure when such a signal came.
void CheckInterrupt();

// "what path: the system's reason".
Failure SystemFailure(const std::string& what, const std::string& path, int err);

// An open file descriptor, closed when it goes.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd();
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes it; raises Failure naming path when the close reports an error.
  void Close(const std::string& path);

 private:
  int fd_;
};

int OpenRead(const std::string& path);    // raises Failure
int CreateFile(const std::string& path);  // a new file; raises Failure when it exists or cannot be made

// Bytes [offset, offset + length) of an open file, read with pread.
class RangeInput : public szdd::Input {
 public:
  RangeInput(int fd, uint64_t offset, uint64_t length) : fd_(fd), position_(offset), left_(length) {}
  ptrdiff_t Read(void* buffer, size_t size) override;
  int error() const { return error_; }

 private:
  int fd_;
  uint64_t position_, left_;
  int error_ = 0;
};

// Copies length bytes from offset of in to the new file path.
void CopyRange(int in, const std::string& inPath, uint64_t offset, uint64_t length, const std::string& path);

// Gives path the last-write (and last-access) time mtime.
void SetWriteTime(const std::string& path, const struct timespec& mtime);

// Makes path and the folders above it that are missing.
void MakeFolders(const std::string& path);

// Removes path and all below it; errors are ignored (it is the tool's own
// unfinished work).
void RemoveTree(const std::string& path);

bool Exists(const std::string& path);

// The absolute path without links; raises Failure when path does not exist.
std::string RealPath(const std::string& path);
// Whether the real path inner is outer or lies below it.
bool Within(const std::string& inner, const std::string& outer);
bool IsFolder(const std::string& path);

// The names in folder but "." and "..", in byte order; raises Failure when
// it cannot be read.
std::vector<std::string> FolderNames(const std::string& folder);

}  // namespace mkmedium
