/* The registry files of a Wine prefix (system.reg for HKEY_LOCAL_MACHINE,
   user.reg for HKEY_CURRENT_USER), read as Wine writes them:

     WINE REGISTRY Version 2
     ;; All keys relative to \\Machine
     #arch=win64

     [Software\\Maker\\Product] 1700000000
     #time=1da0b2c3d4e5f60
     @="default value"
     "Text"="C:\\Game\\x\xff5e.exe"
     "Number"=dword:00000001
     "Bytes"=hex:01,02,\
       03
     "Typed"=hex(7):61,00,00,00,00,00
     "Path"=str(2):"%ProgramFiles%\\Game"

   A key line holds the path below the root with its backslashes doubled and a
   time stamp; "#time=", "#class=" and "#link" lines follow it, then its
   values. Names and texts escape '\' and '"' with a backslash, C control
   characters as \a \b \e \f \n \r \t \v, and any UTF-16 unit as \x and up to
   four hex digits (or in octal, \0 to \777). Other bytes stand for themselves;
   bytes that form UTF-8 are read as UTF-8 and others as Latin-1. Hex data may
   continue over lines that end in a backslash. Lines starting with ';' are
   comments; "#arch=win32" or "#arch=win64" before the first key tells whose
   registry it is. */
#pragma once

#include <string>
#include <string_view>

#include "registry_api.h"

namespace posix {

// One value as the file keeps it.
struct RegistryValue {
  std::u16string name;  // empty for the default value, "@"
  DWORD type = REG_NONE;
  std::string data;  // the stored bytes; texts as UTF-16LE with their terminating zero
};

// What the lines before the first key say.
struct RegistryFileHeader {
  bool win64 = false;  // "#arch=win64": 32-bit programs see HKLM\Software through Wow6432Node
};

// The name of the value that holds a link's target.
inline constexpr std::u16string_view kLinkValueName = u"SymbolicLinkValue";

// What a sink wants of a key's section: nothing, its link mark and link
// target only, or its link mark and all of its values.
enum class SectionWant { kNothing, kLink, kAll };

// Receives the keys and values of a file in file order. A key may come more
// than once; its values then add up, a later value replacing an earlier one of
// the same name.
class RegistryFileSink {
 public:
  virtual ~RegistryFileSink() = default;
  // A key's section begins. path holds its components joined by single
  // backslashes, without empty ones ("" is the root). Returns what of the
  // section is wanted; skipping a section or a value is cheap.
  virtual SectionWant Key(const std::u16string& path) = 0;
  // The key is a symbolic link ("#link"); its target is its value
  // kLinkValueName of type REG_LINK, a path like \Registry\Machine\Software.
  virtual void Link() {}
  virtual void Value(RegistryValue& value) = 0;
};

// One key's section of a file: the path of its key line and the lines after
// it, up to the next key line.
struct RegistrySection {
  std::u16string path;  // as RegistryFileSink::Key gets it
  std::string_view body;
};

// Goes through the sections of a file in file order. A key line that cannot
// be read starts no section; the lines after it belong to none.
class RegistrySections {
 public:
  explicit RegistrySections(std::string_view text);
  // False when the text is no registry file of version 2.
  bool valid() const { return valid_; }
  // The next section; false after the last.
  bool Next(RegistrySection* section);

 private:
  // Moves past the next key line, readable or not, reading its path into
  // next_. *at is where it begins, or the end of the text when there is none.
  bool NextKeyLine(size_t* at, bool* readable);
  // Moves past the next readable key line; hasNext_ tells whether there was one.
  void FindReadableKey();

  std::string_view text_;
  size_t pos_ = 0;
  bool valid_ = false;
  bool hasNext_ = false;
  std::u16string next_;
  RegistryValue skipped_;  // room for the values passed over between key lines
};

// Delivers what is wanted of one section's body to sink.
void ParseRegistrySection(std::string_view body, SectionWant want, RegistryFileSink& sink);

// Reads the header of a registry file. False when the text is no registry
// file of version 2.
bool ReadRegistryHeader(std::string_view text, RegistryFileHeader* header);

// Delivers the keys and values of a registry file to sink. Lines that cannot
// be read are skipped, as Wine skips them; the values after a key line that
// cannot be read belong to no key. False (and nothing delivered) when the text
// is no registry file of version 2.
bool ParseRegistryFile(std::string_view text, RegistryFileSink& sink);

}  // namespace posix
