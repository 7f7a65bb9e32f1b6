// Building and taking apart Windows paths in 260-byte buffers. The backslash
// is the separator; a second byte 0x5C of a double-byte character (ソ, 表, 能)
// is part of its character, never a separator.
#pragma once

// dest := directory, a backslash unless the directory already ends in one, name.
// dest holds 260 bytes and is distinct from both inputs. False when the result
// does not fit in 259 bytes: dest then holds as much of it as fits, cut at a
// character boundary, to be named in a message and never used as a path (it
// would name another file).
bool JoinPath(char* dest, const char* directory, const char* name);

// Splits path at its last backslash: the part before it (the separator
// dropped) into directory, the part after it into name. Without a backslash,
// directory is empty and name is the whole path. Both buffers hold 260 bytes.
// False when a part does not fit in 259 bytes; it is then cut there, at a
// character boundary, like a result of JoinPath. A directory cut so holds at
// least 258 bytes, so no name of two bytes or more joins it into a path.
bool SplitPath(char* directory, char* name, const char* path);

// Whether a relative name has a ".." component (also written "...", ". .",
// or with '/' as separator, all of which Windows reads as the parent), which
// would reach outside the directory it is joined to.
bool HasParentComponent(const char* name);
