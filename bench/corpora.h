// The benchmark's data: text-like and binary files gathered from the machine,
// and generated random bytes and zeros, each made once and kept.
#pragma once

#include <cstdint>
#include <string>

struct Corpus {
  std::string name;
  std::string path;  // the plain file
  uint64_t size;
};

// Makes (or finds, when already made at that size) the corpus file in dir.
Corpus MakeTextCorpus(const std::string& dir, uint64_t size);
Corpus MakeBinaryCorpus(const std::string& dir, uint64_t size);
Corpus MakeRandomCorpus(const std::string& dir, uint64_t size);
Corpus MakeZeroCorpus(const std::string& dir, uint64_t size);

// The first size bytes of a file, as a file of its own.
void WriteSlice(const std::string& from, const std::string& to, uint64_t size);

uint64_t FileSize(const std::string& path);
