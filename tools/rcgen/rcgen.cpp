// Reads the dialogs of a resource script (.rc) and writes them as a C++ table
// for the POSIX build, so that its dialogs are the very ones windres compiles
// for Windows. Knows the subset of the resource language the programs use:
// #define/#include of local headers, DIALOG with STYLE, CAPTION and FONT, and
// the CONTROL, LTEXT, CTEXT, RTEXT, PUSHBUTTON, DEFPUSHBUTTON and ICON
// controls. Other resources are skipped. Texts become CP932.
//
// Usage: rcgen input.rc output.cpp
#include <iconv.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Die(const std::string& file, int line, const std::string& what) {
  std::fprintf(stderr, "%s:%d: %s\n", file.c_str(), line, what.c_str());
  std::exit(1);
}

const std::map<std::string, uint32_t> kConstants = {
    {"WS_POPUP", 0x80000000u},   {"WS_CHILD", 0x40000000u},    {"WS_VISIBLE", 0x10000000u},
    {"WS_DISABLED", 0x08000000u}, {"WS_CAPTION", 0x00C00000u},  {"WS_BORDER", 0x00800000u},
    {"WS_SYSMENU", 0x00080000u}, {"WS_GROUP", 0x00020000u},    {"WS_TABSTOP", 0x00010000u},
    {"DS_MODALFRAME", 0x80},     {"DS_SETFONT", 0x40},         {"DS_CENTER", 0x800},
    {"SS_LEFT", 0x0},            {"SS_CENTER", 0x1},           {"SS_RIGHT", 0x2},
    {"SS_ICON", 0x3},            {"BS_PUSHBUTTON", 0x0},       {"BS_DEFPUSHBUTTON", 0x1},
    {"IDOK", 1},                 {"IDCANCEL", 2},              {"IDYES", 6},
    {"IDNO", 7},                 {"IDC_STATIC", 0xFFFFFFFFu},  {"LANG_JAPANESE", 0x11},
    {"SUBLANG_DEFAULT", 0x1},
};

constexpr uint32_t kChildVisible = 0x40000000u | 0x10000000u;

struct Token {
  enum Kind { kWord, kNumber, kString, kPunct, kEnd } kind = kEnd;
  std::string text;
  uint32_t number = 0;
  int line = 0;
};

class Lexer {
 public:
  Lexer(const std::string& file, std::map<std::string, uint32_t>* defines) : file_(file), defines_(defines) {
    std::ifstream in(file, std::ios::binary);
    if (!in) Die(file, 0, "cannot read");
    std::stringstream s;
    s << in.rdbuf();
    src_ = s.str();
  }

  Token Next() {
    for (;;) {
      SkipBlanks();
      if (pos_ >= src_.size()) return {Token::kEnd, "", 0, line_};
      if (src_[pos_] == '#' && AtLineStart()) {
        Directive();
        continue;
      }
      break;
    }
    char c = src_[pos_];
    Token t{Token::kPunct, std::string(1, c), 0, line_};
    if (c == '"') return String();
    if (std::isdigit(static_cast<unsigned char>(c))) {
      size_t end = pos_;
      while (end < src_.size() && std::isalnum(static_cast<unsigned char>(src_[end]))) ++end;
      std::string digits = src_.substr(pos_, end - pos_);
      pos_ = end;
      while (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l')) digits.pop_back();
      t.kind = Token::kNumber;
      t.text = digits;
      t.number = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 0));
      return t;
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t end = pos_;
      while (end < src_.size() && (std::isalnum(static_cast<unsigned char>(src_[end])) || src_[end] == '_')) ++end;
      t.kind = Token::kWord;
      t.text = src_.substr(pos_, end - pos_);
      pos_ = end;
      return t;
    }
    ++pos_;
    return t;
  }

  const std::string& file() const { return file_; }

 private:
  bool AtLineStart() const {
    size_t p = pos_;
    while (p > 0 && (src_[p - 1] == ' ' || src_[p - 1] == '\t')) --p;
    return p == 0 || src_[p - 1] == '\n';
  }

  void SkipBlanks() {
    while (pos_ < src_.size()) {
      char c = src_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++pos_;
      } else if (src_.compare(pos_, 2, "//") == 0) {
        while (pos_ < src_.size() && src_[pos_] != '\n') ++pos_;
      } else if (src_.compare(pos_, 2, "/*") == 0) {
        size_t end = src_.find("*/", pos_ + 2);
        if (end == std::string::npos) Die(file_, line_, "unterminated comment");
        for (size_t i = pos_; i < end; ++i) line_ += src_[i] == '\n';
        pos_ = end + 2;
      } else {
        break;
      }
    }
  }

  std::string RestOfLine() {
    size_t end = src_.find('\n', pos_);
    if (end == std::string::npos) end = src_.size();
    std::string rest = src_.substr(pos_, end - pos_);
    pos_ = end;
    return rest;
  }

  void Directive() {
    std::istringstream line(RestOfLine());
    std::string word;
    line >> word;
    if (word == "#define") {
      std::string name, value;
      line >> name >> value;
      if (!value.empty()) (*defines_)[name] = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 0));
    } else if (word == "#include") {
      std::string target;
      line >> target;
      if (target.size() > 2 && target.front() == '"') {
        std::string dir = file_.substr(0, file_.find_last_of('/') + 1);
        Lexer included(dir + target.substr(1, target.size() - 2), defines_);
        while (included.Next().kind != Token::kEnd) {
        }
      }
    }
    // #pragma and the rest carry nothing for the tables.
  }

  Token String() {
    Token t{Token::kString, "", 0, line_};
    ++pos_;
    for (;;) {
      if (pos_ >= src_.size()) Die(file_, line_, "unterminated string");
      char c = src_[pos_++];
      if (c == '"') {
        if (pos_ < src_.size() && src_[pos_] == '"') {
          t.text += '"';
          ++pos_;
          continue;
        }
        return t;
      }
      if (c == '\\' && pos_ < src_.size()) {
        char e = src_[pos_++];
        t.text += e == 'n' ? '\n' : e == 't' ? '\t' : e;
        continue;
      }
      t.text += c;
    }
  }

  std::string file_;
  std::string src_;
  size_t pos_ = 0;
  int line_ = 1;
  std::map<std::string, uint32_t>* defines_;
};

