// One line on the terminal that says what a long run is doing, redrawn in
// place; nothing when standard error is not a terminal or the user asked for
// quiet.
#pragma once

#include <string>

namespace mkmedium {

class Progress {
 public:
  explicit Progress(bool wanted);
  ~Progress() { Clear(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Shows text (UTF-8) in place of what the line said before.
  void Show(const std::string& text);
  // Removes the line, so that what is printed next starts on a clean one.
  void Clear();

 private:
  bool enabled_;
  bool shown_ = false;
  long long lastDraw_ = 0;
};

}  // namespace mkmedium
