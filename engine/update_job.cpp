// The update job's construction and the installation locator. The copy run
// and the disk prompt live in their own file.
#include "update_job.h"

#include <cstring>

#include "foundation/exception.h"
#include "foundation/paths.h"
#include "foundation/registry.h"
#include "foundation/text_format.h"

namespace {

// Where the maker keeps its own values, the expansion kit's mark among them.
const char kMakerKeyFormat[] = "SOFTWARE\\ZEFA\\%s";
// The product's entry in the list of installed programs.
const char kUninstallKeyFormat[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s";
const char kUninstallValue[] = "UninstallString";

// Formats the key path of the product called name into path (260 bytes).
// False when the script names no product (no REGISTRY line, or an empty
// value, which would name the parent key), or when the name is too long for
// the path: a name cut short could be another product's.
bool FormatKeyPath(char* path, const char* format, const char* name) {
  if (!name || !*name) return false;
  if (std::strlen(format) - 2 + std::strlen(name) >= MAX_PATH) return false;
  FormatText(path, MAX_PATH, format, name);
  return true;
}

}  // namespace

UpdateJob::UpdateJob(UpdateScript* script_) : refused(0), script(script_) {
  installDir[0] = 0;
  // A result of MAX_PATH or more is the size that a longer path would need;
  // nothing usable was stored then.
  DWORD length = GetTempPathA(MAX_PATH, tempDir);
  if (length == 0 || length >= MAX_PATH) {
    tempDir[0] = 0;
    throw Exception("テンポラリディレクトリがみつかりません");
  }
}

int UpdateJob::Locate() {
  char uninstallKey[MAX_PATH];
  char makerKey[MAX_PATH];
  if (!FormatKeyPath(uninstallKey, kUninstallKeyFormat, script->registryName) ||
      !FormatKeyPath(makerKey, kMakerKeyFormat, script->registryName))
    return 0;

  // The expansion kit's mark, where the script names one. An update of the
  // base product (MODE NORMAL) is refused where the kit is installed; any
  // other update needs the mark to be readable.
  if (script->kitValueName) {
    DWORD kit;
    try {
      Registry maker(HKEY_CURRENT_USER);
      maker.Open(makerKey);
      kit = maker.ReadDword(script->kitValueName);
    } catch (Exception&) {
      if (script->mode != 0) return 0;
      kit = 0;  // counts as not installed, also when only the close failed
    }
    if (kit == 1 && script->mode == 0) {
      refused = 1;
      return 0;
    }
  }

  // The uninstall command names a file in the installation directory after
  // its first '*', which never occurs as the second byte of a character.
  try {
    Registry uninstall(HKEY_LOCAL_MACHINE);
    uninstall.Open(uninstallKey);
    char command[MAX_PATH];
    uninstall.ReadString(kUninstallValue, command, sizeof command);
    const char* star = std::strchr(command, '*');
    if (!star) throw Exception("UninstallString がおかしい");
    char path[MAX_PATH];
    char name[MAX_PATH];
    CopyText(path, sizeof path, star + 1);
    SplitPath(installDir, name, path);
  } catch (Exception&) {
    installDir[0] = 0;
    return 0;
  }
  if (IsDirectory(installDir)) return 1;
  installDir[0] = 0;
  return 0;
}

int FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES ? 1 : 0; }

int IsDirectory(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}
