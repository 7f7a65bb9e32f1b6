#include "process_values.h"

char SourceDirectory[MAX_PATH];
