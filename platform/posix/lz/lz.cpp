// The LZ expansion library: LZOpenFileA, LZCopy, LZSeek and LZClose over our
// own file calls, with the SZDD codec behind compressed files.
//
// As in the Windows library, a file opened for reading that is in the SZDD
// format (mode 'A') reads as its expanded content, and any other file (also
// one shorter than a header) reads unchanged. The expanded length that LZSeek
// reports is the header's; LZCopy expands until the compressed data ends and
// reports data that ends inside a match as a read error. At most 16
// compressed files are open at once, as in Wine; plain files do not count.
// Handles count from 1, as no file of Windows has the handle 0.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "codec/expander.h"
#include "platform/posix/text/errors.h"
#include "platform/posix/files/handles.h"
#include "platform/posix/files/paths.h"
#include "platform/posix/files/syscalls.h"
#include "wintext/cp932.h"
#include "lz_api.h"

using namespace posix;

namespace {

constexpr int kMaxCompressed = 16;
constexpr DWORD kBlock = DWORD(1) << 20;
constexpr WORD kKnownStyles = 0x0003 | 0x0070 | OF_CREATE | OF_EXIST;

struct LzFile {
  HANDLE file = INVALID_HANDLE_VALUE;
  bool compressed = false;
  uint32_t length = 0;    // compressed: the header's expanded length
  int64_t position = 0;  // compressed: position in the expanded content
};

std::vector<LzFile> files;  // indexed by handle - 1; a closed slot has no file

LzFile* Find(INT handle) {
  if (handle < 1 || static_cast<size_t>(handle) > files.size() || files[handle - 1].file == INVALID_HANDLE_VALUE)
    return nullptr;
  return &files[handle - 1];
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
  return static_cast<INT>(slot + 1);
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

// The name that the compressed form of a file has, as COMPRESS -r names it:
// the last character of an extension of three replaced by '_', else '_'
// added to the extension ("README" becomes "README._"). False for a name
// that ends in '_' already, which has no other.
bool CompressedName(const std::string& name, std::string* compressed) {
  size_t start = 0, dot = std::string::npos, last = 0;  // where the file name, its last '.' and last character begin
  for (size_t i = 0; i < name.size(); ++i) {
    last = i;
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (wintext::IsLeadByte(c) && i + 1 < name.size()) {
      ++i;
    } else if (c == '\\' || c == '/' || c == ':') {
      start = i + 1;
      dot = std::string::npos;
    } else if (c == '.') {
      dot = i;
    }
  }
  if (name.size() == start || (last + 1 == name.size() && name[last] == '_')) return false;
  if (dot == std::string::npos) {
    *compressed = name + "._";
  } else if (name.size() - dot - 1 < 3) {
    *compressed = name + "_";
  } else {
    *compressed = name.substr(0, last) + "_";
  }
  return true;
}

// Puts the full path of name into the record, cut to its room at a
// character's end; a path that cannot be had leaves the record as it was.
void RecordPath(LPOFSTRUCT openInfo, const char* name) {
  std::string full;
  if (!openInfo || FullPath(name, &full) != ERROR_SUCCESS) return;
  size_t n = 0;
  while (n < full.size()) {
    size_t step = wintext::IsLeadByte(static_cast<unsigned char>(full[n])) && n + 1 < full.size() ? 2 : 1;
    if (n + step > OFS_MAXPATHNAME - 1) break;
    n += step;
  }
  std::memcpy(openInfo->szPathName, full.data(), n);
  openInfo->szPathName[n] = 0;
}

}  // namespace

INT WINAPI LZOpenFileA(LPSTR name, LPOFSTRUCT openInfo, WORD style) {
  // A failure fills in the error and the path tried last; the rest of the
  // record stays as the caller left it, as on Windows.
  auto fail = [&](DWORD err, INT result) {
    SetLastError(err);
    if (openInfo) openInfo->nErrCode = static_cast<WORD>(err);
    return result;
  };
  if (!name || (style & ~kKnownStyles) || (style & 3) == 3 || ((style & OF_EXIST) && (style & OF_CREATE)))
    return fail(ERROR_INVALID_PARAMETER, LZERROR_BADINHANDLE);

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
  std::string opened = name;
  RecordPath(openInfo, opened.c_str());
  HANDLE file = CreateFileA(opened.c_str(), access, share, nullptr, create ? CREATE_ALWAYS : OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE && !create && GetLastError() == ERROR_FILE_NOT_FOUND &&
      CompressedName(name, &opened)) {
    RecordPath(openInfo, opened.c_str());
    file = CreateFileA(opened.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) return fail(GetLastError(), LZERROR_BADINHANDLE);
  if (openInfo) {
    openInfo->cBytes = sizeof *openInfo;
    openInfo->fFixedDisk = 1;
    openInfo->nErrCode = 0;
  }
  if (style & OF_EXIST) {
    CloseHandle(file);
    return 0;  // no open file has this handle
  }

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