struct Control {
  uint32_t id;
  std::string className, text;
  uint32_t style;
  int x, y, cx, cy;
};

struct Dialog {
  uint32_t id;
  std::string caption, font;
  uint32_t style = 0;
  int x, y, cx, cy, fontSize = 0;
  std::vector<Control> controls;
};

class Parser {
 public:
  explicit Parser(const std::string& file) : lex_(file, &defines_) { Advance(); }

  std::vector<Dialog> Parse() {
    std::vector<Dialog> dialogs;
    while (tok_.kind != Token::kEnd) {
      if (IsWord("LANGUAGE")) {
        Advance();
        Expression();
        Expect(",");
        Expression();
        continue;
      }
      Advance();  // the resource's name
      if (IsWord("DIALOG") || IsWord("DIALOGEX")) {
        dialogs.push_back(ParseDialog(prev_));
      } else if (IsWord("VERSIONINFO")) {
        SkipBlock();
      } else {
        // ICON "file" and other one-line resources.
        Advance();
        Advance();
      }
    }
    return dialogs;
  }

 private:
  void Advance() {
    prev_ = tok_;
    tok_ = lex_.Next();
  }
  bool IsWord(const char* w) const { return tok_.kind == Token::kWord && tok_.text == w; }
  bool IsPunct(const char* p) const { return tok_.kind == Token::kPunct && tok_.text == p; }
  [[noreturn]] void Fail(const std::string& what) { Die(lex_.file(), tok_.line, what + " near '" + tok_.text + "'"); }
  void Expect(const char* p) {
    if (!IsPunct(p)) Fail(std::string("expected '") + p + "'");
    Advance();
  }
  void SkipComma() {
    if (IsPunct(",")) Advance();
  }

  uint32_t Value(const Token& t) {
    if (t.kind == Token::kNumber) return t.number;
    if (t.kind == Token::kWord) {
      auto d = defines_.find(t.text);
      if (d != defines_.end()) return d->second;
      auto c = kConstants.find(t.text);
      if (c != kConstants.end()) return c->second;
    }
    Die(lex_.file(), t.line, "unknown value '" + t.text + "'");
  }

  // term ('|' term)*, where a term is a value, -value or NOT value.
  uint32_t Expression() {
    uint32_t set = 0, cleared = 0;
    for (;;) {
      bool negate = false, minus = false;
      if (IsWord("NOT")) {
        negate = true;
        Advance();
      }
      if (IsPunct("-")) {
        minus = true;
        Advance();
      }
      uint32_t v = Value(tok_);
      Advance();
      if (minus) v = 0u - v;
      (negate ? cleared : set) |= v;
      if (!IsPunct("|")) break;
      Advance();
    }
    return set & ~cleared;
  }

  std::string Text() {
    if (tok_.kind != Token::kString) Fail("expected a string");
    std::string s = tok_.text;
    Advance();
    return s;
  }

  int Number() { return static_cast<int>(Expression()); }

  void SkipBlock() {
    while (!IsWord("BEGIN") && !IsPunct("{")) {
      if (tok_.kind == Token::kEnd) Fail("missing BEGIN");
      Advance();
    }
    int depth = 0;
    do {
      if (IsWord("BEGIN") || IsPunct("{")) ++depth;
      if (IsWord("END") || IsPunct("}")) --depth;
      Advance();
    } while (depth > 0 && tok_.kind != Token::kEnd);
  }

