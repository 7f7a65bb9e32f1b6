// What the programs that go on a medium need of the C and C++ runtime, made
// to load and run on every Windows they serve, from Windows 95 and NT 4.0 on,
// and to fit a floppy's first disk. Linked into Orbane and Tavrix only (see
// cmake/ImportTable.cmake for the check of what they import).
#include <cxxabi.h>

#include <cstdlib>

#include "platform/win32.h"

// libstdc++'s default handler for std::terminate prints the type of the
// exception, demangled, to standard error and aborts. A GUI program has no
// standard error, and the demangler is 46 KB of a program that must share a
// floppy. std::terminate is reached only by a bug (every failure of the run
// is caught and shown), and aborting is all there is left to do then.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace {

// The runtime's locks (the unwinder's list of frames, the exception
// allocator's pool; GCC's win32 thread model) make their semaphores with
// CreateSemaphoreW, and the start-up code looks for a shared libgcc with
// GetModuleHandleW. Windows 95, 98 and ME implement neither Unicode call.
// Both are served here by the ANSI call, which every Windows has: the
// linker fills the runtime's import slots from the pointers below, and
// KERNEL32's Unicode entries are never imported.
bool Narrow(LPCWSTR wide, char (&narrow)[MAX_PATH]) {
  return WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr) != 0;
}

HANDLE WINAPI CreateSemaphoreAnsi(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum, LPCWSTR name) {
  char narrow[MAX_PATH];
  if (name && !Narrow(name, narrow)) return nullptr;
  return CreateSemaphoreA(attributes, initial, maximum, name ? narrow : nullptr);
}

HMODULE WINAPI GetModuleHandleAnsi(LPCWSTR name) {
  char narrow[MAX_PATH];
  if (name && !Narrow(name, narrow)) return nullptr;
  return GetModuleHandleA(name ? narrow : nullptr);
}

}  // namespace

// The import slots by their linker names (stdcall names are decorated on
// i686 only).
#ifdef _WIN64
#define ZEFA_IMPORT_SLOT(name, bytes) "__imp_" #name
#else
#define ZEFA_IMPORT_SLOT(name, bytes) "__imp__" #name "@" #bytes
#endif
extern "C" {
extern decltype(&CreateSemaphoreAnsi) const zefaCreateSemaphoreW __asm__(ZEFA_IMPORT_SLOT(CreateSemaphoreW, 16));
decltype(&CreateSemaphoreAnsi) const zefaCreateSemaphoreW = CreateSemaphoreAnsi;
extern decltype(&GetModuleHandleAnsi) const zefaGetModuleHandleW __asm__(ZEFA_IMPORT_SLOT(GetModuleHandleW, 4));
decltype(&GetModuleHandleAnsi) const zefaGetModuleHandleW = GetModuleHandleAnsi;
}
