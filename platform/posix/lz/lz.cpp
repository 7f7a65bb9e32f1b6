// The LZ expansion library: LZOpenFileA, LZCopy, LZSeek and LZClose over our
// own file calls, with the SZDD codec behind compressed files.
//
// As in the Windows library, a file opened for reading that is in the SZDD
// format (mode 'A') reads as its expanded content, and any other file (also
// one shorter than a header) reads unchanged. The expanded length that LZSeek
// reports is the header's; LZCopy expands until the compressed data ends and
// reports data that ends inside a match as a read error. At most 16
// compressed files are open at once, as in Wine; plain files do not count.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "codec/expander.h"
#include "platform/posix/text/errors.h"
#include "platform/posix/files/handles.h"
#include "platform/posix/files/syscalls.h"
#include "lz_api.h"

using namespace posix;

namespace {

constexpr int kMaxCompressed = 16;
constexpr DWORD kBlock = DWORD(1) << 20;
constexpr WORD kKnownStyles = 0x0003 | 0x0070 | OF_CREATE;

struct LzFile {
  HANDLE file = INVALID_HANDLE_VALUE;
  bool compressed = false;
  uint32_t length = 0;    // compressed: the header's expanded length
  int64_t position = 0;  // compressed: position in the expanded content
};

std::vector<LzFile> files;  // indexed by handle; a closed slot has no file

LzFile* Find(INT handle) {
  if (handle < 0 || static_cast<size_t>(handle) >= files.size() || files[handle].file == INVALID_HANDLE_VALUE)
    return nullptr;
  return &files[handle];
}

int CompressedCount() {
  int n = 0;
  for (const LzFile& f : files) n += f.file != INVALID_HANDLE_VALUE && f.compressed;
  return n;
}

// Returns the new handle; raises std::bad_alloc.
INT AddLzFile(const LzFile& file) {
  size_t slot = 0;
  while (slot < files.size() && files[slot].file != INVALID_HANDLE_VALUE) ++slot;
  if (slot == files.size()) files.emplace_back();
  files[slot] = file;
  return static_cast<INT>(slot);
}

class HandleInput : public szdd::Input {
 public:
  explicit HandleInput(HANDLE file) : file_(file) {}
  ptrdiff_t Read(void* buffer, size_t size) override {
    DWORD n = 0;
    if (!ReadFile(file_, buffer, static_cast<DWORD>(size < kBlock ? size : kBlock), &n, nullptr)) return -1;
    return static_cast<ptrdiff_t>(n);
  }

 private:
  HANDLE file_;
};

class HandleOutput : public szdd::Output {
 public:
  explicit HandleOutput(HANDLE file) : file_(file) {}
  bool Write(const void* data, size_t size) override {
    auto p = static_cast<const char*>(data);
    while (size > 0) {
      DWORD part = static_cast<DWORD>(size < kBlock ? size : kBlock), written = 0;
      // A short write is a full disk: nothing may be lost without a word.
      if (!WriteFile(file_, p, part, &written, nullptr) || written != part) return false;
      p += part;
      size -= part;
    }
    return true;
  }

 private:
  HANDLE file_;
};

// The most bytes one LZCopy can report.
constexpr uint64_t kMaxCopy = 0x7FFFFFFF;

LONG CopyPlain(HANDLE source, HANDLE dest) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBlock]);
  if (!buffer) return LZERROR_GLOBALLOC;
  HandleOutput out(dest);
  uint64_t total = 0;
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(source, buffer.get(), kBlock, &n, nullptr)) return LZERROR_READ;
    if (n == 0) return static_cast<LONG>(total);
    if (total + n > kMaxCopy || !out.Write(buffer.get(), n)) return LZERROR_WRITE;
    total += n;
  }
}

LONG CopyExpanded(LzFile* source, HANDLE dest) {
  // Every copy expands from the start of the data and drops what lies before
  // the position, so that it does not depend on earlier reads of the handle.
  OpenFile* file = FindFile(source->file);
  if (!file || sys.lseek(file->fd, szdd::kHeaderSize, SEEK_SET) != off_t(szdd::kHeaderSize)) return LZERROR_READ;
  std::unique_ptr<szdd::Expander> expander(new (std::nothrow) szdd::Expander);
  if (!expander) return LZERROR_GLOBALLOC;
  HandleInput in(source->file);
  HandleOutput out(dest);
  uint64_t skip = static_cast<uint64_t>(source->position), produced = 0;
  szdd::Status status = expander->Expand(in, out, skip + kMaxCopy, skip, &produced);
  source->position = static_cast<int64_t>(produced);
  switch (status) {
    case szdd::Status::kOk: return static_cast<LONG>(produced - skip);
    case szdd::Status::kWriteError:
    case szdd::Status::kOutputLimit: return LZERROR_WRITE;
    default: return LZERROR_READ;
  }
}

}  // namespace

