// Files: CreateFileA and the calls on its handles, attributes, deletion.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/text/errors.h"
#include "disk_changer.h"
#include "filetime.h"
#include "handles.h"
#include "paths.h"
#include "syscalls.h"
#include "files_api.h"

using namespace posix;

namespace {

// Read-only is the absence of the owner's write permission. The layer checks it
// itself, so that root, whom the kernel lets write anywhere, sees it as well.
bool IsReadOnly(const struct stat& st) { return !(st.st_mode & S_IWUSR); }

mode_t CurrentUmask() {
  static const mode_t mask = [] {
    mode_t m = umask(022);
    umask(m);
    return m;
  }();
  return mask;
}

// A link or a file that another user left in a folder where others may create
// files (a sticky /tmp, say) is neither followed nor written: whoever planted
// it would have this program write, with its own rights, wherever the link
// points, or into a file that the planter can still read and change. These
// are the kernel's rules under fs.protected_symlinks and fs.protected_regular,
// kept here for the machines that do not set them. own is what lstat says of
// the last component of host.
bool PlantedByAnother(const std::string& host, const struct stat& own) {
  if (own.st_uid == geteuid()) return false;
  size_t slash = host.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : host.substr(0, slash);
  struct stat folder;
  if (sys.stat(dir.c_str(), &folder) != 0) return false;
  return (folder.st_mode & S_ISVTX) && (folder.st_mode & (S_IWGRP | S_IWOTH)) && own.st_uid != folder.st_uid;
}

// What a handle may do with the data; the rights it has beyond these, such as
// reading the attributes, every handle has.
DWORD NormalizeAccess(DWORD access) {
  if (access & GENERIC_ALL) access |= GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE;
  return access & (GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE);
}

// The error for a name that ends in a separator and names no folder (host
// ends in '/'): a file so named is an invalid name; a missing one is missing
// when it is to be opened, and cannot be made.
DWORD TrailingSeparatorError(const std::string& host, DWORD disposition) {
  std::string file = host;
  while (file.size() > 1 && file.back() == '/') file.pop_back();
  struct stat st;
  if (sys.lstat(file.c_str(), &st) == 0) return ERROR_INVALID_NAME;
  return disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING ? MissingFileError(host)
                                                                          : ERROR_INVALID_NAME;
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                          DWORD flags, HANDLE) {
  access = NormalizeAccess(access);
  // Emptying a file takes the right to write it.
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
      (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE))) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string host;
  if (DWORD err = MapPath(name, &host)) {
    Fail(err);
    return INVALID_HANDLE_VALUE;
  }

  struct stat st;
  bool exists = sys.lstat(host.c_str(), &st) == 0;
  bool link = exists && S_ISLNK(st.st_mode);
  if (link) {
    if (PlantedByAnother(host, st)) {
      Fail(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    exists = sys.stat(host.c_str(), &st) == 0;
  }
  // A folder is no file; written with its final backslash, it is the path
  // of a file not given.
  if (exists && S_ISDIR(st.st_mode)) {
    Fail(host.back() == '/' ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (!exists && host.back() == '/') {
    Fail(TrailingSeparatorError(host, disposition));
    return INVALID_HANDLE_VALUE;
  }
  if (exists && disposition == CREATE_NEW) {
    Fail(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
  }
  if (!exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)) {
    Fail(MissingFileError(host));
    return INVALID_HANDLE_VALUE;
  }
  bool truncate = exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
  if (exists && !link && ((access & GENERIC_WRITE) || truncate) && PlantedByAnother(host, st)) {
    Fail(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (exists && IsReadOnly(st) && ((access & GENERIC_WRITE) || truncate)) {
    Fail(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }

  // A file emptied for a reader is emptied through the descriptor, which
  // must then write as well as read.
  int oflags = O_CLOEXEC;
  bool writes = (access & GENERIC_WRITE) || truncate;
  if ((access & GENERIC_READ) && writes)
    oflags |= O_RDWR;
  else if (writes)
    oflags |= O_WRONLY;
  else
    oflags |= O_RDONLY;
  if (!exists) oflags |= O_CREAT | O_EXCL;
  // What was no link when looked at must be none when opened: a link planted
  // in between would be followed past the checks above.
  if (exists && !link) oflags |= O_NOFOLLOW;
  mode_t mode = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;

  int fd = sys.open(host.c_str(), oflags, mode);
  if (fd < 0) {
    Fail(errno == ENOENT                            ? MissingFileError(host)
         : errno == ELOOP && (oflags & O_NOFOLLOW) ? ERROR_ACCESS_DENIED
                                                   : ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  OpenFile file;
  file.fd = fd;
  file.access = access;
  file.share = share;
  if (sys.fstat(fd, &st) != 0) {
    FailErrno();
    sys.close(fd);
    return INVALID_HANDLE_VALUE;
  }
  file.dev = st.st_dev;
  file.ino = st.st_ino;
  // Sharing is checked before anything is changed, as on Windows.
  if (!SharingAllows(file.dev, file.ino, access, share)) {
    sys.close(fd);
    Fail(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  if (truncate && sys.ftruncate(fd, 0) != 0) {
    FailErrno();
    sys.close(fd);
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                        : ERROR_SUCCESS);
  return AddFile(file);
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
  if (read) *read = 0;
  OpenFile* file = FindFile(handle);
  if (!file) return FALSE;
  if (!read || overlapped) return Fail(ERROR_INVALID_PARAMETER);
  if (!(file->access & GENERIC_READ)) return Fail(ERROR_ACCESS_DENIED);
  // No memory to read into, also at the end of the file.
  if (!buffer && toRead) return Fail(ERROR_NOACCESS);
  // A disk file delivers all that was asked for unless its end comes first.
  DWORD done = 0;
  while (done < toRead) {
    ssize_t n = sys.read(file->fd, static_cast<char*>(buffer) + done, toRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      // Windows fails the whole call: a part taken for the whole would read
      // as the end of the file. The position goes back to where the call
      // began, so that nothing of the file is skipped.
      DWORD err = errno == EIO ? ERROR_READ_FAULT : ErrorFromErrno(errno);
      if (done > 0) sys.lseek(file->fd, -static_cast<off_t>(done), SEEK_CUR);
      return Fail(err);
    }
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  *read = done;
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped) {
  if (written) *written = 0;
  OpenFile* file = FindFile(handle);
  if (!file) return FALSE;
  if (!written || overlapped) return Fail(ERROR_INVALID_PARAMETER);
  if (!(file->access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
  if (!buffer && toWrite) return Fail(ERROR_INVALID_USER_BUFFER);
  // Even a write of no bytes reaches the file, so that a failing device says so.
  DWORD done = 0;
  do {
    ssize_t n = sys.write(file->fd, static_cast<const char*>(buffer) + done, toWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *written = done;
      return Fail(errno == EIO ? ERROR_WRITE_FAULT : ErrorFromErrno(errno));
    }
    if (n == 0) break;  // no progress: report what was written
    done += static_cast<DWORD>(n);
  } while (done < toWrite);
  *written = done;
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  OpenFile file;
  if (!RemoveFile(handle, &file)) return FALSE;
  if (sys.close(file.fd) != 0 && errno != EINTR) return Fail(errno == EIO ? ERROR_WRITE_FAULT : ErrorFromErrno(errno));
  return TRUE;
}

BOOL WINAPI GetFileTime(HANDLE handle, LPFILETIME creation, LPFILETIME lastAccess, LPFILETIME lastWrite) {
  OpenFile* file = FindFile(handle);
  if (!file) return FALSE;
  // Every handle may read the times, whatever its access to the data.
  struct statx sx;
  if (sys.statx(file->fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return FailErrno();
  auto toFiletime = [](const struct statx_timestamp& t) {
    struct timespec ts = {static_cast<time_t>(t.tv_sec), static_cast<long>(t.tv_nsec)};
    return FromTimespec(ts);
  };
  // Where the file system keeps no birth time, the creation time is the last-write time.
  if (creation) *creation = toFiletime((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime);
  if (lastAccess) *lastAccess = toFiletime(sx.stx_atime);
  if (lastWrite) *lastWrite = toFiletime(sx.stx_mtime);
  return TRUE;
}

BOOL WINAPI SetFileTime(HANDLE handle, const FILETIME* creation, const FILETIME* lastAccess,
                        const FILETIME* lastWrite) {
  OpenFile* file = FindFile(handle);
  if (!file) return FALSE;
  if (!(file->access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
  // A time of 0 or all ones leaves the time unchanged, as on Windows. The host
  // keeps no settable creation time, so that one is accepted and not stored.
  auto toTimespec = [](const FILETIME* ft) {
    struct timespec ts = {0, UTIME_OMIT};
    if (ft && ToTicks(*ft) != 0 && ToTicks(*ft) != UINT64_MAX) ts = ToTimespec(*ft);
    return ts;
  };
  (void)creation;
  struct timespec times[2] = {toTimespec(lastAccess), toTimespec(lastWrite)};
  if (sys.futimens(file->fd, times) != 0) return FailErrno();
  return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR name) {
  std::string host;
  if (DWORD err = MapPath(name, &host)) {
    Fail(err);
    return INVALID_FILE_ATTRIBUTES;
  }
  struct stat st;
  int found = sys.stat(host.c_str(), &st);
  // A file missing from the root of a drive with a disk changer: the changer
  // may put in a disk that holds it, and the lookup is made once more.
  if (found != 0 && errno == ENOENT && AskDiskChanger(name)) {
    if (DWORD err = MapPath(name, &host)) {
      Fail(err);
      return INVALID_FILE_ATTRIBUTES;
    }
    found = sys.stat(host.c_str(), &st);
  }
  if (found != 0) {
    Fail(errno == ENOENT ? MissingFileError(host) : ErrorFromErrno(errno));
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  if (host.back() == '/') {
    Fail(ERROR_INVALID_NAME);
    return INVALID_FILE_ATTRIBUTES;
  }
  return FILE_ATTRIBUTE_ARCHIVE | (IsReadOnly(st) ? FILE_ATTRIBUTE_READONLY : 0);
}

BOOL WINAPI SetFileAttributesA(LPCSTR name, DWORD attributes) {
  std::string host;
  if (DWORD err = MapPath(name, &host)) return Fail(err);
  struct stat st;
  if (sys.stat(host.c_str(), &st) != 0)
    return Fail(errno == ENOENT ? MissingFileError(host) : ErrorFromErrno(errno));
  mode_t mode = st.st_mode & 07777;
  if (attributes & FILE_ATTRIBUTE_READONLY)
    mode &= ~mode_t(0222);
  else
    mode |= S_IWUSR | (((mode & 0044) >> 1) & ~CurrentUmask());  // writable where readable, as umask allows
  if (mode != (st.st_mode & 07777) && sys.chmod(host.c_str(), mode) != 0) return FailErrno();
  return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR name) {
  std::string host;
  if (DWORD err = MapPath(name, &host)) return Fail(err);
  struct stat st;
  if (sys.stat(host.c_str(), &st) != 0)
    return Fail(errno == ENOENT ? MissingFileError(host) : ErrorFromErrno(errno));
  if (S_ISDIR(st.st_mode) || IsReadOnly(st)) return Fail(ERROR_ACCESS_DENIED);
  if (!DeletionAllowed(st.st_dev, st.st_ino)) return Fail(ERROR_SHARING_VIOLATION);
  if (sys.unlink(host.c_str()) != 0) return FailErrno();
  return TRUE;
}

LONG WINAPI CompareFileTime(const FILETIME* a, const FILETIME* b) {
  uint64_t x = ToTicks(*a), y = ToTicks(*b);
  return x < y ? -1 : x > y ? 1 : 0;
}
