#include "outcome.h"

#include <sstream>
#include <vector>

namespace zefa {
namespace {

// The transcript is UTF-8 whatever the programs' code page.
const char kConfirmEnd[] = u8"」をアップデートしますか？";
const char kCompletedEnd[] = u8"」のアップデートが完了しました";
const char kNotSetUpEnd[] = u8"」がセットアップされていません";
const char kRefusedEnd[] = u8"」本体専用です。ガルモには使用できません";
const char kRestartStart[] = u8"ゼファアップデートのテンポラリファイルを削除するために";
const char kNo[] = u8"いいえ";

struct Record {
  bool box = false;
  std::string icon;
  std::vector<std::string> text;
  std::string answer;  // the last one
};

bool EndsWith(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

bool FirstLineIs(const Record& r, const std::string& icon, const std::string& end) {
  return r.box && r.icon == icon && !r.text.empty() && r.text[0].rfind(u8"「", 0) == 0 && EndsWith(r.text[0], end);
}

std::vector<Record> Parse(const std::string& text) {
  std::vector<Record> records;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("box: ", 0) == 0 || line.rfind("dialog: ", 0) == 0) {
      records.emplace_back();
      records.back().box = line[0] == 'b';
    } else if (records.empty()) {
      continue;
    } else if (line.rfind("  icon: ", 0) == 0) {
      records.back().icon = line.substr(8);
    } else if (line.rfind("  text: ", 0) == 0) {
      records.back().text.push_back(line.substr(8));
    } else if (line.rfind("  answer: ", 0) == 0) {
      records.back().answer = line.substr(10);
    }
  }
  return records;
}

}  // namespace

Outcome ReadOutcome(const std::string& text) {
  std::vector<Record> records = Parse(text);
  if (records.empty()) return Outcome::kUnfinished;
  const Record& last = records.back();
  if (last.box && last.icon == "information" && !last.text.empty() && last.text[0] == kRestartStart &&
      !last.answer.empty()) {
    // The restart notice follows the completion box or the error box.
    if (records.size() >= 2 && FirstLineIs(records[records.size() - 2], "information", kCompletedEnd))
      return Outcome::kCompleted;
    return Outcome::kFailed;
  }
  if (last.answer.empty() || last.answer == "(end of input)") return Outcome::kUnfinished;
  if (FirstLineIs(last, "warning", kConfirmEnd) && last.answer == kNo) return Outcome::kDeclined;
  if (FirstLineIs(last, "error", kNotSetUpEnd)) return Outcome::kNotSetUp;
  if (last.box && last.icon == "error" && !last.text.empty() && EndsWith(last.text[0], kRefusedEnd))
    return Outcome::kRefused;
  return Outcome::kUnfinished;
}

}  // namespace zefa
