// Small helpers on the zero-terminated lines of the update script.
#pragma once

// Removes blanks (space, tab) at both ends, in place. s holds at most 259 bytes.
void TrimBlanks(char* s);

// Removes every CR and LF at the end of s, in place.
void StripLineEnd(char* s);

// A heap copy of s (released with delete[]), or null for null.
char* DupString(const char* s);
