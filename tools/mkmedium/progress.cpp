#include "progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace mkmedium {

Progress::Progress(bool wanted) : enabled_(wanted && isatty(STDERR_FILENO)) {}

void Progress::Show(const std::string& text) {
  if (!enabled_) return;
  // A few redraws a second are enough to read, and cost nothing.
  long long now = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
  if (shown_ && now - lastDraw_ < 100) return;
  lastDraw_ = now;
  struct winsize ws;
  size_t width = ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1 ? ws.ws_col - 1 : 79;
  // Cut at a character boundary; a wide character counts as two columns.
  std::string line;
  size_t columns = 0;
  for (size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    size_t cols = len >= 3 ? 2 : 1;
    if (columns + cols > width) break;
    line.append(text, i, len);
    columns += cols;
    i += len;
  }
  std::fprintf(stderr, "\r\033[K%s", line.c_str());
  std::fflush(stderr);
  shown_ = true;
}

void Progress::Clear() {
  if (!shown_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace mkmedium
