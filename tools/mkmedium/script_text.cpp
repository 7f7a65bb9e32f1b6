#include "script_text.h"

#include <cstring>

#include "wintext/cp932.h"

namespace mkmedium {
namespace {

bool KeyLine(const char* key, const std::string& value, std::string* line, std::string* error) {
  std::string cp932;
  if (!wintext::Utf8ToCp932(value, &cp932)) {
    *error = std::string(key) + " cannot be written in CP932";
    return false;
  }
  if (cp932.empty()) {
    *error = std::string(key) + " is empty";
    return false;
  }
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  if (blank(cp932.front()) || blank(cp932.back())) {
    *error = std::string(key) + " begins or ends with a blank, which the updater cuts off";
    return false;
  }
  for (size_t i = 0; i < cp932.size(); ++i) {
    auto c = static_cast<unsigned char>(cp932[i]);
    if (wintext::IsLeadByte(c) && i + 1 < cp932.size()) {
      ++i;
    } else if (c == '=') {
      *error = std::string(key) + " holds a '=', where the updater would end it";
      return false;
    } else if (c < 0x20 && c != '\t') {
      *error = std::string(key) + " holds a control character";
      return false;
    }
  }
  *line = std::string(key) + "=" + cp932;
  if (line->size() > kMaxLine) {
    *error = std::string(key) + " is too long for a line of the script (259 bytes)";
    return false;
  }
  return true;
}

}  // namespace

bool KeyLines(const ScriptKeys& keys, std::vector<std::string>* lines, std::string* error) {
  lines->clear();
  std::string line;
  if (!KeyLine("APPNAME", keys.appName, &line, error)) return false;
  lines->push_back(line);
  if (!KeyLine("REGISTRY", keys.registry, &line, error)) return false;
  if (line.size() - 9 > kMaxRegistryName) {
    *error = "REGISTRY is longer than the updater's registry key paths allow (" +
             std::to_string(kMaxRegistryName) + " bytes)";
    return false;
  }
  lines->push_back(line);
  if (!keys.kitValue.empty()) {
    if (!KeyLine("GARMOREGISTRY", keys.kitValue, &line, error)) return false;
    lines->push_back(line);
  }
  if (!keys.mode.empty()) {
    if (!KeyLine("MODE", keys.mode, &line, error)) return false;
    lines->push_back(line);
  }
  return true;
}

std::string EntryLine(const std::string& name, const std::string& stored, const std::vector<Piece>& pieces) {
  std::string line;
  for (const Piece& p : pieces) line += (line.empty() ? "" : "+") + std::to_string(p.disk);
  line += ":" + stored;
  if (pieces.size() > 1 || stored != name) line += ">" + name;
  return line;
}

std::string ScriptText(const std::vector<std::string>& keyLines, const std::vector<std::string>& entryLines) {
  std::string text = "; update medium made by mkmedium\r\n";
  for (const std::string& l : keyLines) text += l + "\r\n";
  for (const std::string& l : entryLines) text += l + "\r\n";
  return text;
}

std::string RegistryProblem(const char* registry) {
  if (!registry) return "no REGISTRY line: the updater cannot find the installation";
  if (!*registry) return "REGISTRY is empty: the updater cannot find the installation";
  if (std::strlen(registry) > kMaxRegistryName)
    return "REGISTRY is longer than the updater's registry key paths allow (" + std::to_string(kMaxRegistryName) +
           " bytes)";
  return "";
}

}  // namespace mkmedium
