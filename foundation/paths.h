// Building and taking apart Windows paths in 260-byte buffers. The backslash
// is the separator; a second byte 0x5C of a double-byte character (ソ, 表, 能)
// is part of its character, never a separator.
#pragma once

// dest := directory, a backslash unless the directory already ends in one, name.
// dest holds 260 bytes and is distinct from both inputs; a longer result is
// cut at 259 bytes, at a character boundary.
void JoinPath(char* dest, const char* directory, const char* name);

// Splits path at its last backslash: the part before it (the separator
// dropped) into directory, the part after it into name. Without a backslash,
// directory is empty and name is the whole path. Both buffers hold 260 bytes;
// longer parts are cut at 259 bytes.
void SplitPath(char* directory, char* name, const char* path);

// Whether a relative name has a ".." component (also written "...", ". .",
// or with '/' as separator, all of which Windows reads as the parent), which
// would reach outside the directory it is joined to.
bool HasParentComponent(const char* name);
