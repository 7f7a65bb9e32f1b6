#include "corpora.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> found;
bool (*wanted)(const char* path, const struct stat& st);

int Collect(const char* path, const struct stat* st, int type, struct FTW*) {
  if (type == FTW_F && S_ISREG(st->st_mode) && st->st_size > 0 && wanted(path, *st)) found.push_back(path);
  return 0;
}

bool EndsWith(const std::string& s, const char* tail) {
  size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

bool IsTextLike(const char* path, const struct stat&) {
  std::string p = path;
  for (const char* skip : {".gz", ".xz", ".bz2", ".zst", ".png", ".jpg", ".gif", ".svgz", ".mo", ".ttf", ".otf",
                           ".pyc", ".so", ".a", ".deb", ".zip", ".jar", ".woff", ".woff2", ".ico"})
    if (EndsWith(p, skip)) return false;
  return true;
}

bool IsBinary(const char* path, const struct stat&) {
  std::string p = path;
  return p.find(".so") != std::string::npos || EndsWith(p, ".a") || p.find("/bin/") != std::string::npos;
}

void Fail(const std::string& what) {
  std::perror(what.c_str());
  std::exit(2);
}

// Concatenates the files found under roots (sorted, so the same machine gives
// the same corpus) until size bytes, starting over when they run out.
void Gather(const std::string& out, uint64_t size, std::initializer_list<const char*> roots,
            bool (*filter)(const char*, const struct stat&)) {
  found.clear();
  wanted = filter;
  for (const char* root : roots) nftw(root, Collect, 32, FTW_PHYS);
  std::sort(found.begin(), found.end());
  if (found.empty()) Fail("no files for " + out);
  int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) Fail(out);
  std::vector<char> buffer(1 << 20);
  uint64_t written = 0;
  for (size_t i = 0; written < size; i = (i + 1) % found.size()) {
    int in = open(found[i].c_str(), O_RDONLY);
    if (in < 0) continue;
    ssize_t n;
    while (written < size && (n = read(in, buffer.data(), buffer.size())) > 0) {
      size_t part = static_cast<size_t>(std::min<uint64_t>(uint64_t(n), size - written));
      if (write(fd, buffer.data(), part) != ssize_t(part)) Fail(out);
      written += part;
    }
    close(in);
  }
  close(fd);
}

void Generate(const std::string& out, uint64_t size, bool random) {
  int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) Fail(out);
  std::vector<uint64_t> block(1 << 17);
  uint64_t state = 0x2545F4914F6CDD1DULL;
  for (uint64_t written = 0; written < size;) {
    for (uint64_t& w : block) {
      if (random) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
      }
      w = random ? state : 0;
    }
    size_t part = static_cast<size_t>(std::min<uint64_t>(block.size() * 8, size - written));
    if (write(fd, block.data(), part) != ssize_t(part)) Fail(out);
    written += part;
  }
  close(fd);
}

Corpus Made(const std::string& dir, const char* name, uint64_t size, bool* present) {
  Corpus c{name, dir + "/" + name + ".dat", size};
  *present = FileSize(c.path) == size;
  return c;
}

}  // namespace

uint64_t FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
}

Corpus MakeTextCorpus(const std::string& dir, uint64_t size) {
  bool present;
  Corpus c = Made(dir, "text", size, &present);
  if (!present) Gather(c.path, size, {"/usr/include", "/usr/share/doc", "/usr/share/perl", "/usr/share"}, IsTextLike);
  return c;
}

Corpus MakeBinaryCorpus(const std::string& dir, uint64_t size) {
  bool present;
  Corpus c = Made(dir, "binary", size, &present);
  if (!present) Gather(c.path, size, {"/usr/lib/x86_64-linux-gnu", "/usr/bin", "/usr/lib"}, IsBinary);
  return c;
}

Corpus MakeRandomCorpus(const std::string& dir, uint64_t size) {
  bool present;
  Corpus c = Made(dir, "random", size, &present);
  if (!present) Generate(c.path, size, true);
  return c;
}

Corpus MakeZeroCorpus(const std::string& dir, uint64_t size) {
  bool present;
  Corpus c = Made(dir, "zeros", size, &present);
  if (!present) Generate(c.path, size, false);
  return c;
}

void WriteSlice(const std::string& from, const std::string& to, uint64_t size) {
  int in = open(from.c_str(), O_RDONLY), out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) Fail(to);
  std::vector<char> buffer(static_cast<size_t>(size));
  ssize_t n = read(in, buffer.data(), buffer.size());
  if (n < 0 || write(out, buffer.data(), size_t(n)) != n) Fail(to);
  close(in);
  close(out);
}

namespace {

// A small reproducible generator (xorshift).
struct Random {
  uint64_t state;
  explicit Random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ULL + 0x2545F4914F6CDD1DULL) {}
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<uint32_t>(state >> 16);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
};

