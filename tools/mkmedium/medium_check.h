// The check of a finished medium: its script read by the updater's own
// loader, line by line so that every problem is found and named with its
// line, and every file and piece looked for on the disk that the script
// names, as the updater looks for them.
#pragma once

#include <string>
#include <vector>

namespace mkmedium {

struct Problem {
  int line;          // of the script; 0 for the medium as a whole
  std::string text;  // UTF-8
};

struct CheckReport {
  std::string script;  // the host path of Orbane.fix
  std::vector<Problem> problems;
  // What the installation must hold for the update to install, which the
  // medium cannot tell: each folder of the installation that the script
  // writes into (the updater creates none), at the line of its first entry.
  std::vector<Problem> notes;
  int entries = 0;
  int disks = 0;  // disks that the script names
};

// Checks the medium in paths: each a disk folder (one that holds Orbane.fix
// or a disk label) or a folder of disk folders. Disk n is the folder that
// holds the label "disk<n>.fix"; names like a label in another form
// (disk02.fix), a folder with more than one label and names that differ
// only in letter case are problems. Raises Failure when there is nothing to
// check: no disk folder, no Orbane.fix or more than one, a script that
// cannot be read.
CheckReport CheckMedium(const std::vector<std::string>& paths);

// The disk folders in paths, as CheckMedium finds them: the host's real
// paths, each once, in the order found. Raises Failure when there is none.
std::vector<std::string> FindDiskFolders(const std::vector<std::string>& paths);

}  // namespace mkmedium
