// GoogleTest's Notification, which it uses only to test its own threading,
// is written with std::mutex and std::condition_variable, which the win32
// thread model of MinGW's GCC does not have (the programs are built with it:
// see cmake/mingw.cmake). GoogleTest takes one made elsewhere when
// GTEST_HAS_NOTIFICATION_ is set; this one waits on a Windows event. Given to
// every source of the Windows tests with -include, before GoogleTest's own
// headers.
#pragma once

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};

}  // namespace internal
}  // namespace testing
