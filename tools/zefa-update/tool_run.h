// Helper programs (mtools, xorriso) run without a shell, their output kept in
// a file for the message when they fail; each ends when zefa-update ends.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace zefa {

// Runs argv (found on PATH) with its standard input from /dev/null and its
// output in log, calling wait every 200 ms while it runs (for progress; it
// may raise to stop the tool, which is then killed). Returns its exit status,
// -1 when it ended by a signal, -2 when it could not be started.
int RunTool(const std::vector<std::string>& argv, const std::string& log, const std::function<void()>& wait = {});

// The last lines of a log, for a message.
std::string LogTail(const std::string& log, int lines = 3);

}  // namespace zefa
