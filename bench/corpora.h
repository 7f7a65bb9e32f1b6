// The benchmark's data: text-like and binary files gathered from the machine,
// generated random bytes and zeros, and generated game-like data (8-bit
// bitmaps and WAV-like sound), each made once and kept.
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
// 8-bit BMP images of 640x480 (gradients, shapes, dithered noise), end to end.
Corpus MakeBitmapCorpus(const std::string& dir, uint64_t size);
// WAV files of 8-bit mono and 16-bit stereo samples (tones, noise, silence).
Corpus MakeWaveCorpus(const std::string& dir, uint64_t size);

// One generated BMP or WAV file of about size bytes (the update benchmark's
// files); seed varies the content.
std::string BitmapFile(uint32_t seed);
std::string WaveFile(uint32_t seed, size_t size);

// The first size bytes of a file, as a file of its own.
void WriteSlice(const std::string& from, const std::string& to, uint64_t size);

uint64_t FileSize(const std::string& path);
