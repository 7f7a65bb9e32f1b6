// Wine's conformance cases for FileTimeToSystemTime and
// FileTimeToLocalFileTime, from dlls/kernel32/tests/time.c of
// wine-mirror/wine at commit 51ccd95c49c2c61ad41960b25a01f834601d70c0 (Wine
// 9.22). Each check names the line whose expectation it holds the layer to.
//
// The time zone is the host's (TZ here); Wine takes its bias from
// GetTimeZoneInformation, which the layer does not serve, and the TZ that
// Wine sets with SetEnvironmentVariableA is no call of the layer either.
// SystemTimeToFileTime is not served: the times that Wine converts with it
// are checked the other way round, FILETIME to calendar.
#include <time.h>

#include <cstdint>

#include "conformance/file_services_fixture.h"

#define AT(line) "time.c:" #line

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kTicks1601To1970 = (369ULL * 365 + 89) * 86400 * kTicksPerSecond;

FILETIME Filetime(uint32_t high, uint32_t low) {
  FILETIME ft;
  ft.dwHighDateTime = high;
  ft.dwLowDateTime = low;
  return ft;
}

struct Calendar {
  int year, month, day, hour, minute, second, milliseconds;
};

::testing::AssertionResult Is(const SYSTEMTIME& st, const Calendar& c) {
  if (st.wYear == c.year && st.wMonth == c.month && st.wDay == c.day && st.wHour == c.hour &&
      st.wMinute == c.minute && st.wSecond == c.second && st.wMilliseconds == c.milliseconds)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << st.wYear << "-" << st.wMonth << "-" << st.wDay << " " << st.wHour << ":"
                                       << st.wMinute << ":" << st.wSecond << "." << st.wMilliseconds;
}

using KernelTime = FileServices;

// test_FileTimeToSystemTime: the first instant, one second after 1970 began,
// and a time past what a SYSTEMTIME can hold.
TEST_F(KernelTime, FileTimeToSystemTime) {
  SYSTEMTIME st;
  FILETIME ft = Filetime(0, 0);
  EXPECT_TRUE(FileTimeToSystemTime(&ft, &st)) << AT(380);
  EXPECT_TRUE(Is(st, {1601, 1, 1, 0, 0, 0, 0})) << AT(382);

  uint64_t time = kTicksPerSecond + kTicks1601To1970;
  ft = Filetime(static_cast<uint32_t>(time >> 32), static_cast<uint32_t>(time));
  EXPECT_TRUE(FileTimeToSystemTime(&ft, &st)) << AT(390);
  EXPECT_TRUE(Is(st, {1970, 1, 1, 0, 0, 1, 0})) << AT(392);

  ft = Filetime(0xffffffff, 0xffffffff);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(FileTimeToSystemTime(&ft, &st)) << AT(403);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << AT(404);
}

// test_conversions, the other way round: the FILETIMEs that Windows gives
// for these dates and times.
TEST_F(KernelTime, CalendarOfKnownTimes) {
  SYSTEMTIME st;
  FILETIME ft = Filetime(0x1c2349b, 0x580716b0);
  EXPECT_TRUE(FileTimeToSystemTime(&ft, &st)) << AT(131);
  EXPECT_TRUE(Is(st, {2002, 7, 26, 11, 55, 32, 123})) << AT(131);
  ft = Filetime(0x01c1f107, 0xb82b6000);
  EXPECT_TRUE(FileTimeToSystemTime(&ft, &st)) << AT(139);
  EXPECT_TRUE(Is(st, {2002, 5, 1, 12, 0, 0, 0})) << AT(139);
  ft = Filetime(0x01a8e79f, 0xe1d58000);
  EXPECT_TRUE(FileTimeToSystemTime(&ft, &st)) << AT(148);
  EXPECT_TRUE(Is(st, {1980, 1, 1, 0, 0, 0, 0})) << AT(148);
}

// test_FileTimeToLocalFileTime: a UTC time moved by the bias of the zone
// lands on one second after 1970 began, local time; the bias in force now
// applies, whatever the date converted. test_GetTimeZoneInformation: the
// present converts too.
TEST_F(KernelTime, FileTimeToLocalFileTime) {
  for (const char* zone : {"JST-9", "UTC0", "EST5EDT,M3.2.0,M11.1.0", "CET-1CEST,M3.5.0,M10.5.0/3"}) {
    ScopedTimeZone tz(zone);
    time_t now = ::time(nullptr);
    struct tm parts;
    ASSERT_TRUE(localtime_r(&now, &parts));
    int64_t biasMinutes = -parts.tm_gmtoff / 60;  // as GetTimeZoneInformation gives it, daylight saving included
    uint64_t time = kTicksPerSecond + kTicks1601To1970 + biasMinutes * 60 * static_cast<int64_t>(kTicksPerSecond);
    FILETIME ft = Filetime(static_cast<uint32_t>(time >> 32), static_cast<uint32_t>(time)), lft;
    EXPECT_TRUE(FileTimeToLocalFileTime(&ft, &lft)) << AT(425) << ", TZ=" << zone;
    SYSTEMTIME st;
    FileTimeToSystemTime(&lft, &st);
    EXPECT_TRUE(Is(st, {1970, 1, 1, 0, 0, 1, 0})) << AT(428) << ", TZ=" << zone;

    uint64_t present = static_cast<uint64_t>(now) * kTicksPerSecond + kTicks1601To1970;
    ft = Filetime(static_cast<uint32_t>(present >> 32), static_cast<uint32_t>(present));
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(FileTimeToLocalFileTime(&ft, &lft)) << AT(255) << ", TZ=" << zone;
    EXPECT_TRUE(FileTimeToSystemTime(&lft, &st)) << AT(258) << ", TZ=" << zone;
    EXPECT_EQ(st.wHour, parts.tm_hour) << AT(258) << ", TZ=" << zone;
    EXPECT_EQ(st.wMinute, parts.tm_min) << AT(258) << ", TZ=" << zone;
  }
}

}  // namespace
