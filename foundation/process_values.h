// The values that live as long as the updater's process.
#pragma once

#include "platform/win32.h"

// The directory of the source path given to the updater: where the update
// script, the disk label files and the medium's files are.
extern char SourceDirectory[MAX_PATH];
