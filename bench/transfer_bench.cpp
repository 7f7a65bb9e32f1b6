// make bench: the SZDD expander against 7-Zip, libmspack's decoder and
// msexpand, the compressor against mscompress, CopyFileA against cp, FileCat
// against cat and dd, on the same corpora (text, binaries, random bytes,
// zeros, game-like bitmaps and sound). The contenders of one measurement take
// turns, round after round, and the medians are reported with their ratios;
// every contender's output is compared with the expected bytes after every
// run, before any figure is printed. Usage: transfer_bench WORKDIR
#include <fcntl.h>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
// msexpand and mscompress read or write one byte per system call: they get
// the first slice of each corpus, and ours is measured on the same slice.
constexpr uint64_t kMsexpandSlice = 1 * kMiB;
constexpr uint64_t kMscompressSlice = 2 * kMiB;
constexpr int kRounds = 5;

double MBps(uint64_t bytes, double seconds) { return bytes / seconds / 1e6; }

double Seconds(const std::chrono::steady_clock::time_point& start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool Compress(const std::string& in, const std::string& out) {
  int ifd = open(in.c_str(), O_RDONLY), ofd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  szdd::FdInput input(ifd);
  szdd::FdOutput output(ofd);
  szdd::Compressor compressor;
  bool ok = ifd >= 0 && ofd >= 0 &&
            compressor.Compress(input, output, static_cast<uint32_t>(FileSize(in)), 0) == szdd::Status::kOk;
  close(ifd);
  return close(ofd) == 0 && ok;
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

void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::fprintf(stderr, "transfer_bench: %s failed\n", what.c_str());
    std::exit(1);
  }
}

// One run of a contender, its output checked against expected.
void Run(Samples* samples, const Measurement& m, const std::string& out, const std::string& expected,
         const std::string& what) {
  Check(m.ok, what);
  Check(SameFiles(out, expected), what + " (output differs)");
  samples->Add(m);
}

void Expansion(const std::string& dir, const std::vector<Corpus>& corpora) {
  const std::string out = dir + "/out.dat";
  auto removeOut = [&] { unlink(out.c_str()); };
  std::printf("\nSZDD expansion, compressed file to a new output file; %d rounds, contenders in turn, medians.\n",
              kRounds);
  std::printf("msexpand expands only the first %llu MiB of each corpus (compressed on its own), once, against\n"
              "ours on the same slice.\n\n",
              static_cast<unsigned long long>(kMsexpandSlice / kMiB));
  std::printf("%-7s %4s %6s | %9s %8s | %8s %6s | %8s %6s | %8s %7s\n", "corpus", "MiB", "packed", "ours MB/s",
              "peak KiB", "7zz MB/s", "ratio", "mspack", "ratio", "msexpand", "ratio");
  double worst7z = 1e30, worstMspack = 1e30, slowest = 1e30;
  std::string slowestName;
  for (const Corpus& c : corpora) {
    std::string packed = dir + "/" + c.name + ".sz_";
    if (FileSize(packed) == 0) Check(Compress(c.path, packed), "compression of " + c.name);
    double ratio = double(FileSize(packed)) / double(c.size);
    Samples ours, sevenZip, mspack;
    for (int round = 0; round < kRounds; ++round) {
      Run(&ours, MeasureInChild([&] { return ExpandOurs(packed, out); }, 1, removeOut), out, c.path,
          "our expansion of " + c.name);
      Run(&sevenZip, MeasureProgram({"/usr/bin/7zz", "e", "-so", packed}, "", out, 1, removeOut), out, c.path,
          "7zz e -so on " + c.name);
      Run(&mspack, MeasureInChild([&] { return ExpandMspack(packed, out); }, 1, removeOut), out, c.path,
          "libmspack on " + c.name);
    }
    std::string slice = dir + "/" + c.name + ".slice", slicePacked = slice + "_";
    WriteSlice(c.path, slice, kMsexpandSlice);
    Check(Compress(slice, slicePacked), "compression of the slice");
    Samples oursSlice, ms;
    for (int round = 0; round < 3; ++round)
      Run(&oursSlice, MeasureInChild([&] { return ExpandOurs(slicePacked, out); }, 1, removeOut), out, slice,
          "our expansion of the slice");
    Run(&ms, MeasureProgram({"/usr/bin/msexpand"}, slicePacked, out, 1, removeOut), out, slice, "msexpand");

    double o = ours.Median();
    worst7z = std::min(worst7z, sevenZip.Median() / o);
    worstMspack = std::min(worstMspack, mspack.Median() / o);
    if (MBps(c.size, o) < slowest) slowest = MBps(c.size, o), slowestName = c.name;
    std::printf("%-7s %4.0f %5.1f%% | %9.0f %8ld | %8.0f %5.1fx | %8.1f %5.1fx | %8.2f %6.0fx\n", c.name.c_str(),
                double(c.size) / kMiB, 100 * ratio, MBps(c.size, o), ours.peakKiB, MBps(c.size, sevenZip.Median()),
                sevenZip.Median() / o, MBps(c.size, mspack.Median()), mspack.Median() / o,
                MBps(kMsexpandSlice, ms.Median()), ms.Median() / oursSlice.Median());
    std::fflush(stdout);
    unlink(slice.c_str());
    unlink(slicePacked.c_str());
  }
  removeOut();
  std::printf("(MB/s of expanded bytes; ratio: how many times faster ours is; peak KiB: the process's peak\n"
              "resident set.) Slowest corpus: %s at %.0f MB/s (target 800). Least lead: %.1fx over 7zz, %.1fx over\n"
              "libmspack.\n",
              slowestName.c_str(), slowest, worst7z, worstMspack);
}

