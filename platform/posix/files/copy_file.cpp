// CopyFileA: content, last-write time and attributes (permissions), copied in the
// kernel where it can (copy_file_range, then sendfile), else by read and write.
#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "platform/posix/text/errors.h"
#include "handles.h"
#include "syscalls.h"
#include "files_api.h"

using namespace posix;

namespace {

constexpr size_t kKernelChunk = size_t(1) << 30;
constexpr size_t kBufferSize = size_t(1) << 20;

// Whether errno after a kernel copy call says only that this way of copying is
// not available between these two files, so the next way should be tried.
bool Unsupported(int err) { return err == ENOSYS || err == EXDEV || err == EINVAL || err == EOPNOTSUPP; }

// Copies from the descriptors' positions to the end of in. Returns the Windows
// error, ERROR_SUCCESS when everything was copied.
DWORD CopyData(int in, int out) {
  bool tryRange = true, trySendfile = true;
  while (tryRange) {
    ssize_t n = sys.copy_file_range(in, nullptr, out, nullptr, kKernelChunk, 0);
    if (n == 0) return ERROR_SUCCESS;
    if (n > 0) continue;
    if (errno == EINTR) continue;
    if (!Unsupported(errno)) return ErrorFromErrno(errno);
    tryRange = false;
  }
  while (trySendfile) {
    ssize_t n = sys.sendfile(out, in, nullptr, kKernelChunk);
    if (n == 0) return ERROR_SUCCESS;
    if (n > 0) continue;
    if (errno == EINTR) continue;
    if (!Unsupported(errno)) return ErrorFromErrno(errno);
    trySendfile = false;
  }
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBufferSize]);
  if (!buffer) return ERROR_NOT_ENOUGH_MEMORY;
  for (;;) {
    ssize_t n = sys.read(in, buffer.get(), kBufferSize);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno == EIO ? ERROR_READ_FAULT : ErrorFromErrno(errno);
    if (n == 0) return ERROR_SUCCESS;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = sys.write(out, buffer.get() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) return errno == EIO ? ERROR_WRITE_FAULT : ErrorFromErrno(errno);
      if (w == 0) return ERROR_DISK_FULL;
      done += w;
    }
  }
}

}  // namespace

BOOL WINAPI CopyFileA(LPCSTR existing, LPCSTR newName, BOOL failIfExists) {
  if (!existing || !newName) return Fail(ERROR_PATH_NOT_FOUND);
  // Both files are opened as any program opens them, so that sharing,
  // read-only files, folders and missing paths give Windows' own errors. The
  // copy lets other handles go on with what they do to either file, reading
  // and writing (only a handle that refuses the copy's own access stops it),
  // so the two opens may meet on one file: the destination is opened
  // without emptying it, and a copy onto itself is a sharing violation
  // before anything is lost.
  HANDLE source = CreateFileA(existing, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (source == INVALID_HANDLE_VALUE) return FALSE;
  struct stat st;
  if (sys.fstat(FindFile(source)->fd, &st) != 0) {
    DWORD err = ErrorFromErrno(errno);
    CloseHandle(source);
    return Fail(err);
  }
  HANDLE dest = CreateFileA(newName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            failIfExists ? CREATE_NEW : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (dest == INVALID_HANDLE_VALUE) {
    DWORD err = GetLastError();
    CloseHandle(source);
    return Fail(err);
  }
  const OpenFile* destFile = FindFile(dest);
  DWORD openErr = destFile->dev == st.st_dev && destFile->ino == st.st_ino ? ERROR_SHARING_VIOLATION
                  : sys.ftruncate(destFile->fd, 0) != 0                   ? ErrorFromErrno(errno)
                                                                          : ERROR_SUCCESS;
  if (openErr != ERROR_SUCCESS) {
    CloseHandle(dest);
    CloseHandle(source);
    return Fail(openErr);
  }
  int in = FindFile(source)->fd, out = FindFile(dest)->fd;

  DWORD err = CopyData(in, out);
  bool complete = err == ERROR_SUCCESS;
  // What follows the content, the time stamp and the attributes, can fail on
  // its own (EPERM on a file of another owner); the call then fails, but the
  // content is whole and stays.
  DWORD stampErr = ERROR_SUCCESS;
  if (complete) {
    struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    if (sys.futimens(out, times) != 0) stampErr = ErrorFromErrno(errno);
    // The copy takes the source's attributes, as on Windows; on the host these
    // are its permissions, so a read-only file stays read-only and a program
    // stays a program.
    if (sys.fchmod(out, st.st_mode & 0777) != 0 && stampErr == ERROR_SUCCESS) stampErr = ErrorFromErrno(errno);
  }
  // A failed close may have lost written data: the copy counts as incomplete.
  if (!CloseHandle(dest) && complete) {
    err = GetLastError();
    complete = false;
  }
  CloseHandle(source);
  if (!complete) {
    // A half copy is no copy: remove it, as Windows does.
    DeleteFileA(newName);
    return Fail(err);
  }
  if (stampErr != ERROR_SUCCESS) return Fail(stampErr);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
