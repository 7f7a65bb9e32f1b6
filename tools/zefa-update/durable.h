// Files written so that a kill, or the machine going down, at any moment
// leaves the old content or the new one, never a mix: written beside,
// synced, renamed over, and the rename made lasting by syncing the folder.
#pragma once

#include <sys/types.h>

#include <string>

namespace zefa {

// Replaces path with text (mode for a new file). Raises mkmedium::Failure;
// path is unchanged then.
void WriteDurably(const std::string& path, const std::string& text, mode_t mode = 0600);

// Makes the entries of folder (files made, renamed or removed in it) last.
// Raises mkmedium::Failure.
void SyncFolder(const std::string& folder);

// Makes the bytes of the open file fd last; raises mkmedium::Failure naming
// path.
void SyncFile(int fd, const std::string& path);

// The folder part of path ("." for a bare name).
std::string FolderOf(const std::string& path);

// The whole of a small file: true with its bytes, false when it does not
// exist; raises mkmedium::Failure when it cannot be read.
bool ReadSmallFile(const std::string& path, std::string* text);

}  // namespace zefa
