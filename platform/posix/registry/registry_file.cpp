#include "registry_file.h"

#include <algorithm>
#include <array>

#include "platform/posix/text/utf16.h"

namespace posix {
namespace {

constexpr std::string_view kSignature = "WINE REGISTRY Version 2";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Each byte's value as a hex digit, or -1: one look per byte of hex data.
constexpr std::array<signed char, 256> kHexDigits = [] {
  std::array<signed char, 256> digits{};
  for (int c = 0; c < 256; ++c) {
    digits[c] = c >= '0' && c <= '9'   ? static_cast<signed char>(c - '0')
                : c >= 'a' && c <= 'f' ? static_cast<signed char>(c - 'a' + 10)
                : c >= 'A' && c <= 'F' ? static_cast<signed char>(c - 'A' + 10)
                                       : -1;
  }
  return digits;
}();

int HexDigit(char c) { return kHexDigits[static_cast<unsigned char>(c)]; }

// The lines of a file, without their line ends (LF or CR LF).
class Lines {
 public:
  explicit Lines(std::string_view text, size_t pos = 0) : text_(text), pos_(pos) {}

  // Where the next line begins; the end of the text after the last.
  size_t pos() const { return std::min(pos_, text_.size()); }

  bool Next(std::string_view* line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    *line = text_.substr(pos_, end - pos_);
    if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
    pos_ = end + 1;
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

bool IsBlankRest(std::string_view s) { return TrimLeft(s).empty(); }

bool EndsInBackslash(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return !s.empty() && s.back() == '\\';
}

// Reads an escaped name or text that ends at the first unescaped terminator.
// On success *s is left just after the terminator.
bool ReadEscaped(std::string_view* s, char terminator, std::u16string* out) {
  out->clear();
  std::string_view p = *s;
  // Bytes that stand for themselves are read as UTF-8. An ASCII byte ends any
  // sequence before it, so the text decodes piece by piece between escapes;
  // only an escaped byte above 0x7F may join its neighbours, and is gathered
  // with them here.
  std::string joined;
  auto decode = [&](std::string_view run) {
    if (joined.empty()) {
      AppendUtf8AsUtf16(run, out);
    } else {
      joined += run;
      AppendUtf8AsUtf16(joined, out);
      joined.clear();
    }
  };
  size_t end = p.find(terminator);  // the next terminator, escaped or not
  for (size_t pos = 0;;) {
    if (end != std::string_view::npos && end < pos) end = p.find(terminator, pos);
    if (end == std::string_view::npos) return false;
    size_t slash = p.substr(pos, end - pos).find('\\');
    if (slash == std::string_view::npos) {
      decode(p.substr(pos, end - pos));
      *s = p.substr(end + 1);
      return true;
    }
    std::string_view run = p.substr(pos, slash);
    pos += slash + 1;
    if (pos == p.size()) return false;
    char e = p[pos++];
    char16_t unit;
    switch (e) {
      case 'a':
        unit = 7;
        break;
      case 'b':
        unit = 8;
        break;
      case 'e':
        unit = 27;
        break;
      case 'f':
        unit = 12;
        break;
      case 'n':
        unit = 10;
        break;
      case 'r':
        unit = 13;
        break;
      case 't':
        unit = 9;
        break;
      case 'v':
        unit = 11;
        break;
      case 'x': {
        unsigned value = 0;
        int digits = 0;
        while (digits < 4 && pos < p.size() && HexDigit(p[pos]) >= 0) {
          value = value * 16 + HexDigit(p[pos++]);
          ++digits;
        }
        unit = digits ? static_cast<char16_t>(value) : u'x';
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          unsigned value = e - '0';
          for (int digits = 1; digits < 3 && pos < p.size() && p[pos] >= '0' && p[pos] <= '7'; ++digits)
            value = value * 8 + (p[pos++] - '0');
          unit = static_cast<char16_t>(value);
        } else if (static_cast<unsigned char>(e) < 0x80) {
          unit = static_cast<char16_t>(e);  // \\, \", \[, \] and any other ASCII byte stand for themselves
        } else {
          joined += run;
          joined += e;
          continue;
        }
    }
    decode(run);
    *out += unit;
  }
}

// Removes empty components in place: "a\\\\b\\" is a\b, as a path below the root.
void NormalizePath(std::u16string* path) {
  size_t kept = 0;
  for (size_t start = 0; start < path->size();) {
    size_t end = path->find(u'\\', start);
    if (end == std::u16string::npos) end = path->size();
    if (end > start) {
      if (kept > 0) (*path)[kept++] = u'\\';
      if (kept != start) std::copy(path->begin() + start, path->begin() + end, path->begin() + kept);
      kept += end - start;
    }
    start = end + 1;
  }
  path->resize(kept);
}

void AppendText(const std::u16string& text, std::string* data) {
  data->reserve(text.size() * 2 + 2);
  for (char16_t unit : text) {
    *data += static_cast<char>(unit & 0xFF);
    *data += static_cast<char>(unit >> 8);
  }
  *data += '\0';
  *data += '\0';
}

// Reads up to eight hex digits as a number; false when there is none or the
// number goes on.
bool ReadHexNumber(std::string_view* s, DWORD* value) {
  std::string_view p = *s;
  *value = 0;
  int digits = 0;
  while (!p.empty() && HexDigit(p.front()) >= 0) {
    if (++digits > 8) return false;
    *value = *value * 16 + static_cast<DWORD>(HexDigit(p.front()));
    p.remove_prefix(1);
  }
  *s = p;
  return digits > 0;
}

bool Consume(std::string_view* s, std::string_view prefix) {
  if (s->substr(0, prefix.size()) != prefix) return false;
  s->remove_prefix(prefix.size());
  return true;
}

// Hex bytes separated by commas, continued on the next line after a trailing
// backslash. Without data, only the lines are taken.
bool ReadHexBytes(std::string_view s, Lines* lines, std::string* data) {
  for (;;) {
    // Wine writes two digits and a comma for each byte.
    while (s.size() >= 3 && s[2] == ',') {
      int high = HexDigit(s[0]), low = HexDigit(s[1]);
      if (high < 0 || low < 0) break;
      if (data) *data += static_cast<char>(high * 16 + low);
      s.remove_prefix(3);
    }
    s = TrimLeft(s);
    if (s.empty()) return true;
    if (s.front() == '\\' && IsBlankRest(s.substr(1))) {
      if (!lines->Next(&s)) return true;
      continue;
    }
    int high = HexDigit(s.front());
    if (high < 0) return false;
    s.remove_prefix(1);
    int byte = high;
    if (!s.empty() && HexDigit(s.front()) >= 0) {
      byte = high * 16 + HexDigit(s.front());
      s.remove_prefix(1);
    }
    if (data) *data += static_cast<char>(byte);
    s = TrimLeft(s);
    if (!s.empty() && s.front() == ',') {
      s.remove_prefix(1);
    } else if (!s.empty() && s.front() != '\\') {
      return false;
    }
  }
}

// The data after '=' of a value line. Continuation lines of hex data are
// taken from lines; without keep, hex bytes are not kept.
bool ReadData(std::string_view s, Lines* lines, RegistryValue* value, bool keep) {
  s = TrimLeft(s);
  value->data.clear();
  DWORD type = REG_SZ;
  if (Consume(&s, "str:")) {
  } else if (Consume(&s, "str(")) {
    if (!ReadHexNumber(&s, &type) || !Consume(&s, "):")) return false;
  } else if (Consume(&s, "dword:")) {
    DWORD number;
    if (!ReadHexNumber(&s, &number) || !IsBlankRest(s)) return false;
    value->type = REG_DWORD;
    for (int i = 0; i < 4; ++i) value->data += static_cast<char>((number >> (8 * i)) & 0xFF);
    return true;
  } else if (Consume(&s, "hex:")) {
    value->type = REG_BINARY;
    return ReadHexBytes(s, lines, keep ? &value->data : nullptr);
  } else if (Consume(&s, "hex(")) {
    if (!ReadHexNumber(&s, &value->type) || !Consume(&s, "):")) return false;
    return ReadHexBytes(s, lines, keep ? &value->data : nullptr);
  }
  // A quoted text, plain or after str:/str(n):.
  if (!Consume(&s, "\"")) return false;
  std::u16string text;
  if (!ReadEscaped(&s, '"', &text)) return false;
  value->type = type;
  AppendText(text, &value->data);
  return true;
}

// A value line: "name"=data or @=data. Reads the value when want asks for it
// (any value, a link's target, or none) and returns whether it did; either way
// the lines its data continues on are taken.
bool ReadValue(std::string_view s, Lines* lines, RegistryValue* value, SectionWant want) {
  value->name.clear();
  if (s.front() == '@') {
    s.remove_prefix(1);
  } else {
    s.remove_prefix(1);
    if (!ReadEscaped(&s, '"', &value->name)) return false;
  }
  s = TrimLeft(s);
  if (s.empty() || s.front() != '=') return false;
  bool keep = want == SectionWant::kAll || (want == SectionWant::kLink && EqualNoCase(value->name, kLinkValueName));
  if (!keep && !EndsInBackslash(s)) return false;  // only hex data continues, after a backslash
  return ReadData(s.substr(1), lines, value, keep) && keep;
}

// Reads the first line: whether it is the signature of version 2.
bool ReadSignature(Lines* lines) {
  std::string_view line;
  return lines->Next(&line) && line.substr(0, kSignature.size()) == kSignature &&
         IsBlankRest(line.substr(kSignature.size()));
}

}  // namespace

bool ReadRegistryHeader(std::string_view text, RegistryFileHeader* header) {
  *header = RegistryFileHeader();
  Lines lines(text);
  if (!ReadSignature(&lines)) return false;
  std::string_view line;
  while (lines.Next(&line)) {
    line = TrimLeft(line);
    if (!line.empty() && line.front() == '[') break;
    if (Consume(&line, "#arch=")) {
      while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
      header->win64 = line == "win64";
    }
  }
  return true;
}

RegistrySections::RegistrySections(std::string_view text) : text_(text) {
  Lines lines(text);
  valid_ = ReadSignature(&lines);
  pos_ = lines.pos();
  // The header's lines come before any key, so they fall to no key.
  if (valid_) FindReadableKey();
}

bool RegistrySections::Next(RegistrySection* section) {
  if (!hasNext_) return false;
  section->path.swap(next_);
  size_t start = pos_;  // just after the section's key line
  size_t end;
  bool readable;
  hasNext_ = NextKeyLine(&end, &readable);
  if (hasNext_ && !readable) FindReadableKey();
  section->body = text_.substr(start, end - start);
  return true;
}

void RegistrySections::FindReadableKey() {
  size_t at;
  bool readable;
  while ((hasNext_ = NextKeyLine(&at, &readable)) && !readable) {
  }
}

bool RegistrySections::NextKeyLine(size_t* at, bool* readable) {
  Lines lines(text_, pos_);
  std::string_view line;
  for (;;) {
    *at = lines.pos();
    if (!lines.Next(&line)) {
      pos_ = text_.size();
      return false;
    }
    line = TrimLeft(line);
    if (line.empty()) continue;
    if (line.front() == '[') {
      std::string_view rest = line.substr(1);
      *readable = ReadEscaped(&rest, ']', &next_);
      if (*readable) NormalizePath(&next_);
      pos_ = lines.pos();
      return true;
    }
    // Hex data continued on the lines below takes them, whoever wants the
    // value: a continued line that looks like a key line is no key.
    if ((line.front() == '"' || line.front() == '@') && EndsInBackslash(line))
      ReadValue(line, &lines, &skipped_, SectionWant::kNothing);
  }
}

void ParseRegistrySection(std::string_view body, SectionWant want, RegistryFileSink& sink) {
  if (want == SectionWant::kNothing) return;
  Lines lines(body);
  std::string_view line;
  RegistryValue value;
  while (lines.Next(&line)) {
    line = TrimLeft(line);
    if (line.empty()) continue;
    switch (line.front()) {
      case '#':
        if (line.substr(0, 5) == "#link" && IsBlankRest(line.substr(5))) sink.Link();
        break;
      case '"':
      case '@':
        if (ReadValue(line, &lines, &value, want)) sink.Value(value);
        break;
      default:  // a comment, or a line that means nothing
        break;
    }
  }
}

bool ParseRegistryFile(std::string_view text, RegistryFileSink& sink) {
  RegistrySections sections(text);
  RegistrySection section;
  while (sections.Next(&section)) ParseRegistrySection(section.body, sink.Key(section.path), sink);
  return sections.valid();
}

}  // namespace posix
