// The transcript: every box and dialog shown and every answer given, in UTF-8,
// in the format that tests/transcript.md describes.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "wintext/cp932.h"
#include "ui_windows.h"

namespace posix::ui {
namespace {

std::ostream* transcript = nullptr;

std::string Utf8(const std::string& cp932) {
  std::string out;
  if (!wintext::Cp932ToUtf8(cp932, &out)) {
    out.clear();
    for (unsigned char c : cp932) out += c < 0x80 ? static_cast<char>(c) : '?';
  }
  return out;
}

void Write(const std::string& text) {
  if (transcript) {
    *transcript << text;
    transcript->flush();
    return;
  }
  const char* path = std::getenv("ZEFA_TRANSCRIPT");
  if (!path || !*path) return;
  // Opened for each record, appending: the launcher and the updater it starts
  // write one transcript between them.
  if (FILE* f = std::fopen(path, "a")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
}

}  // namespace

void SetTranscript(std::ostream* out) { transcript = out; }

std::string AnswerText(const Scene& scene, const Answer& answer) {
  if (answer.choice == Choice::kEscape) return "(escape)";
  if (answer.choice == Choice::kClose) return "(close)";
  for (const Button& b : scene.buttons)
    if (b.id == answer.button) return Utf8(b.label);
  return "(button " + std::to_string(answer.button) + ")";
}

std::string Describe(const Scene& scene) {
  std::string text = (scene.dialog ? "dialog: " : "box: ") + Utf8(scene.caption) + "\n";
  if (!scene.icon.empty()) text += "  icon: " + scene.icon + "\n";
  for (const std::string& line : scene.lines) text += "  text: " + Utf8(line) + "\n";
  std::string buttons;
  for (const Button& b : scene.buttons) buttons += (buttons.empty() ? "" : " | ") + Utf8(b.label);
  text += "  buttons: " + buttons + "\n";
  for (const std::string& line : scene.behind) text += "  behind: " + Utf8(line) + "\n";
  return text;
}

void RecordScene(const Scene& scene) { Write(Describe(scene)); }

void RecordAnswer(const Scene& scene, const Answer& answer) { Write("  answer: " + AnswerText(scene, answer) + "\n"); }

void RecordEndOfInput() { Write("  answer: (end of input)\n"); }

}  // namespace posix::ui