void Compression(const std::string& dir, const std::vector<Corpus>& corpora) {
  std::printf("\nSZDD compression against mscompress, on the first %llu MiB of each corpus; ours %d rounds\n"
              "(median), mscompress once. Sizes in bytes; both outputs are expanded again and checked.\n\n",
              static_cast<unsigned long long>(kMscompressSlice / kMiB), kRounds);
  std::printf("%-7s | %10s %10s | %10s %10s | %7s %11s | %11s\n", "corpus", "ours MB/s", "ours size", "msc MB/s",
              "msc size", "speedup", "size diff", "whole MB/s");
  const std::string check = dir + "/check.dat";
  for (const Corpus& c : corpora) {
    std::string slice = dir + "/" + c.name + ".mscslice", ours = dir + "/" + c.name + ".ours_";
    std::string theirs = slice + "_";  // mscompress writes its output beside the input
    WriteSlice(c.path, slice, kMscompressSlice);
    Samples oursTimes, mscTimes;
    for (int round = 0; round < kRounds; ++round) {
      oursTimes.Add(MeasureInChild([&] { return Compress(slice, ours); }, 1));
      if (round == 0) mscTimes.Add(MeasureProgram({"/usr/bin/mscompress", slice}, "", "/dev/null", 1));
    }
    Check(ExpandOurs(ours, check) && SameFiles(check, slice), "our compression of " + c.name);
    Check(ExpandOurs(theirs, check) && SameFiles(check, slice), "mscompress on " + c.name);
    long long oursSize = static_cast<long long>(FileSize(ours)), theirSize = static_cast<long long>(FileSize(theirs));
    // The whole corpus once, for the compressor's speed on large inputs.
    auto start = std::chrono::steady_clock::now();
    std::string whole = dir + "/" + c.name + ".sz_";
    Check(Compress(c.path, whole), "compression of " + c.name);
    double wholeSeconds = Seconds(start);
    std::printf("%-7s | %10.1f %10lld | %10.2f %10lld | %6.0fx %+11lld | %11.1f\n", c.name.c_str(),
                MBps(kMscompressSlice, oursTimes.Median()), oursSize, MBps(kMscompressSlice, mscTimes.Median()),
                theirSize, mscTimes.Median() / oursTimes.Median(), oursSize - theirSize,
                MBps(c.size, wholeSeconds));
    std::fflush(stdout);
    for (const std::string& f : {slice, ours, theirs, check}) unlink(f.c_str());
  }
  std::printf("(size diff: our output's size minus mscompress's; negative is smaller.)\n");
}

void Copying(const std::string& dir, const std::vector<Corpus>& corpora) {
  const std::string out = dir + "/out.dat";
  auto removeOut = [&] { unlink(out.c_str()); };
  std::printf("\nCopying to a new file: CopyFileA of the POSIX layer against cp; %d rounds, in turn, medians.\n\n",
              kRounds);
  std::printf("%-7s %4s | %14s %9s | %9s %9s | %6s\n", "corpus", "MiB", "CopyFileA MB/s", "peak KiB", "cp MB/s",
              "peak KiB", "ratio");
  double worst = 1e30;
  for (const Corpus& c : corpora) {
    std::string from = WindowsPath(c.path), to = WindowsPath(out);
    Samples ours, cp;
    for (int round = 0; round < kRounds; ++round) {
      Run(&ours, MeasureInChild([&] { return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0; }, 1, removeOut),
          out, c.path, "CopyFileA of " + c.name);
      Run(&cp, MeasureProgram({"/bin/cp", c.path, out}, "", "", 1, removeOut), out, c.path, "cp of " + c.name);
    }
    double ratio = cp.Median() / ours.Median();
    worst = std::min(worst, ratio);
    std::printf("%-7s %4.0f | %14.0f %9ld | %9.0f %9ld | %5.2fx\n", c.name.c_str(), double(c.size) / kMiB,
                MBps(c.size, ours.Median()), ours.peakKiB, MBps(c.size, cp.Median()), cp.peakKiB, ratio);
    std::fflush(stdout);
  }
  removeOut();
  std::printf("(ratio: cp's time over ours.) Slowest copy relative to cp: %.2fx (target 0.9x)\n", worst);
}

