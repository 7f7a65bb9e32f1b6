// FILETIME (100 ns since 1601-01-01 UTC) and the host's timespec.
#pragma once

#include <time.h>

#include <cstdint>

#include "files_api.h"

namespace posix {

constexpr int64_t kEpochDifference = 11644473600LL;  // seconds from 1601 to 1970

inline uint64_t ToTicks(const FILETIME& ft) {
  return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

inline FILETIME FromTicks(uint64_t ticks) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

inline FILETIME FromTimespec(const struct timespec& ts) {
  return FromTicks(uint64_t((ts.tv_sec + kEpochDifference) * 10000000LL + ts.tv_nsec / 100));
}

inline struct timespec ToTimespec(const FILETIME& ft) {
  uint64_t ticks = ToTicks(ft);
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(ticks / 10000000) - kEpochDifference;
  ts.tv_nsec = static_cast<long>(ticks % 10000000) * 100;
  return ts;
}

}  // namespace posix
