#include "windows_name.h"

#include <cctype>
#include <cstring>
#include <string>

#include "cp932.h"

namespace wintext {

bool IsForbiddenNameChar(unsigned char c) { return c < 0x20 || (c && std::strchr("<>:\"|?*", c)); }

bool IsValidName(std::string_view name) {
  for (size_t i = 0; i < name.size(); ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    if (IsLeadByte(c) && i + 1 < name.size()) {
      ++i;
      continue;
    }
    if (IsForbiddenNameChar(c)) return false;
  }
  return true;
}

bool IsDeviceName(std::string_view name) {
  std::string base(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
         base[3] <= '9';
}

}  // namespace wintext
