// A folder of updated files and a medium built from it, in a sandbox whose
// drive C: the check reaches through the POSIX layer.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "medium_builder.h"
#include "support/sandbox.h"

class MediumTest : public ::testing::Test {
 protected:
  MediumTest();

  // A file below the folder of updated files; rel is UTF-8 with '/'.
  void AddFile(const std::string& rel, const std::string& bytes);

  // Builds the medium "out" from the files; raises mkmedium::Failure.
  mkmedium::BuildResult Build();
  // The message of the Failure that Build raises, or "" when it succeeds.
  std::string BuildError();

  // Host path of rel (UTF-8, '/') in the sandbox.
  std::string Path(const std::string& rel) const;
  std::string Read(const std::string& rel) const;
  bool Exists(const std::string& rel) const;
  // The lines of the medium's script (CP932), without the comment.
  std::vector<std::string> ScriptLines() const;
  // The content of a file on the medium, expanded when it is compressed.
  std::string Content(const std::string& rel) const;
  // Runs the mkmedium program; returns its exit status, its standard output
  // in out.
  int Run(const std::vector<std::string>& args, std::string* out = nullptr) const;

  // The names in the sandbox's root, one a line, dot files too.
  std::string Listing() const;

  Sandbox box;
  mkmedium::BuildOptions options;
};

// What a shell command prints, its errors too.
std::string CommandOutput(const std::string& command);

// Deterministic samples: text that compresses well, and random bytes that do not.
std::string Text(size_t size, unsigned seed = 1);
std::string Noise(size_t size, unsigned seed = 1);