  Dialog ParseDialog(const Token& name) {
    Dialog d;
    d.id = Value(name) & 0xFFFF;
    Advance();
    d.x = Number();
    Expect(",");
    d.y = Number();
    Expect(",");
    d.cx = Number();
    Expect(",");
    d.cy = Number();
    while (!IsWord("BEGIN") && !IsPunct("{")) {
      if (IsWord("STYLE")) {
        Advance();
        d.style = Expression();
      } else if (IsWord("CAPTION")) {
        Advance();
        d.caption = Text();
      } else if (IsWord("FONT")) {
        Advance();
        d.fontSize = Number();
        Expect(",");
        d.font = Text();
        d.style |= 0x40;  // DS_SETFONT comes with a font
      } else {
        Fail("unknown dialog statement");
      }
    }
    Advance();
    while (!IsWord("END") && !IsPunct("}")) d.controls.push_back(ParseControl());
    Advance();
    return d;
  }

  Control ParseControl() {
    std::string kind = tok_.text;
    Advance();
    Control c;
    uint32_t extra = 0;
    auto position = [&] {
      c.x = Number();
      Expect(",");
      c.y = Number();
      Expect(",");
      c.cx = Number();
      Expect(",");
      c.cy = Number();
    };
    if (kind == "CONTROL") {
      c.text = Text();
      Expect(",");
      c.id = Expression() & 0xFFFF;
      Expect(",");
      c.className = Text();
      Expect(",");
      c.style = Expression() | kChildVisible;
      Expect(",");
      position();
    } else if (kind == "LTEXT" || kind == "CTEXT" || kind == "RTEXT" || kind == "PUSHBUTTON" ||
               kind == "DEFPUSHBUTTON") {
      c.text = Text();
      Expect(",");
      c.id = Expression() & 0xFFFF;
      Expect(",");
      position();
      if (IsPunct(",")) {
        Advance();
        extra = Expression();
      }
      bool button = kind.find("BUTTON") != std::string::npos;
      c.className = button ? "BUTTON" : "STATIC";
      if (button)
        c.style = (kind == "DEFPUSHBUTTON" ? 0x1u : 0x0u) | 0x00010000u;  // WS_TABSTOP
      else
        c.style = (kind == "CTEXT" ? 0x1u : kind == "RTEXT" ? 0x2u : 0x0u) | 0x00020000u;  // WS_GROUP
      c.style |= kChildVisible | extra;
    } else if (kind == "ICON") {
      c.text = tok_.kind == Token::kString ? Text() : "#" + std::to_string(Number());
      Expect(",");
      c.id = Expression() & 0xFFFF;
      Expect(",");
      c.x = Number();
      Expect(",");
      c.y = Number();
      c.cx = c.cy = 0;
      if (IsPunct(",")) {
        Advance();
        c.cx = Number();
        Expect(",");
        c.cy = Number();
      }
      c.className = "STATIC";
      c.style = 0x3u | kChildVisible;  // SS_ICON
    } else {
      Fail("unknown control '" + kind + "'");
    }
    return c;
  }

  std::map<std::string, uint32_t> defines_;
  Lexer lex_;
  Token tok_, prev_;
};

std::string Cp932(const std::string& utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == (iconv_t)-1) Die("iconv", 0, "no CP932 converter");
  std::string out(utf8.size() * 2 + 1, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size(), outLeft = out.size();
  char* dst = &out[0];
  if (iconv(cd, &in, &inLeft, &dst, &outLeft) == (size_t)-1) Die("iconv", 0, "not CP932: " + utf8);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

std::string Literal(const std::string& bytes) {
  std::string out = "\"";
  char buf[8];
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?') {
      out += static_cast<char>(c);
    } else {
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    }
  }
  return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: rcgen input.rc output.cpp\n");
    return 2;
  }
  std::vector<Dialog> dialogs = Parser(argv[1]).Parse();
  std::ostringstream out;
  out << "// Generated by rcgen from " << argv[1] << "; do not edit.\n"
      << "#include \"platform/posix/ui/dialog_resources.h\"\n\nnamespace {\n\n";
  for (const Dialog& d : dialogs) {
    out << "const posix::ControlTemplate kControls" << d.id << "[] = {\n";
    for (const Control& c : d.controls)
      out << "    {" << c.id << ", " << Literal(c.className) << ", " << Literal(Cp932(c.text)) << ", 0x" << std::hex
          << c.style << std::dec << "u, " << c.x << ", " << c.y << ", " << c.cx << ", " << c.cy << "},\n";
    out << "};\n\n";
  }
  out << "const posix::DialogTemplate kDialogs[] = {\n";
  for (const Dialog& d : dialogs)
    out << "    {" << d.id << ", " << Literal(Cp932(d.caption)) << ", 0x" << std::hex << d.style << std::dec << "u, "
        << d.x << ", " << d.y << ", " << d.cx << ", " << d.cy << ", " << Literal(Cp932(d.font)) << ", " << d.fontSize
        << ", kControls" << d.id << ", " << d.controls.size() << "},\n";
  out << "};\n\nconst posix::DialogRegistration kRegistration(kDialogs, " << dialogs.size() << ");\n\n}  // namespace\n";
  std::ofstream file(argv[2], std::ios::binary);
  file << out.str();
  return file ? 0 : 1;
}
