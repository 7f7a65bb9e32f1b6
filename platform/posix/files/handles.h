// Open files of the POSIX layer, addressed by HANDLE values as Windows gives
// them out, with the sharing rules that Windows enforces between handles.
#pragma once

#include <sys/types.h>

#include <string>

#include "files_api.h"

namespace posix {

struct OpenFile {
  int fd = -1;
  DWORD access = 0;  // GENERIC_READ, GENERIC_WRITE and GENERIC_EXECUTE: what it may do with the data
  DWORD share = 0;   // FILE_SHARE_*
  dev_t dev = 0;
  ino_t ino = 0;
};

// Registers an open file and returns its handle.
HANDLE AddFile(const OpenFile& file);

// The open file of a handle, or null (with ERROR_INVALID_HANDLE set).
OpenFile* FindFile(HANDLE handle);

// Removes a handle; false when it was not one.
bool RemoveFile(HANDLE handle, OpenFile* removed);

// Whether a new open of (dev, ino) with this access and sharing is compatible
// with every handle already open on the same file. A handle without access to
// the data (access 0) takes no part, on either side.
bool SharingAllows(dev_t dev, ino_t ino, DWORD access, DWORD share);

// Whether the file may be deleted: every handle open on its data shares deletion.
bool DeletionAllowed(dev_t dev, ino_t ino);

// The number of open handles; tests use it to find leaks.
size_t OpenFileCount();

}  // namespace posix
