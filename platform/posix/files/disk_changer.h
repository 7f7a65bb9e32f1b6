// The disk changer: a program that runs the system against a set of media
// (zefa-update) lends one drive to it and changes the disk in that drive when
// the system looks for a file that the disk in it lacks. It names itself to
// its child in $ZEFA_DISK_CHANGER as "X:PATH": the drive letter, a colon and
// the host path of a Unix stream socket. For each lookup the layer connects,
// writes the file's name (CP932) and a line feed, and reads one line back:
// "changed" when another disk that holds the file is now in the drive, any
// other answer (or none) when no disk holds it.
#pragma once

#include <string>

namespace posix {

constexpr const char kDiskChangerVariable[] = "ZEFA_DISK_CHANGER";

// Asks the changer for the disk that holds the file of windowsPath, when
// windowsPath names a file in the root of the changer's drive ("X:\name").
// True when the changer put such a disk into the drive, so that a lookup is
// worth trying once more; false when there is no changer, the path is not in
// the root of its drive, or no disk holds the file.
bool AskDiskChanger(const char* windowsPath);

// The file name of a path in the root of drive ("X:\name" or "X:/name"), or
// false for any other path.
bool RootFileName(const char* windowsPath, char drive, std::string* name);

}  // namespace posix
