// The person in front of the POSIX build's windows. Dialogs and message boxes
// are shown to a User, who answers them; the terminal's user is the default,
// and tests put a scripted one in its place. Every box or dialog shown and its
// answer are also written to the transcript (see tests/transcript.md).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "ui_api.h"

namespace posix::ui {

struct Button {
  int id;
  std::string label;  // CP932, without an accelerator mark
};

// A box or dialog waiting for an answer, as a person sees it. Texts are CP932.
struct Scene {
  bool dialog = false;  // a dialog of the program's own, or a message box
  std::string caption;
  std::string icon;                 // "error", "warning", "information", "question", or empty
  std::vector<std::string> lines;   // in reading order
  std::vector<Button> buttons;      // left to right
  int defaultButton = 0;            // id of the button Enter presses
  std::vector<std::string> behind;  // the program's other windows on screen
};

enum class Choice { kButton, kEscape, kClose };

struct Answer {
  Choice choice = Choice::kButton;
  int button = 0;  // the id, for kButton
};

class User {
 public:
  virtual ~User() = default;
  // A window without buttons appeared or changed (the progress dialog, the
  // launcher's preparing window); lines as in a Scene. Nothing to answer.
  virtual void Look(const std::string& caption, const std::vector<std::string>& lines) {}
  // A progress bar moved.
  virtual void Progress(int position, int low, int high) {}
  // Shows scene and returns the answer; false when no answer can come any more.
  virtual bool Ask(const Scene& scene, Answer* answer) = 0;
};

// Puts user in front of the windows (null: the terminal's user); returns the one before.
User* SetUser(User* user);

// Where the transcript goes (null: the file named by $ZEFA_TRANSCRIPT, if set).
void SetTranscript(std::ostream* out);

// The transcript's description of an answer: the button's label, "(escape)" or "(close)".
std::string AnswerText(const Scene& scene, const Answer& answer);

}  // namespace posix::ui
