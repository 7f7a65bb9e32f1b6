// A program that imports what the programs on a medium must not: functions
// that only newer Windows export, and the LZ functions from KERNEL32, which
// only NT's exports (Windows 95, 98 and ME have them in LZ32 alone). The
// check of the medium's programs must refuse it, naming each.
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include <lzexpand.h>

static LONG CALLBACK Handler(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }

int main() {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  void* handler = AddVectoredExceptionHandler(0, Handler);
  int used = TryEnterCriticalSection(&section) + IsDebuggerPresent() + (int)GetTickCount64();
  RemoveVectoredExceptionHandler(handler);
  return used + (int)LZCopy(0, 0);
}
