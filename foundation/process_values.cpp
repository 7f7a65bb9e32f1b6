#include "process_values.h"

char SourceDirectory[MAX_PATH];
HINSTANCE InstanceHandle;
HWND ProgressDialogHandle;
const char kUpdaterCaption[] = "ゼファ アップデート";