void Put16(std::string* s, uint32_t v) {
  s->push_back(static_cast<char>(v));
  s->push_back(static_cast<char>(v >> 8));
}
void Put32(std::string* s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

void WriteRepeated(const std::string& out, uint64_t size, std::string (*make)(uint32_t seed)) {
  int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) Fail(out);
  for (uint64_t written = 0, seed = 1; written < size; ++seed) {
    std::string file = make(static_cast<uint32_t>(seed));
    size_t part = static_cast<size_t>(std::min<uint64_t>(file.size(), size - written));
    if (write(fd, file.data(), part) != ssize_t(part)) Fail(out);
    written += part;
  }
  close(fd);
}

}  // namespace

std::string BitmapFile(uint32_t seed) {
  constexpr int kWidth = 640, kHeight = 480;
  Random r(seed);
  std::string s = "BM";
  uint32_t pixels = 54 + 1024;
  Put32(&s, pixels + kWidth * kHeight);
  Put32(&s, 0);
  Put32(&s, pixels);
  Put32(&s, 40);
  Put32(&s, kWidth);
  Put32(&s, kHeight);
  Put16(&s, 1);
  Put16(&s, 8);
  for (uint32_t v : {0u, uint32_t(kWidth * kHeight), 2835u, 2835u, 256u, 0u}) Put32(&s, v);
  // A palette of ramps, as a game's art would have.
  for (int i = 0; i < 256; ++i) {
    int ramp = i / 32, level = (i % 32) * 8;
    for (int c = 0; c < 3; ++c) s.push_back(static_cast<char>((ramp >> c) & 1 ? level : level / 3));
    s.push_back(0);
  }
  std::vector<uint8_t> image(kWidth * kHeight);
  // A background gradient in one ramp, dithered.
  int ramp = r.Below(8) * 32;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) image[y * kWidth + x] = static_cast<uint8_t>(ramp + ((y * 16 / kHeight + r.Below(12)) & 31));
  // Shapes: filled rectangles and circles with shading, some noisy.
  for (int n = 0, shapes = 6 + r.Below(10); n < shapes; ++n) {
    int cx = r.Below(kWidth), cy = r.Below(kHeight), w = 20 + r.Below(200), h = 20 + r.Below(160);
    int color = r.Below(8) * 32, noise = r.Below(2) == 0 ? 4 : 1;
    bool circle = r.Below(2) == 0;
    for (int y = std::max(0, cy - h); y < std::min(kHeight, cy + h); ++y)
      for (int x = std::max(0, cx - w); x < std::min(kWidth, cx + w); ++x) {
        double dx = double(x - cx) / w, dy = double(y - cy) / h;
        if (circle && dx * dx + dy * dy > 1) continue;
        int shade = 16 + int(12 * dx) + (noise > 1 ? r.Below(noise) : 0);
        image[y * kWidth + x] = static_cast<uint8_t>(color + std::clamp(shade, 0, 31));
      }
  }
  s.append(reinterpret_cast<const char*>(image.data()), image.size());
  return s;
}

std::string WaveFile(uint32_t seed, size_t size) {
  Random r(seed);
  bool wide = seed % 2 == 0;  // 16-bit stereo, else 8-bit mono
  int channels = wide ? 2 : 1, bits = wide ? 16 : 8, rate = 22050;
  size_t frames = (size - 44) / (channels * bits / 8);
  uint32_t data = static_cast<uint32_t>(frames * channels * bits / 8);
  std::string s = "RIFF";
  Put32(&s, 36 + data);
  s += "WAVEfmt ";
  Put32(&s, 16);
  Put16(&s, 1);
  Put16(&s, channels);
  Put32(&s, rate);
  Put32(&s, rate * channels * bits / 8);
  Put16(&s, channels * bits / 8);
  Put16(&s, bits);
  s += "data";
  Put32(&s, data);
  // Notes of a few harmonics with a little noise, and some silence between.
  double phase = 0, step = 0, level = 0;
  int left = 0;
  for (size_t i = 0; i < frames; ++i) {
    if (left-- <= 0) {
      left = 2000 + r.Below(20000);
      step = r.Below(4) == 0 ? 0 : 2 * 3.14159265 * (110 + r.Below(880)) / rate;
      level = step == 0 ? 0 : 0.1 + r.Below(50) / 100.0;
    }
    phase += step;
    double v = level * (0.6 * std::sin(phase) + 0.3 * std::sin(2 * phase) + 0.1 * std::sin(3 * phase));
    for (int c = 0; c < channels; ++c) {
      if (wide) {
        int sample = step == 0 ? 0 : int(v * 32000) + r.Below(64) - 32;
        Put16(&s, static_cast<uint16_t>(std::clamp(sample, -32768, 32767)));
      } else {
        int sample = 128 + (step == 0 ? 0 : int(v * 120) + r.Below(3) - 1);
        s.push_back(static_cast<char>(std::clamp(sample, 0, 255)));
      }
    }
  }
  return s;
}

Corpus MakeBitmapCorpus(const std::string& dir, uint64_t size) {
  bool present;
  Corpus c = Made(dir, "bitmaps", size, &present);
  if (!present) WriteRepeated(c.path, size, BitmapFile);
  return c;
}

Corpus MakeWaveCorpus(const std::string& dir, uint64_t size) {
  bool present;
  Corpus c = Made(dir, "waves", size, &present);
  if (!present) WriteRepeated(c.path, size, [](uint32_t seed) { return WaveFile(seed, 1 << 20); });
  return c;
}
