// FILETIME to local time and to calendar fields.
#include <time.h>

#include "platform/posix/text/errors.h"
#include "filetime.h"
#include "files_api.h"

using namespace posix;

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* utc, LPFILETIME local) {
  // Like Windows, the bias in force now applies to every time, whatever the
  // daylight saving rules were at that time.
  time_t now = time(nullptr);
  struct tm parts;
  if (!localtime_r(&now, &parts)) return Fail(ERROR_INVALID_PARAMETER);
  int64_t bias = static_cast<int64_t>(parts.tm_gmtoff) * 10000000;
  *local = FromTicks(static_cast<uint64_t>(static_cast<int64_t>(ToTicks(*utc)) + bias));
  return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* time, LPSYSTEMTIME system) {
  uint64_t ticks = ToTicks(*time);
  if (ticks >= 0x8000000000000000ULL) return Fail(ERROR_INVALID_PARAMETER);
  uint64_t seconds = ticks / 10000000;
  int64_t days = static_cast<int64_t>(seconds / 86400);
  uint64_t rest = seconds % 86400;
  system->wMilliseconds = static_cast<WORD>(ticks % 10000000 / 10000);
  system->wHour = static_cast<WORD>(rest / 3600);
  system->wMinute = static_cast<WORD>(rest / 60 % 60);
  system->wSecond = static_cast<WORD>(rest % 60);
  system->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  // Civil date from days since 1601-01-01, counted in 400-year cycles from March.
  int64_t z = days + 584694;  // days since 0000-03-01
  int64_t era = z / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t day = doy - (153 * mp + 2) / 5 + 1;
  int64_t month = mp < 10 ? mp + 3 : mp - 9;
  int64_t year = yoe + era * 400 + (month <= 2);
  system->wYear = static_cast<WORD>(year);
  system->wMonth = static_cast<WORD>(month);
  system->wDay = static_cast<WORD>(day);
  return TRUE;
}
