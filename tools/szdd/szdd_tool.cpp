// szdd: compresses files into the SZDD format that the Windows LZ library
// (LZ32, EXPAND.EXE) expands, expands them again, and shows their header.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "codec/compressor.h"
#include "codec/expander.h"
#include "codec/fd_stream.h"

namespace {

enum Exit {
  kOk = 0,
  kUsage = 1,
  kInputError = 2,
  kOutputError = 3,
  kNotSzdd = 4,
  kDamaged = 5,
  kTooLarge = 6,
  kChanged = 7,
};

const char kUsageText[] =
    "usage: szdd compress IN OUT   compress IN into the SZDD file OUT\n"
    "       szdd expand IN OUT     expand the SZDD file IN into OUT\n"
    "       szdd info IN           show the header of the SZDD file IN\n"
    "\n"
    "compress stores the last character of IN's name in the header when OUT's\n"
    "name ends in '_' (as COMPRESS.EXE -r does), else 0. expand reads the data\n"
    "to its end, as the Windows LZ library does, and warns when the header\n"
    "states another length. A failed command removes the OUT it began.\n"
    "\n"
    "exit status: 0 done; 1 usage; 2 IN cannot be opened or read; 3 OUT cannot\n"
    "be created or written; 4 IN is not an SZDD file (or of an unknown mode);\n"
    "5 IN is damaged (its data ends inside a match); 6 IN is 4 GiB or larger;\n"
    "7 IN changed its length while it was compressed.\n";

int Fail(int code, const std::string& what, int err = 0) {
  if (err)
    std::fprintf(stderr, "szdd: %s: %s\n", what.c_str(), std::strerror(err));
  else
    std::fprintf(stderr, "szdd: %s\n", what.c_str());
  return code;
}

// An open file descriptor, closed when it goes.
struct Fd {
  explicit Fd(int value) : fd(value) {}
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  int fd;
};

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Closes OUT and keeps it on success; removes it otherwise.
int Finish(Fd& out, const char* name, int code) {
  int fd = out.fd;
  out.fd = -1;
  if (close(fd) != 0 && code == kOk) code = Fail(kOutputError, std::string("cannot write ") + name, errno);
  if (code != kOk) unlink(name);
  return code;
}

int Compress(const char* inName, const char* outName) {
  Fd in(open(inName, O_RDONLY | O_CLOEXEC));
  if (in.fd < 0) return Fail(kInputError, std::string("cannot open ") + inName, errno);
  struct stat st;
  if (fstat(in.fd, &st) != 0) return Fail(kInputError, std::string("cannot read ") + inName, errno);
  if (!S_ISREG(st.st_mode)) return Fail(kInputError, std::string(inName) + " is not a regular file");
  if (st.st_size > off_t(UINT32_MAX)) return Fail(kTooLarge, std::string(inName) + " is 4 GiB or larger");

  std::string base = BaseName(inName);
  uint8_t missing = 0;
  size_t outLen = std::strlen(outName);
  if (outLen && outName[outLen - 1] == '_' && !base.empty() && base.back() != '_')
    missing = static_cast<uint8_t>(base.back());

  Fd out(open(outName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (out.fd < 0) return Fail(kOutputError, std::string("cannot create ") + outName, errno);
  szdd::FdInput input(in.fd);
  szdd::FdOutput output(out.fd);
  szdd::Compressor compressor;
  switch (compressor.Compress(input, output, static_cast<uint32_t>(st.st_size), missing)) {
    case szdd::Status::kOk: return Finish(out, outName, kOk);
    case szdd::Status::kReadError:
      return Finish(out, outName, Fail(kInputError, std::string("cannot read ") + inName, input.error()));
    case szdd::Status::kWriteError:
      return Finish(out, outName, Fail(kOutputError, std::string("cannot write ") + outName, output.error()));
    case szdd::Status::kTooLarge:
      return Finish(out, outName, Fail(kTooLarge, std::string(inName) + " is 4 GiB or larger"));
    default: return Finish(out, outName, Fail(kChanged, std::string(inName) + " changed while it was compressed"));
  }
}

int Expand(const char* inName, const char* outName) {
  Fd in(open(inName, O_RDONLY | O_CLOEXEC));
  if (in.fd < 0) return Fail(kInputError, std::string("cannot open ") + inName, errno);
  szdd::FdInput input(in.fd);
  uint8_t bytes[szdd::kHeaderSize];
  ptrdiff_t n = szdd::ReadFully(input, bytes, sizeof bytes);
  if (n < 0) return Fail(kInputError, std::string("cannot read ") + inName, input.error());
  szdd::Header header;
  switch (szdd::ParseHeader(bytes, static_cast<size_t>(n), &header)) {
    case szdd::HeaderKind::kNotSzdd: return Fail(kNotSzdd, std::string(inName) + " is not an SZDD file");
    case szdd::HeaderKind::kUnknownMode: {
      char text[64];
      std::snprintf(text, sizeof text, " uses the unknown compression mode 0x%02X", header.mode);
      return Fail(kNotSzdd, inName + std::string(text));
    }
    case szdd::HeaderKind::kSzdd: break;
  }

  Fd out(open(outName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (out.fd < 0) return Fail(kOutputError, std::string("cannot create ") + outName, errno);
  szdd::FdOutput output(out.fd);
  szdd::Expander expander;
  uint64_t produced = 0;
  switch (expander.Expand(input, output, UINT64_MAX, 0, &produced)) {
    case szdd::Status::kOk: break;
    case szdd::Status::kReadError:
      return Finish(out, outName, Fail(kInputError, std::string("cannot read ") + inName, input.error()));
    case szdd::Status::kWriteError:
      return Finish(out, outName, Fail(kOutputError, std::string("cannot write ") + outName, output.error()));
    default:
      return Finish(out, outName, Fail(kDamaged, std::string(inName) + " is damaged: its data ends inside a match"));
  }
  if (produced != header.length)
    std::fprintf(stderr, "szdd: warning: %s states %u bytes, its data gave %llu\n", inName, header.length,
                 static_cast<unsigned long long>(produced));
  return Finish(out, outName, kOk);
}

int Info(const char* inName) {
  Fd in(open(inName, O_RDONLY | O_CLOEXEC));
  if (in.fd < 0) return Fail(kInputError, std::string("cannot open ") + inName, errno);
  struct stat st;
  szdd::FdInput input(in.fd);
  uint8_t bytes[szdd::kHeaderSize];
  ptrdiff_t n = szdd::ReadFully(input, bytes, sizeof bytes);
  if (n < 0 || fstat(in.fd, &st) != 0) return Fail(kInputError, std::string("cannot read ") + inName, errno);
  szdd::Header header;
  szdd::HeaderKind kind = szdd::ParseHeader(bytes, static_cast<size_t>(n), &header);
  if (kind == szdd::HeaderKind::kNotSzdd) return Fail(kNotSzdd, std::string(inName) + " is not an SZDD file");
  std::printf("file:              %s\n", inName);
  std::printf("mode:              '%c' (0x%02X)%s\n", header.mode >= 0x20 && header.mode < 0x7F ? header.mode : '?',
              header.mode, kind == szdd::HeaderKind::kSzdd ? "" : ", unknown");
  if (header.missingChar >= 0x20 && header.missingChar < 0x7F)
    std::printf("missing character: '%c'\n", header.missingChar);
  else if (header.missingChar == 0)
    std::printf("missing character: none\n");
  else
    std::printf("missing character: 0x%02X\n", header.missingChar);
  std::printf("expanded length:   %u\n", header.length);
  std::printf("compressed size:   %lld", static_cast<long long>(st.st_size));
  if (header.length) std::printf(" (%.1f%% of expanded)", 100.0 * double(st.st_size) / header.length);
  std::printf("\n");
  return kind == szdd::HeaderKind::kSzdd ? kOk : kNotSzdd;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "compress" && argc == 4) return Compress(argv[2], argv[3]);
    if (command == "expand" && argc == 4) return Expand(argv[2], argv[3]);
    if (command == "info" && argc == 3) return Info(argv[2]);
    if (command == "-h" || command == "--help" || command == "help") {
      std::fputs(kUsageText, stdout);
      return kOk;
    }
    std::fputs(kUsageText, stderr);
    return kUsage;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "szdd: out of memory\n");
    return kOutputError;
  }
}
