// The values that live as long as the updater's process.
#pragma once

#include "platform/win32.h"

// The directory of the source path given to the updater: where the update
// script, the disk label files and the medium's files are.
extern char SourceDirectory[MAX_PATH];

// The updater's module, from which its dialogs are loaded.
extern HINSTANCE InstanceHandle;

// The progress dialog, which owns every box and dialog of the run.
extern HWND ProgressDialogHandle;

// The caption of the updater's boxes.
extern const char kUpdaterCaption[];
