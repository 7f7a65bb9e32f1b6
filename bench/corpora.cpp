#include "corpora.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
