// How an update run ended, read from its transcript (tests/transcript.md):
// the updater shows one box for each end of a run, and the transcript holds
// every box with its icon, text and answer.
#pragma once

#include <string>

namespace zefa {

enum class Outcome {
  kCompleted,   // the completion box, then the restart notice
  kFailed,      // the error box, then the restart notice
  kNotSetUp,    // the product is not installed in this prefix
  kRefused,     // the expansion kit is installed
  kDeclined,    // the answer No to the confirmation
  kUnfinished,  // the run ended before any of these (input ended, the updater stopped)
};

// The outcome of the run whose transcript (UTF-8) is text.
Outcome ReadOutcome(const std::string& text);

}  // namespace zefa
