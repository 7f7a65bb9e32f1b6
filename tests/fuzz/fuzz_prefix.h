// A prefix of its own for a fuzz target, made once per process in a file
// system in memory where there is one: drive C: and a Z: that is a folder of
// the prefix rather than the host's root, so that nothing a run reaches lies
// outside it. WINEPREFIX points there, TMP to C:\\temp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The prefix's host folder (made on the first call, removed at exit).
const std::string& FuzzPrefix();

// Writes data to the file name in the root of drive C: of the fuzz prefix.
void WriteFuzzFile(const char* name, const uint8_t* data, size_t size);

// Writes data to the file name in the fuzz prefix itself (system.reg, user.reg).
void WritePrefixFile(const char* name, const uint8_t* data, size_t size);

// Removes path and everything below it, read-only entries too, never
// following a link.
void RemoveTree(const std::string& path);
