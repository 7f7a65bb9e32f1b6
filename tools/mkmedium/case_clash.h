// Names that Windows takes for one: two entries of one folder whose names
// differ only in letter case. A case-sensitive host keeps both, Windows and
// the updater reach one of them, and which one depends on the host.
#pragma once

#include <string>
#include <vector>

namespace mkmedium {

// The entries of one folder that differ only in letter case, as paths
// relative to the root of the walk (UTF-8, '/' between folders), in order.
using Clash = std::vector<std::string>;

// Every clash below root, links not followed, folders in the order of their
// names. Names are compared as CP932 names, as Windows compares them; a name
// that CP932 cannot write is compared as it is. Raises Failure when a folder
// cannot be read.
std::vector<Clash> FindCaseClashes(const std::string& root);

// "A and B" or "A, B and C", for messages.
std::string ClashText(const Clash& clash);

}  // namespace mkmedium
