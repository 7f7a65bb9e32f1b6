// One entry line of the update script: the disks that carry a file, its name
// on the medium and its name in the installation directory.
#pragma once

#include "platform/win32.h"

class UpdateEntry {
 public:
  static constexpr int kMaxDisks = 19;

  // From the entry text "disks:name" and the destination after '>' (null when
  // the line has none). Raises Exception with the script error's message.
  UpdateEntry(const char* entryText, const char* destination);
  UpdateEntry(const UpdateEntry&) = delete;
  UpdateEntry& operator=(const UpdateEntry&) = delete;

  // Reads the disk list: decimal numbers joined by '+', at most 19.
  void ParseDisks(const char* text);

  // The path builders fill buffers of 260 bytes and answer whether every
  // path they built fits; one that does not is cut (JoinPath) and may only
  // be named in a message.
  //
  // The paths of a single entry: on the medium, and in the installation
  // directory (under the destination name, or the source name without one).
  bool MakePaths(char* source, char* destination, const char* sourceDir, const char* installDir) const;
  // Piece i (from 1) of a split entry on the medium and in the temporary directory.
  bool MakePiecePaths(int piece, char* medium, char* temporary, const char* sourceDir, const char* tempDir) const;
  bool MakeTempPiecePath(int piece, char* path, const char* directory) const;
  // The file a split entry is joined into.
  bool MakeDestinationPath(char* path, const char* installDir) const;

  int diskCount;
  int disks[kMaxDisks + 1];
  char sourceName[MAX_PATH];
  char destName[MAX_PATH];
};
