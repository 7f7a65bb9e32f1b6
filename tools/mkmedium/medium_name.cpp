#include "medium_name.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include <strings.h>

#include "wintext/cp932.h"
#include "wintext/windows_name.h"
#include "script/update_entry.h"

namespace mkmedium {
namespace {

// The byte offsets at which the characters of a CP932 text begin.
std::vector<size_t> CharStarts(const std::string& s) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < s.size(); ++i) {
    starts.push_back(i);
    if (wintext::IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ++i;
  }
  return starts;
}

// What is wrong with one component of a name, or "".
std::string PartError(const std::string& part) {
  if (part.empty()) return "has an empty folder name";
  for (size_t i = 0; i < part.size(); ++i) {
    auto c = static_cast<unsigned char>(part[i]);
    if (wintext::IsLeadByte(c) && i + 1 < part.size()) {
      ++i;
      continue;
    }
    if (c < 0x20) return "has a control character";
    // Beside what Windows refuses: '\' would part a folder the host sees as
    // one name, and '=' makes a script line a key line.
    if (wintext::IsForbiddenNameChar(c) || c == '\\' || c == '=') return std::string("has the character '") + char(c) + "'";
  }
  if (part.front() == ' ') return "begins with a blank";
  if (part.back() == ' ' || part.back() == '.') return "ends in a blank or a period, which Windows drops";
  if (wintext::IsDeviceName(part)) return "is the name of a Windows device";
  return "";
}

}  // namespace

bool ScriptName(const std::string& rel, std::string* name, std::string* error) {
  std::string cp932;
  if (!wintext::Utf8ToCp932(rel, &cp932)) {
    *error = "cannot be written in CP932";
    return false;
  }
  // '/' is below 0x40 and so never the second byte of a character.
  name->clear();
  size_t start = 0;
  for (;;) {
    size_t slash = cp932.find('/', start);
    std::string part = cp932.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    std::string why = PartError(part);
    if (!why.empty()) {
      *error = why;
      return false;
    }
    *name += part;
    if (slash == std::string::npos) return true;
    *name += '\\';
    start = slash + 1;
  }
}

std::string CompressedName(const std::string& name, uint8_t* missing) {
  *missing = 0;
  std::vector<size_t> starts = CharStarts(name);
  // The last component's extension: after its last '.', which is below 0x40
  // and so never part of a double-byte character.
  size_t base = 0, dot = std::string::npos;
  for (size_t i : starts) {
    if (name[i] == '\\') base = i + 1, dot = std::string::npos;
    if (name[i] == '.') dot = i;
  }
  if (dot == std::string::npos || dot < base) return name + "._";
  size_t extChars = 0;
  for (size_t i : starts)
    if (i > dot) ++extChars;
  if (extChars < 3) return name + "_";
  size_t last = starts.back();
  if (name.size() - last == 1) *missing = static_cast<uint8_t>(name[last]);
  return name.substr(0, last) + "_";
}

std::string PieceName(const std::string& stored, int piece) {
  UpdateEntry entry(("1:" + stored).c_str(), nullptr);
  char medium[MAX_PATH], temporary[MAX_PATH];
  entry.MakePiecePaths(piece, medium, temporary, "\\", "\\");
  return medium + 1;
}

std::string RootName(const std::string& stored) {
  size_t base = 0;
  for (size_t i : CharStarts(stored))
    if (stored[i] == '\\') base = i + 1;
  return stored.substr(base);
}

std::string TopName(const std::string& stored) {
  for (size_t i : CharStarts(stored))
    if (stored[i] == '\\') return stored.substr(0, i);
  return stored;
}

std::string NumberedName(const std::string& name, int k) {
  // The last '.' (below 0x40, never part of a double-byte character) that
  // does not begin the name.
  size_t dot = std::string::npos;
  for (size_t i : CharStarts(name))
    if (name[i] == '.' && i > 0) dot = i;
  std::string mark = "~" + std::to_string(k);
  return dot == std::string::npos ? name + mark : name.substr(0, dot) + mark + name.substr(dot);
}

bool LooksLikeLabel(const std::string& name) {
  if (name.size() < 9 || strncasecmp(name.c_str(), "disk", 4) != 0) return false;
  if (strcasecmp(name.c_str() + name.size() - 4, ".fix") != 0) return false;
  for (size_t i = 4; i < name.size() - 4; ++i)
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

bool IsLabelName(const std::string& name, int* number) {
  if (!LooksLikeLabel(name)) return false;
  // The digits as "%d" writes a number: no leading zero, and no more than an
  // int holds.
  std::string digits = name.substr(4, name.size() - 8);
  if ((digits.size() > 1 && digits[0] == '0') || digits.size() > 10) return false;
  long long n = std::stoll(digits);
  if (n > INT_MAX) return false;
  if (number) *number = int(n);
  return true;
}

std::string LabelMeant(const std::string& name) {
  std::string digits = name.substr(4, name.size() - 8);
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
  return "disk" + digits + ".fix";
}

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
  return wintext::CompareNoCase(a.c_str(), b.c_str()) < 0;
}

std::string Readable(const std::string& cp932) {
  std::string utf8;
  if (wintext::Cp932ToUtf8(cp932, &utf8)) return utf8;
  utf8.clear();
  for (unsigned char c : cp932) {
    if (c >= 0x20 && c < 0x7F) {
      utf8 += char(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      utf8 += hex;
    }
  }
  return utf8;
}

}  // namespace mkmedium
