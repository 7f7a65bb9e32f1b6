// Small files of the host that the layer keeps for itself (the registry files,
// the list of deletions at restart), read and written whole through the table
// of system calls.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>

namespace posix {

// Reads a regular file up to its end. False, with errno telling why, when it
// cannot be opened or read, is no regular file (EINVAL), or holds more than
// maxSize bytes (EFBIG). extraFlags go to open
// (O_NOFOLLOW, say); st, when given, receives what fstat said of the open file.
bool ReadHostFile(const std::string& path, size_t maxSize, std::string* text, int extraFlags = 0,
                  struct stat* st = nullptr);

// Replaces a file by one holding text and made with mode: written in full
// beside it (path + ".new") and renamed over it, so that a reader sees the old
// file or the new one and never a part. False when any step fails; the file
// is then as it was, and no ".new" stays behind.
bool ReplaceHostFile(const std::string& path, const std::string& text, mode_t mode);

}  // namespace posix
