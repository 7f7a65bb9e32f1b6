// A person who answers the POSIX build's boxes and dialogs from a script, and
// the transcript of what was shown, for tests that run the system in-process.
#pragma once

#ifndef _WIN32
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/posix/ui/ui.h"

class ScriptedUser : public posix::ui::User {
 public:
  ScriptedUser();
  ~ScriptedUser() override;

  // The next answer: a button's label as the box shows it ("はい", "OK"), "escape" or
  // "close"; before runs when the scene is shown, before the answer is given.
  ScriptedUser& Then(const std::string& answer, std::function<void()> before = {});

  bool Ask(const posix::ui::Scene& scene, posix::ui::Answer* answer) override;
  void Look(const std::string& caption, const std::vector<std::string>& lines) override { looked_.push_back(caption); }

  // The scenes shown, one for each answer asked for, and the transcript (UTF-8).
  const std::vector<posix::ui::Scene>& Scenes() const { return scenes_; }
  std::string Transcript() const { return transcript_.str(); }
  // The captions of the windows that asked nothing, each time one appeared or changed.
  const std::vector<std::string>& Looked() const { return looked_; }
  // Answers not used up.
  size_t Left() const { return steps_.size() - next_; }

 private:
  struct Step {
    std::string answer;
    std::function<void()> before;
  };
  std::vector<Step> steps_;
  size_t next_ = 0;
  std::vector<posix::ui::Scene> scenes_;
  std::vector<std::string> looked_;
  std::ostringstream transcript_;
  posix::ui::User* previous_;
};
#endif
