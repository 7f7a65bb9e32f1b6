// The entry of a POSIX program: the system's work at start, then WinMain with
// the command line as Windows would give it.
#include "program_start.h"
#include "process_api.h"

int main(int argc, char** argv) {
  posix::TieToStarter();
  posix::CarryOutPendingDeletions();
  posix::commandLine = posix::FormCommandLine(argc, argv);
  const char* tail = posix::SkipProgramName(posix::commandLine.c_str());
  return WinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, const_cast<char*>(tail), SW_SHOWNORMAL);
}
