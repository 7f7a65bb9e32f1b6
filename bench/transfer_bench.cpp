// make bench: the SZDD expander against libmspack's decoder and msexpand,
// CopyFileA against cp, FileCat against cat, on the same corpora; throughput,
// ratios and peak memory. Usage: transfer_bench WORKDIR
#include <fcntl.h>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec/compressor.h"
#include "codec/expander.h"
#include "codec/fd_stream.h"
#include "corpora.h"
#include "foundation/file_cat.h"
#include "measure.h"
#include "platform/win32.h"

namespace {

constexpr uint64_t kMiB = uint64_t(1) << 20;
constexpr uint64_t kMsexpandSlice = 1 * kMiB;

double MBps(uint64_t bytes, double seconds) { return bytes / seconds / 1e6; }

bool Compress(const std::string& in, const std::string& out) {
  int ifd = open(in.c_str(), O_RDONLY), ofd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  szdd::FdInput input(ifd);
  szdd::FdOutput output(ofd);
  szdd::Compressor compressor;
  bool ok = ifd >= 0 && ofd >= 0 &&
            compressor.Compress(input, output, static_cast<uint32_t>(FileSize(in)), 0) == szdd::Status::kOk;
  close(ifd);
  close(ofd);
  return ok;
}

bool ExpandOurs(const std::string& in, const std::string& out) {
  int ifd = open(in.c_str(), O_RDONLY), ofd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  szdd::FdInput input(ifd);
  szdd::FdOutput output(ofd);
  szdd::Expander expander;
  szdd::Header header;
  bool ok = ifd >= 0 && ofd >= 0 && expander.ExpandFile(input, output, UINT64_MAX, &header) == szdd::Status::kOk;
  close(ifd);
  return close(ofd) == 0 && ok;
}

bool ExpandMspack(const std::string& in, const std::string& out) {
  msszdd_decompressor* d = mspack_create_szdd_decompressor(nullptr);
  bool ok = d && d->decompress(d, in.c_str(), out.c_str()) == MSPACK_ERR_OK;
  if (d) mspack_destroy_szdd_decompressor(d);
  return ok;
}

bool SameFiles(const std::string& a, const std::string& b) {
  FILE* fa = std::fopen(a.c_str(), "rb");
  FILE* fb = std::fopen(b.c_str(), "rb");
  bool same = fa && fb;
  std::vector<char> x(kMiB), y(kMiB);
  while (same) {
    size_t n = std::fread(x.data(), 1, x.size(), fa), m = std::fread(y.data(), 1, y.size(), fb);
    same = n == m && std::memcmp(x.data(), y.data(), n) == 0;
    if (n == 0) break;
  }
  if (fa) std::fclose(fa);
  if (fb) std::fclose(fb);
  return same;
}

std::string WindowsPath(const std::string& host) {
  std::string w = "Z:" + host;
  for (char& c : w)
    if (c == '/') c = '\\';
  return w;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "transfer_bench: %s failed\n", what);
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: transfer_bench WORKDIR\n");
    return 2;
  }
  mkdir(argv[1], 0755);
  char real[PATH_MAX];
  Check(realpath(argv[1], real) != nullptr, "realpath");
  const std::string dir = real;
  // The platform layer's drive Z: is the host's root, in a prefix of our own.
  std::string prefix = dir + "/prefix";
  mkdir(prefix.c_str(), 0755);
  mkdir((prefix + "/dosdevices").c_str(), 0755);
  symlink("/", (prefix + "/dosdevices/z:").c_str());
  setenv("WINEPREFIX", prefix.c_str(), 1);

  std::printf("Building corpora in %s ...\n", dir.c_str());
  std::fflush(stdout);
  std::vector<Corpus> corpora = {MakeTextCorpus(dir, 64 * kMiB), MakeBinaryCorpus(dir, 64 * kMiB),
                                 MakeRandomCorpus(dir, 16 * kMiB), MakeZeroCorpus(dir, 16 * kMiB)};
  const std::string out = dir + "/out.dat";
  auto removeOut = [&] { unlink(out.c_str()); };

  std::printf("\nSZDD expansion, compressed file to a new output file; best of 3 runs (libmspack 2).\n");
  std::printf("msexpand reads and writes one byte per system call: it expands only the first %llu MiB of each\n"
              "corpus (compressed on its own), and its speed is for that slice.\n\n",
              static_cast<unsigned long long>(kMsexpandSlice / kMiB));
  std::printf("%-7s %7s %9s %7s | %10s %9s | %10s %9s | %7s | %10s\n", "corpus", "MiB", "compress", "ratio", "ours MB/s",
              "peak KiB", "mspack MB/s", "peak KiB", "speedup", "msexpand");
  double worstSpeedup = 1e30;
  for (const Corpus& c : corpora) {
    std::string packed = dir + "/" + c.name + ".sz_";
    auto start = std::chrono::steady_clock::now();
    Check(Compress(c.path, packed), "compression");
    double compressSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double ratio = double(FileSize(packed)) / double(c.size);

    Measurement ours = MeasureInChild([&] { return ExpandOurs(packed, out); }, 3, removeOut);
    Check(ours.ok && SameFiles(out, c.path), "our expansion");
    Measurement mspack = MeasureInChild([&] { return ExpandMspack(packed, out); }, 2, removeOut);
    Check(mspack.ok && SameFiles(out, c.path), "libmspack's expansion");

    std::string slice = dir + "/" + c.name + ".slice", slicePacked = slice + "_";
    WriteSlice(c.path, slice, kMsexpandSlice);
    Check(Compress(slice, slicePacked), "compression of the slice");
    Measurement ms = MeasureProgram({"/usr/bin/msexpand"}, slicePacked, out, 1, removeOut);
    Check(ms.ok && SameFiles(out, slice), "msexpand");

    double speedup = mspack.seconds / ours.seconds;
    worstSpeedup = std::min(worstSpeedup, speedup);
    std::printf("%-7s %7.0f %6.1fMB/s %6.1f%% | %10.0f %9ld | %11.1f %9ld | %6.1fx | %5.2f MB/s\n", c.name.c_str(),
                double(c.size) / kMiB, MBps(c.size, compressSeconds), 100 * ratio, MBps(c.size, ours.seconds),
                ours.peakKiB, MBps(c.size, mspack.seconds), mspack.peakKiB, speedup,
                MBps(kMsexpandSlice, ms.seconds));
    std::fflush(stdout);
  }
  std::printf("(MB/s of expanded bytes; peak KiB is the whole process's peak resident set.)\n");
  std::printf("Slowest expansion relative to libmspack: %.1fx (target 15x)\n", worstSpeedup);

  std::printf("\nCopying: CopyFileA of the POSIX layer against cp, to a new file; best of 3 runs.\n\n");
  std::printf("%-7s %7s | %12s %9s | %12s %9s | %6s\n", "corpus", "MiB", "CopyFileA MB/s", "peak KiB", "cp MB/s",
              "peak KiB", "ratio");
  double worstCopy = 1e30;
  for (const Corpus& c : corpora) {
    std::string from = WindowsPath(c.path), to = WindowsPath(out);
    Measurement ours =
        MeasureInChild([&] { return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0; }, 3, removeOut);
    Check(ours.ok && SameFiles(out, c.path), "CopyFileA");
    Measurement cp = MeasureProgram({"/bin/cp", c.path, out}, "", "", 3, removeOut);
    Check(cp.ok, "cp");
    double ratio = cp.seconds / ours.seconds;
    worstCopy = std::min(worstCopy, ratio);
    std::printf("%-7s %7.0f | %14.0f %9ld | %12.0f %9ld | %5.2fx\n", c.name.c_str(), double(c.size) / kMiB,
                MBps(c.size, ours.seconds), ours.peakKiB, MBps(c.size, cp.seconds), cp.peakKiB, ratio);
    std::fflush(stdout);
  }
  std::printf("Slowest copy relative to cp: %.2fx (target 0.9x)\n", worstCopy);

  std::printf("\nJoining four pieces: FileCat (8 KiB blocks, deletes each piece) against cat; best of 3 runs.\n\n");
  std::printf("%-7s %7s | %12s %9s | %12s %9s | %6s\n", "corpus", "MiB", "FileCat MB/s", "peak KiB", "cat MB/s",
              "peak KiB", "ratio");
  for (const Corpus& c : corpora) {
    std::vector<std::string> pieces, windowsPieces;
    uint64_t quarter = c.size / 4;
    // The pieces are cut from the corpus again before each run: FileCat
    // deletes them.
    auto cut = [&] {
      removeOut();
      int in = open(c.path.c_str(), O_RDONLY);
      for (int i = 0; i < 4; ++i) {
        int piece = open(pieces[i].c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (uint64_t left = quarter; left > 0;) {
          ssize_t n = copy_file_range(in, nullptr, piece, nullptr, left, 0);
          if (n <= 0) break;
          left -= uint64_t(n);
        }
        close(piece);
      }
      close(in);
    };
    for (int i = 1; i <= 4; ++i) {
      pieces.push_back(dir + "/piece" + std::to_string(i));
      windowsPieces.push_back(WindowsPath(pieces.back()));
    }
    std::string to = WindowsPath(out);
    Measurement ours = MeasureInChild(
        [&] {
          FileCat cat(to.c_str());
          for (const std::string& p : windowsPieces) cat.Append(p.c_str());
          return true;
        },
        3, cut);
    Check(ours.ok && FileSize(out) == 4 * quarter, "FileCat");
    Measurement cat = MeasureProgram({"/bin/cat", pieces[0], pieces[1], pieces[2], pieces[3]}, "", out, 3, cut);
    Check(cat.ok && FileSize(out) == 4 * quarter, "cat");
    std::printf("%-7s %7.0f | %12.0f %9ld | %12.0f %9ld | %5.2fx\n", c.name.c_str(), double(4 * quarter) / kMiB,
                MBps(4 * quarter, ours.seconds), ours.peakKiB, MBps(4 * quarter, cat.seconds), cat.peakKiB,
                cat.seconds / ours.seconds);
    std::fflush(stdout);
  }
  for (const char* name : {"piece1", "piece2", "piece3", "piece4", "out.dat"}) unlink((dir + "/" + name).c_str());
  return 0;
}
