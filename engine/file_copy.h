// Moving one file: copy, or expansion of an LZ-compressed file (a source whose
// name ends in '_') through the Windows LZ expansion library; the freshness
// test of an installed file; the size of a file after expansion.
#pragma once

#include <cstdint>

// Puts source at destination with normal attributes and the source's
// last-write time. Raises File::ExceptOpen (source), File::ExceptCreate
// (destination), ExceptFileCopy, or a File exception while the time is set.
void CopyOrExpand(const char* source, const char* destination);

// Whether the installed copy's last-write time is equal to or later than the
// source's. Any File exception on the way answers false.
bool IsInstalledSameOrNewer(const char* source, const char* installed);

// The length of the file's content after expansion (its plain size when it is
// not compressed). Raises File::ExceptOpen.
uint32_t ExpandedSize(const char* path);