INT WINAPI LZOpenFileA(LPSTR name, LPOFSTRUCT openInfo, WORD style) {
  if (openInfo) {
    std::memset(openInfo, 0, sizeof *openInfo);
    openInfo->cBytes = sizeof *openInfo;
    openInfo->fFixedDisk = 1;
    if (name) {
      std::strncpy(openInfo->szPathName, name, OFS_MAXPATHNAME - 1);
      openInfo->szPathName[OFS_MAXPATHNAME - 1] = 0;
    }
  }
  auto fail = [&](DWORD err, INT result) {
    SetLastError(err);
    if (openInfo) openInfo->nErrCode = static_cast<WORD>(err);
    return result;
  };
  if (!name || (style & ~kKnownStyles) || (style & 3) == 3) return fail(ERROR_INVALID_PARAMETER, LZERROR_BADINHANDLE);

  // OpenFile's mapping: OF_CREATE reads and writes a new or emptied file; the
  // compatibility mode and OF_SHARE_DENY_NONE share everything.
  bool create = style & OF_CREATE;
  DWORD access = create ? GENERIC_READ | GENERIC_WRITE
                        : (style & 3) == OF_READ ? GENERIC_READ
                        : (style & 3) == OF_WRITE ? GENERIC_WRITE
                                                  : GENERIC_READ | GENERIC_WRITE;
  DWORD share;
  switch (style & 0x70) {
    case OF_SHARE_EXCLUSIVE: share = 0; break;
    case OF_SHARE_DENY_WRITE: share = FILE_SHARE_READ; break;
    case OF_SHARE_DENY_READ: share = FILE_SHARE_WRITE; break;
    case OF_SHARE_COMPAT:
    case OF_SHARE_DENY_NONE: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    default: return fail(ERROR_INVALID_PARAMETER, LZERROR_BADINHANDLE);
  }
  HANDLE file =
      CreateFileA(name, access, share, nullptr, create ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return fail(GetLastError(), LZERROR_BADINHANDLE);

  LzFile lz;
  lz.file = file;
  if (!create && (style & 3) == OF_READ) {
    uint8_t bytes[szdd::kHeaderSize];
    DWORD n = 0;
    if (!ReadFile(file, bytes, sizeof bytes, &n, nullptr)) {
      DWORD err = GetLastError();
      CloseHandle(file);
      return fail(err, LZERROR_BADINHANDLE);
    }
    szdd::Header header;
    switch (szdd::ParseHeader(bytes, n, &header)) {
      case szdd::HeaderKind::kSzdd:
        if (CompressedCount() >= kMaxCompressed) {
          CloseHandle(file);
          return fail(ERROR_NOT_ENOUGH_MEMORY, LZERROR_GLOBALLOC);
        }
        lz.compressed = true;
        lz.length = header.length;
        break;
      case szdd::HeaderKind::kUnknownMode:
        // Compressed in a way no decoder knows: refusing it is better than
        // installing the compressed bytes as they are.
        CloseHandle(file);
        return fail(ERROR_INVALID_DATA, LZERROR_BADINHANDLE);
      case szdd::HeaderKind::kNotSzdd:
        if (sys.lseek(FindFile(file)->fd, 0, SEEK_SET) != 0) {
          DWORD err = ErrorFromErrno(errno);
          CloseHandle(file);
          return fail(err, LZERROR_BADINHANDLE);
        }
        break;
    }
  }
  try {
    return AddLzFile(lz);
  } catch (const std::bad_alloc&) {
    CloseHandle(file);
    return fail(ERROR_NOT_ENOUGH_MEMORY, LZERROR_GLOBALLOC);
  }
}

LONG WINAPI LZSeek(INT handle, LONG offset, INT origin) {
  LzFile* lz = Find(handle);
  if (!lz) return LZERROR_BADINHANDLE;
  if (origin < 0 || origin > 2) return LZERROR_BADVALUE;
  if (!lz->compressed) {
    OpenFile* file = FindFile(lz->file);
    off_t to = file ? sys.lseek(file->fd, offset, origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END) : -1;
    if (to < 0) return LZERROR_BADVALUE;
    return static_cast<LONG>(static_cast<uint32_t>(to));  // the low 32 bits, as a 32-bit Windows reports them
  }
  int64_t from = origin == 0 ? 0 : origin == 1 ? lz->position : int64_t(lz->length);
  int64_t to = from + offset;
  if (to < 0 || to > int64_t(lz->length)) return LZERROR_BADVALUE;
  lz->position = to;
  return static_cast<LONG>(static_cast<uint32_t>(to));
}

LONG WINAPI LZCopy(INT source, INT dest) {
  LzFile* in = Find(source);
  if (!in) return LZERROR_BADINHANDLE;
  LzFile* out = Find(dest);
  if (!out || out->compressed) return LZERROR_BADOUTHANDLE;
  return in->compressed ? CopyExpanded(in, out->file) : CopyPlain(in->file, out->file);
}

void WINAPI LZClose(INT handle) {
  LzFile* lz = Find(handle);
  if (!lz) return;
  CloseHandle(lz->file);
  *lz = LzFile();
}
