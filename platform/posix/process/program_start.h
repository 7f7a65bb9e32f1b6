// How a program of the POSIX build starts: the Windows command line it was
// given, and the work that the system does before any program runs.
#pragma once

#include <sys/types.h>

#include <string>

#include "process_api.h"

namespace posix {

// The environment variable through which WinExec hands a child its command
// line exactly as written; argv would lose doubled blanks and quotes.
constexpr const char kCommandLineVariable[] = "ZEFA_COMMAND_LINE";

// The environment variable through which StartProgram ties a program that it
// starts in its starter's process group to its starter: the starter's process
// id. Such a program ends (SIGKILL) when its starter ends, however it ends, so
// that nothing of a run goes on writing once the tool that runs it is gone.
constexpr const char kStarterVariable[] = "ZEFA_STARTER";

// Ties this process to its starter when kStarterVariable names one: it ends
// when the starter ends, and at once when the starter has ended already. The
// variable was this process's, not its children's.
void TieToStarter();

// The Windows command line of this process: the one WinExec gave it, or one
// formed from argv (the program's Windows path, quoted if it holds a blank,
// then each argument, a host path in its Windows form).
std::string FormCommandLine(int argc, char** argv);

// The text after the program's name, as Windows hands it to WinMain: the name
// runs to its closing quote when it begins with one (a lead byte takes its
// trail byte along), else to the first byte of 0x20 or less; then bytes from
// 0x01 to 0x20 are skipped.
const char* SkipProgramName(const char* commandLine);

// The process's Windows command line, set once at start.
extern std::string commandLine;

// The host path of the running program.
std::string OwnHostPath();

// Starts the program of a Windows command line, found as WinExec finds it,
// with that exact line, without waiting; in a session of its own when
// ownSession, else in the starter's process group (so that the terminal's
// signals reach both) and tied to the starter (TieToStarter). Returns what
// WinExec returns (above 31 when started) and the child's id in started.
UINT StartProgram(const std::string& commandLine, bool ownSession, pid_t* started);

// Deletes the files registered for deletion at the next restart when this is
// the first start since one.
void CarryOutPendingDeletions();

}  // namespace posix
