// What one update run works with: the loaded script, the installation
// directory found through the registry, the temporary directory, and whether
// the update was refused because the expansion kit is installed.
#pragma once

#include "platform/win32.h"
#include "script/update_script.h"

class UpdateJob {
 public:
  // Keeps the script (owned by the caller, who keeps it alive longer) and
  // fills tempDir. Raises Exception "テンポラリディレクトリがみつかりません"
  // when the temporary directory cannot be had.
  explicit UpdateJob(UpdateScript* script);
  UpdateJob(const UpdateJob&) = delete;
  UpdateJob& operator=(const UpdateJob&) = delete;

  // Finds the installation directory through the registry. 1 when installDir
  // holds an existing directory; 0 otherwise, refused telling why (1: the
  // expansion kit is installed, 0: the product is not set up). Raises nothing.
  int Locate();

  // Applies every entry of the script to the installation directory, stepping
  // the progress bar once per entry. Raises the Exception of the first failure.
  void Run(HWND owner, HWND progressBar);

  // Returns once the label file of disk n is in sourceDir, asking the user to
  // insert it; raises Exception "アップデートを中止します" when the user gives up.
  static void PromptForDisk(HWND owner, const char* sourceDir, int disk);

  int refused;
  UpdateScript* script;
  char installDir[MAX_PATH];
  char tempDir[MAX_PATH];
};

// 1 when GetFileAttributesA succeeds for path (a file or a directory), else 0.
int FileExists(const char* path);
// 1 when path is an existing directory, else 0.
int IsDirectory(const char* path);
