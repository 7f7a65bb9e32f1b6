// The launcher's command line, round trip: a launcher in a folder of any host
// name, with a temporary folder of any host name, starts the updater with a
// line from which the updater takes back the launcher's own folder, and whose
// program is the temporary copy. Where a folder has no Windows form, the
// launcher stops at its first step (no module name, no temporary folder).
//
// The input is the launcher's folder below Z:\, then optionally a zero byte
// and the temporary folder below C:\host; '/' separates their components.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "foundation/paths.h"
#include "foundation/process_values.h"
#include "fuzz_prefix.h"
#include "launcher/launcher.h"
#include "platform/posix/files/paths.h"
#include "platform/posix/process/program_start.h"
#include "updater/updater.h"

namespace {

// Makes the folders of a relative host path below root; false when a
// component cannot be made (".", "..", too long for the host).
bool MakeFolders(const std::string& root, std::string_view rel, std::string* made) {
  *made = root;
  size_t start = 0;
  while (start <= rel.size()) {
    size_t end = rel.find('/', start);
    if (end == std::string_view::npos) end = rel.size();
    std::string_view part = rel.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    if (part == "." || part == "..") return false;
    *made += "/" + std::string(part);
    if (mkdir(made->c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// What a path of the layer reaches on the host, or "" when it maps nowhere.
std::string Host(const char* windows) {
  std::string host;
  return posix::MapPath(windows, &host) == ERROR_SUCCESS ? host : "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 300) return 0;  // longer than any path the two programs hold
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t zero = input.find('\0');
  std::string_view launcherPart = input.substr(0, zero);
  std::string_view tempPart = zero == std::string_view::npos ? "temp" : input.substr(zero + 1);
  if (tempPart.find('\0') != std::string_view::npos) return 0;

  // The folders of the run before are taken away first.
  const std::string& prefix = FuzzPrefix();
  for (const char* dir : {"/zroot", "/drive_c/host"}) {
    RemoveTree(prefix + dir);
    mkdir((prefix + dir).c_str(), 0755);
  }
  std::string launcherFolder, tempFolder;
  if (!MakeFolders(prefix + "/zroot", launcherPart, &launcherFolder) ||
      !MakeFolders(prefix + "/drive_c/host", tempPart, &tempFolder))
    return 0;
  std::string launcherFile = launcherFolder + "/Orbane";
  std::string mediumFile = launcherFolder + "/Tavrix.bin";
  std::string tempFile = tempFolder + "/Tavrix.bin";
  for (const std::string& file : {launcherFile, mediumFile, tempFile}) {
    FILE* f = std::fopen(file.c_str(), "w");
    if (!f) return 0;
    std::fclose(f);
  }

  // The launcher's first steps: its own path (what GetModuleFileNameA gives),
  // its folder, and the temporary directory.
  std::string ownPath;
  if (!posix::WindowsPath(launcherFile, &ownPath) || ownPath.size() >= MAX_PATH) return 0;
  char launcherDir[MAX_PATH], ownName[MAX_PATH], tempDir[MAX_PATH];
  SplitPath(launcherDir, ownName, ownPath.c_str());
  setenv("TMP", tempFolder.c_str(), 1);
  DWORD length = GetTempPathA(sizeof tempDir, tempDir);
  setenv("TMP", (prefix + "/drive_c/temp").c_str(), 1);
  if (length == 0 || length >= sizeof tempDir) return 0;
  // The launcher refuses longer ones. A path of 259 bytes is left out too:
  // Windows takes it, the layer's file calls refuse it (one byte short).
  if (std::strlen(launcherDir) + 1 + std::strlen(kUpdaterFile) >= MAX_PATH - 1 ||
      std::strlen(tempDir) + 1 + std::strlen(kUpdaterFile) >= MAX_PATH - 1)
    return 0;

  // What it copies, from where to where, and the line it starts.
  UpdaterStart start;
  PlanUpdaterStart(launcherDir, tempDir, &start);
  if (!SameFile(Host(start.mediumCopy), mediumFile)) __builtin_trap();
  if (!SameFile(Host(start.temporaryCopy), tempFile)) __builtin_trap();
  // The program that the line names, as Windows finds a quoted one.
  const char* line = start.commandLine;
  if (line[0] != '"') __builtin_trap();
  std::string program(line + 1, std::strcspn(line + 1, "\""));
  if (program != start.temporaryCopy) __builtin_trap();

  // The updater's side: the text after its name, and the folder it takes.
  const char* tail = posix::SkipProgramName(line);
  if (std::strcmp(tail, start.mediumCopy) != 0) __builtin_trap();
  if (!TakeSourcePath(nullptr, tail)) __builtin_trap();
  // It reads the medium's files as JoinPath(source directory, name).
  char again[MAX_PATH];
  JoinPath(again, SourceDirectory, kUpdaterFile);
  if (!SameFile(Host(again), mediumFile)) __builtin_trap();
  return 0;
}
