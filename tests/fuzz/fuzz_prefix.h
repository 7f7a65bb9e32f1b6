// A prefix of its own for a fuzz target: drive C: in a temporary folder, made
// once per process, and a way to put one input there as a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes data to the file name in the root of drive C: of the fuzz prefix.
void WriteFuzzFile(const char* name, const uint8_t* data, size_t size);

// Writes data to the file name in the fuzz prefix itself (system.reg, user.reg).
void WritePrefixFile(const char* name, const uint8_t* data, size_t size);
