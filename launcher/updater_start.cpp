// How the launcher starts the updater: its own part, kept apart from the
// launcher's entry so that tests can take it alone.
#include "foundation/paths.h"
#include "foundation/text_format.h"
#include "launcher.h"

const char kUpdaterFile[] = "Tavrix.bin";

void PlanUpdaterStart(const char* launcherDir, const char* temporaryDir, UpdaterStart* start) {
  JoinPath(start->mediumCopy, launcherDir, kUpdaterFile);
  JoinPath(start->temporaryCopy, temporaryDir, kUpdaterFile);
  // The updater's own path is quoted, so that a temporary directory with a
  // blank in it still leaves the medium path whole after the program name.
  FormatText(start->commandLine, sizeof start->commandLine, "\"%s\" %s", start->temporaryCopy, start->mediumCopy);
}
