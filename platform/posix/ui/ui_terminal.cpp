// The terminal's user: windows are drawn as blocks of text on standard output,
// the progress bar as one line that redraws, and answers come from standard
// input, a key at a time on a terminal and a line at a time otherwise.
#include <errno.h>
#include <langinfo.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "wintext/cp932.h"
#include "platform/answer_words.h"
#include "ui_windows.h"

namespace posix::ui {
namespace {

// Converts CP932 to the terminal's encoding (UTF-8 where the locale names none).
class Encoder {
 public:
  Encoder() {
    std::setlocale(LC_CTYPE, "");
    const char* codeset = nl_langinfo(CODESET);
    // The C locale names no encoding worth the name; terminals today speak UTF-8.
    codeset_ = !codeset || !std::strcmp(codeset, "ANSI_X3.4-1968") ? "UTF-8" : codeset;
  }
  std::string Out(const std::string& cp932) const {
    std::string out;
    return wintext::ConvertCp932(cp932, codeset_.c_str(), &out, true) ? out : cp932;
  }
  // An answer typed in the terminal's encoding, as CP932.
  std::string In(const std::string& text) const {
    std::string out;
    return wintext::ConvertCp932(text, codeset_.c_str(), &out, false) ? out : text;
  }

 private:
  std::string codeset_;
};

char KeyOf(int id) {
  switch (id) {
    case IDYES: return 'y';
    case IDNO: return 'n';
    case IDOK: return 'o';
    case IDCANCEL: return 'c';
    default: return 0;
  }
}

class TerminalUser : public User {
 public:
  TerminalUser() : keys_(isatty(0)), redraw_(isatty(1)) {}

  void Look(const std::string& caption, const std::vector<std::string>& lines) override {
    EndProgressLine();
    std::string out = caption.empty() ? "" : "== " + enc_.Out(caption) + " ==\n";
    for (const std::string& line : lines) out += "   " + enc_.Out(line) + "\n";
    Print(out);
  }

  void Progress(int position, int low, int high) override {
    const int kWidth = 30;
    int span = high > low ? high - low : 1;
    int filled = (position - low) * kWidth / span;
    std::string bar = "   [" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] " +
                      std::to_string(position) + "/" + std::to_string(high);
    if (redraw_) {
      Print("\r" + bar + "\033[K");
      progressLine_ = true;
    } else {
      Print(bar + "\n");
    }
  }

  bool Ask(const Scene& scene, Answer* answer) override {
    EndProgressLine();
    Print(Draw(scene));
    for (;;) {
      std::string typed;
      if (keys_) {
        int key = ReadKey();
        if (key < 0 || key == 4) return false;  // end of input, or Ctrl-D
        if (key == 27) {
          *answer = {Choice::kEscape, 0};
          Print("   (Esc)\n");
          return true;
        }
        if (key == '\r' || key == '\n') {
          *answer = {Choice::kButton, scene.defaultButton};
        } else {
          typed = std::string(1, static_cast<char>(key));
          if (!Parse(scene, typed, answer)) continue;
        }
        Print("   -> " + enc_.Out(AnswerLabel(scene, *answer)) + "\n");
        return true;
      }
      Print("> ");  // a prompt tells a program feeding the answers when one is wanted
      if (!ReadLine(&typed)) return false;
      if (Parse(scene, typed, answer)) {
        Print(answer->choice == Choice::kButton ? "   -> " + enc_.Out(AnswerLabel(scene, *answer)) + "\n"
                                                : std::string("   (") + (answer->choice == Choice::kEscape ? "Esc" : "close") + ")\n");
        return true;
      }
      std::fprintf(stderr, "%s: \"%s\" is none of this box's answers\n", program_invocation_short_name, typed.c_str());
    }
  }

