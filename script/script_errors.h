// The messages of the update script's errors, as the updater shows them. Each
// is an object of its own, so that a tool that reads scripts can tell the
// errors apart by the message's address, also the two that read alike.
#pragma once

namespace script_error {

extern const char kUnknownKey[];      // a key line whose key is none of the four
extern const char kParentName[];      // a name with a ".." component (same text)
extern const char kTooManyFiles[];    // an entry line after the 512th
extern const char kBadDiskNumber[];   // an entry that is not "disks:name"
extern const char kTooManySplits[];   // the twentieth number of a disk list
extern const char kSplitWithoutDestination[];  // several disks and no '>'

}  // namespace script_error
