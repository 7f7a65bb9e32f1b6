// The medium that the arguments make: disk folders as they are, images
// extracted into the tool's own folder, every disk known by its label file
// "disk<n>.fix", as the updater knows it.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace zefa {

struct Disk {
  int number;
  std::string folder;  // host path of the disk's root
  std::string origin;  // the argument it came from, for messages
};

struct Medium {
  std::map<int, Disk> disks;  // by label number
  std::string start;          // the folder that holds the script: the disk that goes in first
};

// Gathers the medium of the arguments (folders and images, in any order).
// Images are extracted into folders below work. Raises mkmedium::Failure with
// a message naming the argument: one that does not exist, is neither a folder
// nor an image, holds a symbolic link, holds no disk, or two disks with the
// same label; a medium without the script Orbane.fix.
Medium GatherMedium(const std::vector<std::string>& arguments, const std::string& work, bool progress);

// The label numbers of the files "disk<n>.fix" in the root of folder.
std::vector<int> Labels(const std::string& folder);

// Whether folder holds a file name (compared ignoring letter case) in its root.
bool Holds(const std::string& folder, const std::string& name);

// Raises mkmedium::Failure naming every symbolic link (or other entry that is
// neither a file nor a folder) below root; shown is root as the user knows it.
void RefuseLinks(const std::string& root, const std::string& shown);

// Removes the tool's own folder and all below it, read-only folders included.
void RemoveWorkTree(const std::string& path);

}  // namespace zefa
