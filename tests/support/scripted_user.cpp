#ifndef _WIN32
#include "scripted_user.h"

#include <cstdio>

using posix::ui::Answer;
using posix::ui::Choice;
using posix::ui::Scene;

ScriptedUser::ScriptedUser() : previous_(posix::ui::SetUser(this)) { posix::ui::SetTranscript(&transcript_); }

ScriptedUser::~ScriptedUser() {
  posix::ui::SetUser(previous_);
  posix::ui::SetTranscript(nullptr);
}

ScriptedUser& ScriptedUser::Then(const std::string& answer, std::function<void()> before) {
  steps_.push_back({answer, std::move(before)});
  return *this;
}

bool ScriptedUser::Ask(const Scene& scene, Answer* answer) {
  scenes_.push_back(scene);
  if (next_ == steps_.size()) return false;  // the program under test ends, failing the test
  const Step& step = steps_[next_++];
  if (step.before) step.before();
  if (step.answer == "escape") return *answer = {Choice::kEscape, 0}, true;
  if (step.answer == "close") return *answer = {Choice::kClose, 0}, true;
  for (const auto& b : scene.buttons)
    if (b.label == step.answer) return *answer = {Choice::kButton, b.id}, true;
  std::fprintf(stderr, "scripted answer \"%s\" is no button of the scene shown\n", step.answer.c_str());
  return false;
}
#endif
