// The text of the update script that a medium carries, in CP932.
#pragma once

#include <string>
#include <vector>

#include "layout.h"

namespace mkmedium {

// The product's values for the script's keys, as the user gave them (UTF-8).
struct ScriptKeys {
  std::string appName;
  std::string registry;
  std::string kitValue;  // GARMOREGISTRY; empty for none
  std::string mode;      // MODE; empty for none
};

// The key lines. Fails, with the reason in error, for a value that CP932
// cannot write or that the updater would read otherwise: empty, with blanks
// at its ends (they are cut), with a '=' (the value ends there) or a control
// character, a line over 259 bytes, or a REGISTRY too long for the
// updater's registry key paths.
bool KeyLines(const ScriptKeys& keys, std::vector<std::string>* lines, std::string* error);

// The entry line of a file installed as name and stored as stored, whole or
// in pieces (stored is then what the pieces are named after):
// "1:README", "1:A.TX_>A.TXT", "2+3:MOVIE.DA_>DATA\MOVIE.DAT".
std::string EntryLine(const std::string& name, const std::string& stored, const std::vector<Piece>& pieces);

// The whole script: a comment, the key lines, the entry lines, each ended by
// CR LF as Windows editors write them.
std::string ScriptText(const std::vector<std::string>& keyLines, const std::vector<std::string>& entryLines);

// The longest line the updater reads whole.
constexpr size_t kMaxLine = 259;
// The longest REGISTRY for which the updater's uninstall key path,
// "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\" and the name,
// stays within 259 bytes.
constexpr size_t kMaxRegistryName = kMaxLine - 52;

// What keeps the updater from looking for the product that a loaded script
// names in REGISTRY (null when the script has no such line), or "".
std::string RegistryProblem(const char* registry);

}  // namespace mkmedium
