#include "file_copy.h"

#include "foundation/exception.h"
#include "foundation/file.h"
#include "platform/win32.h"

namespace {

// The library takes the names as writable strings; it never changes them.
LPSTR LzName(const char* path) { return const_cast<LPSTR>(path); }

// Expands source through the LZ library into destination and gives the
// destination the source's last-write time for all three of its times.
void Expand(const char* source, const char* destination) {
  OFSTRUCT sourceInfo, destinationInfo;
  INT in = LZOpenFileA(LzName(source), &sourceInfo, OF_READ | OF_SHARE_EXCLUSIVE);
  if (in < 0) throw File::ExceptOpen(source);
  INT out = LZOpenFileA(LzName(destination), &destinationInfo, OF_CREATE | OF_SHARE_EXCLUSIVE);
  if (out < 0) {
    LZClose(in);
    throw File::ExceptCreate(destination);
  }
  // The library expands until its input ends, so a file cut short gives a
  // short copy without a word: the copy fails unless it holds all the bytes
  // that the header states (the seek to the end gives that length).
  LONG copied = LZCopy(in, out);
  if (copied < 0 || static_cast<uint32_t>(copied) < static_cast<uint32_t>(LZSeek(in, 0, 2))) {
    LZClose(out);
    LZClose(in);
    throw ExceptFileCopy(source, destination);
  }
  LZClose(out);
  LZClose(in);

  File sourceFile(source, File::kRead);
  FILETIME lastWrite;
  sourceFile.GetTime(nullptr, nullptr, &lastWrite);
  SetFileAttributesA(destination, FILE_ATTRIBUTE_NORMAL);
  File destinationFile(destination, File::kWrite);
  destinationFile.SetTime(&lastWrite, &lastWrite, &lastWrite);
  // The destination closes first, then the source.
}

}  // namespace

void CopyOrExpand(const char* source, const char* destination) {
  SetFileAttributesA(destination, FILE_ATTRIBUTE_NORMAL);
  // Only the last byte counts, even where it ends a double-byte character.
  int length = lstrlenA(source);
  if (length > 0 && source[length - 1] == '_') {
    Expand(source, destination);
    return;
  }
  if (lstrcmpiA(source, destination) != 0 && !CopyFileA(source, destination, FALSE))
    throw ExceptFileCopy(source, destination);
  SetFileAttributesA(destination, FILE_ATTRIBUTE_NORMAL);
}

bool IsInstalledSameOrNewer(const char* source, const char* installed) {
  FILETIME sourceTime, installedTime;
  try {
    File sourceFile(source, File::kRead);
    File installedFile(installed, File::kRead);
    sourceFile.GetTime(nullptr, nullptr, &sourceTime);
    installedFile.GetTime(nullptr, nullptr, &installedTime);
    // The installed file closes first, then the source.
  } catch (File::Except&) {
    return false;
  }
  return CompareFileTime(&sourceTime, &installedTime) <= 0;
}

uint32_t ExpandedSize(const char* path) {
  OFSTRUCT info;
  INT file = LZOpenFileA(LzName(path), &info, OF_READ);
  if (file == LZERROR_BADINHANDLE || file == LZERROR_GLOBALLOC) throw File::ExceptOpen(path);
  LONG length = LZSeek(file, 0, 2);
  LZClose(file);
  return static_cast<uint32_t>(length);
}