void Joining(const std::string& dir, const std::vector<Corpus>& corpora) {
  const std::string out = dir + "/out.dat";
  std::printf("\nJoining four pieces into a new file: FileCat (8 KiB blocks, deletes each piece) against cat and\n"
              "dd bs=8192; %d rounds, in turn, medians.\n\n",
              kRounds);
  std::printf("%-7s %4s | %12s %9s | %9s %6s | %9s %6s\n", "corpus", "MiB", "FileCat MB/s", "peak KiB", "cat MB/s",
              "ratio", "dd MB/s", "ratio");
  std::vector<std::string> pieces, windowsPieces;
  for (int i = 1; i <= 4; ++i) {
    pieces.push_back(dir + "/piece" + std::to_string(i));
    windowsPieces.push_back(WindowsPath(pieces.back()));
  }
  const std::string to = WindowsPath(out);
  for (const Corpus& c : corpora) {
    uint64_t quarter = c.size / 4;
    // The pieces are cut from the corpus again before each run: FileCat
    // deletes them.
    auto cut = [&] {
      unlink(out.c_str());
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
    std::string expected = c.path;
    if (4 * quarter != c.size) {
      expected = dir + "/joined.expected";
      WriteSlice(c.path, expected, 4 * quarter);
    }
    std::string ddScript = "for p in '" + pieces[0] + "' '" + pieces[1] + "' '" + pieces[2] + "' '" + pieces[3] +
                           "'; do dd if=\"$p\" bs=8192 status=none; done";
    Samples ours, cat, dd;
    for (int round = 0; round < kRounds; ++round) {
      Run(&ours, MeasureInChild(
                     [&] {
                       FileCat join(to.c_str());
                       for (const std::string& p : windowsPieces) join.Append(p.c_str());
                       return true;
                     },
                     1, cut),
          out, expected, "FileCat on " + c.name);
      Run(&cat, MeasureProgram({"/bin/cat", pieces[0], pieces[1], pieces[2], pieces[3]}, "", out, 1, cut), out,
          expected, "cat on " + c.name);
      Run(&dd, MeasureProgram({"/bin/sh", "-c", ddScript}, "", out, 1, cut), out, expected, "dd on " + c.name);
    }
    uint64_t bytes = 4 * quarter;
    std::printf("%-7s %4.0f | %12.0f %9ld | %9.0f %5.2fx | %9.0f %5.2fx\n", c.name.c_str(), double(bytes) / kMiB,
                MBps(bytes, ours.Median()), ours.peakKiB, MBps(bytes, cat.Median()), cat.Median() / ours.Median(),
                MBps(bytes, dd.Median()), dd.Median() / ours.Median());
    std::fflush(stdout);
    if (expected != c.path) unlink(expected.c_str());
  }
  std::printf("(ratio: the peer's time over ours; FileCat copies in 8 KiB blocks, as dd bs=8192 does.)\n");
  for (const std::string& p : pieces) unlink(p.c_str());
  unlink(out.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: transfer_bench WORKDIR [compression|expansion|copying|joining]...\n");
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
  std::vector<Corpus> corpora = {MakeTextCorpus(dir, 64 * kMiB),   MakeBinaryCorpus(dir, 64 * kMiB),
                                 MakeRandomCorpus(dir, 16 * kMiB), MakeZeroCorpus(dir, 16 * kMiB),
                                 MakeBitmapCorpus(dir, 32 * kMiB), MakeWaveCorpus(dir, 32 * kMiB)};
  // Sections may be named after the directory to run only those.
  auto wanted = [&](const char* name) {
    if (argc == 2) return true;
    for (int i = 2; i < argc; ++i)
      if (std::strcmp(argv[i], name) == 0) return true;
    return false;
  };
  // Each section starts with the data written before it on the disk, so that
  // no contender pays for the writing back of another's output.
  for (auto [name, section] : {std::pair{"compression", Compression}, std::pair{"expansion", Expansion},
                               std::pair{"copying", Copying}, std::pair{"joining", Joining}}) {
    if (!wanted(name)) continue;
    sync();
    section(dir, corpora);
  }
  return 0;
}