 private:
  std::string Draw(const Scene& scene) const {
    std::string icon = scene.icon == "error"     ? "(x) "
                       : scene.icon == "warning" ? "(!) "
                       : scene.icon.empty()      ? ""
                                                 : "(i) ";
    std::string out = "\n+-- " + enc_.Out(scene.caption) + " --\n";
    for (size_t i = 0; i < scene.lines.size(); ++i)
      out += "| " + std::string(i == 0 ? icon : std::string(icon.size(), ' ')) + enc_.Out(scene.lines[i]) + "\n";
    out += "|\n|  ";
    for (const Button& b : scene.buttons) {
      char key = KeyOf(b.id);
      out += " [" + std::string(1, key ? static_cast<char>(key - 0x20) : '?') + "] " + enc_.Out(b.label) +
             (b.id == scene.defaultButton ? "*" : "") + " ";
    }
    return out + "\n";
  }

  std::string AnswerLabel(const Scene& scene, const Answer& answer) const {
    for (const Button& b : scene.buttons)
      if (b.id == answer.button) return b.label;
    return "?";
  }

  bool Parse(const Scene& scene, std::string typed, Answer* answer) const {
    while (!typed.empty() && (typed.back() == '\r' || typed.back() == ' ')) typed.pop_back();
    size_t start = typed.find_first_not_of(' ');
    typed = start == std::string::npos ? "" : typed.substr(start);
    std::string lower = typed;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "escape" || lower == "esc") return *answer = {Choice::kEscape, 0}, true;
    if (lower == "close") return *answer = {Choice::kClose, 0}, true;
    if (typed.empty()) return *answer = {Choice::kButton, scene.defaultButton}, true;
    std::string cp932 = enc_.In(typed);
    for (const Button& b : scene.buttons) {
      std::string key(1, KeyOf(b.id));
      if (cp932 == b.label || lower == AnswerWord(b.id) || lower == key) return *answer = {Choice::kButton, b.id}, true;
    }
    return false;
  }

  // One line, read a byte at a time: the launcher and the updater it starts
  // share standard input, and a buffered read would take the updater's answers.
  static bool ReadLine(std::string* line) {
    line->clear();
    for (;;) {
      char c;
      ssize_t n = read(0, &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return !line->empty();
      if (c == '\n') return true;
      *line += c;
    }
  }

  int ReadKey() {
    struct termios saved, raw;
    tcgetattr(0, &saved);
    raw = saved;
    raw.c_lflag &= ~(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(0, TCSANOW, &raw);
    unsigned char c;
    ssize_t n;
    do n = read(0, &c, 1);
    while (n < 0 && errno == EINTR);
    int key = n == 1 ? c : -1;
    if (key == 27) {
      // A lone Escape, or the start of a key's sequence (arrows), which is skipped.
      struct pollfd p = {0, POLLIN, 0};
      bool sequence = false;
      while (poll(&p, 1, 30) > 0 && read(0, &c, 1) == 1) sequence = true;
      if (sequence) key = 0;
    }
    tcsetattr(0, TCSANOW, &saved);
    return key == 0 ? ReadKey() : key;
  }

  void EndProgressLine() {
    if (progressLine_) Print("\n");
    progressLine_ = false;
  }

  void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }

  Encoder enc_;
  bool keys_;
  bool redraw_;
  bool progressLine_ = false;
};

User* user = nullptr;

}  // namespace

User& CurrentUser() {
  static TerminalUser terminal;
  return user ? *user : terminal;
}

User* SetUser(User* next) {
  User* previous = user;
  user = next;
  return previous;
}

void ShowChanged(const Window& window) { CurrentUser().Look(window.text, Lines(window)); }

void NoMoreAnswers(const Scene& scene) {
  RecordEndOfInput();
  std::string caption;
  if (!wintext::Cp932ToUtf8(scene.caption, &caption)) caption = "?";
  std::fprintf(stderr, "%s: standard input ended while the box \"%s\" waited for an answer\n",
               program_invocation_short_name, caption.c_str());
  std::exit(3);
}

}  // namespace posix::ui
