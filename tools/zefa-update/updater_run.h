// The run of the native updater against the medium, as the medium's launcher
// would start it: its copy in the temporary directory (replacing an older
// one), the medium's path on its command line. While it runs, the tool is the
// drive's disk changer: when the updater looks for the label of a disk that
// is not in the drive and one of the media is that disk, it goes in.
#pragma once

#include <ostream>
#include <string>

#include "drive_link.h"
#include "leftovers.h"
#include "media.h"

namespace zefa {

struct RunResult {
  bool exited = false;  // by exit, with status; otherwise killed by a signal
  int status = 0;
  bool interrupted = false;  // the tool was told to stop (Ctrl-C, a hang-up, SIGTERM)
  std::string copy;          // the host path of the updater's copy in the temporary directory
};

// Starts updater (the host path of the native Tavrix.bin) and serves disk
// changes through a socket in work until it ends; the boxes are the
// updater's, on this terminal. The updater ends when this tool ends. Each
// disk change is said on note; a folder of the run's own that the socket
// needs is noted in record. Raises mkmedium::Failure when it cannot be
// started (nothing was written then but the temporary copy).
RunResult RunUpdater(const std::string& updater, const std::string& work, const Medium& medium, DriveLink* drive,
                     std::ostream& note, RunRecord* record);

// Answers one request of the changer: the file name the updater looked for.
// True when a disk that holds it was put into the drive.
bool ChangeDisk(const std::string& name, const Medium& medium, DriveLink* drive, std::ostream& note);

}  // namespace zefa
