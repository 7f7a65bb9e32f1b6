// The registry calls, read from the prefix's registry files as Wine keeps them:
// system.reg for HKEY_LOCAL_MACHINE, user.reg for HKEY_CURRENT_USER. Nothing is
// ever written. A key is read when it is opened, so a handle keeps what the key
// held at that moment; a file that is missing, unreadable or not a registry
// file holds no keys.
#include "registry.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/posix/files/host_file.h"
#include "platform/posix/files/paths.h"
#include "platform/posix/text/utf16.h"
#include "registry_api.h"
#include "registry_file.h"

using namespace posix;

namespace {

enum class Hive { kMachine, kUser };

// A key's path below its root, one name per component.
using KeyPath = std::vector<std::u16string>;

struct OpenKey {
  Hive hive = Hive::kMachine;
  KeyPath path;
  REGSAM access = 0;
  // The registry view the key was opened in: keys opened below it without a
  // view flag are in the same view. A 32-bit program starts in the 32-bit one.
  bool view32 = true;
  std::vector<RegistryValue> values;
};

// Handles count up in steps of 4 and are never given out twice, so a stale
// handle can never reach another key.
std::map<uintptr_t, OpenKey> openKeys;
uintptr_t lastHandle = 0;

// Nothing in a prefix comes near this; a larger file is taken as unreadable
// rather than read into memory.
constexpr size_t kMaxFileSize = size_t(256) << 20;
// Links followed in one open before the path is given up as a loop.
constexpr int kMaxLinks = 16;
// The layer reads only; it grants no access that could change a key.
constexpr REGSAM kChangingAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC |
                                   WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// A predefined key as Windows takes it from a 64-bit program: by its low 32
// bits alone, whatever the others hold.
HKEY Predefined(HKEY key) {
  auto low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
  if (low < 0x80000000u || low > 0x80000005u) return key;
  return reinterpret_cast<HKEY>(static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(low))));
}

bool IsPredefined(HKEY key) {
  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_PERFORMANCE_DATA,
                    HKEY_CURRENT_CONFIG})
    if (key == root) return true;
  return false;
}

std::string HiveFile(Hive hive) { return PrefixDir() + (hive == Hive::kMachine ? "/system.reg" : "/user.reg"); }

// Splits a path at its backslashes. Empty names are refused, except that
// backslashes may end the path.
bool SplitKeyPath(std::u16string_view text, KeyPath* path) {
  while (!text.empty() && text.back() == u'\\') text.remove_suffix(1);
  path->reserve(path->size() + static_cast<size_t>(std::count(text.begin(), text.end(), u'\\')) + 1);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(u'\\', start);
    if (end == std::u16string_view::npos) end = text.size();
    if (end == start) return false;
    path->emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

std::u16string Utf16FromData(const std::string& data) {
  std::u16string text(data.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                    static_cast<unsigned char>(data[2 * i + 1]) << 8);
  return text;
}

// The key that a link's target (\Registry\Machine\... or
// \Registry\User\<user>\...) names in the same hive. Links into other hives
// are not followed.
bool LinkTarget(Hive hive, const std::string& data, KeyPath* target) {
  std::u16string text = Utf16FromData(data);
  while (!text.empty() && text.back() == 0) text.pop_back();
  KeyPath& parts = *target;
  parts.clear();
  size_t skip = hive == Hive::kMachine ? 2 : 3;
  if (text.empty() || text[0] != u'\\' || !SplitKeyPath(std::u16string_view(text).substr(1), &parts) ||
      parts.size() < skip || !EqualNoCase(parts[0], u"Registry") ||
      !EqualNoCase(parts[1], hive == Hive::kMachine ? u"Machine" : u"User"))
    return false;
  parts.erase(parts.begin(), parts.begin() + static_cast<ptrdiff_t>(skip));  // the hive's own names
  return true;
}

bool SamePath(const KeyPath& a, const KeyPath& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!EqualNoCase(a[i], b[i])) return false;
  return true;
}

bool IsLinkValue(const RegistryValue& value) {
  return value.type == REG_LINK && EqualNoCase(value.name, kLinkValueName);
}

// Looks for one key in a file: whether it exists (its own section, or one
// below it), its values, whether it is a link, and the shallowest link above it.
class Lookup : public RegistryFileSink {
 public:
  explicit Lookup(const KeyPath& want) : want_(want) {}

  SectionWant Key(const std::u16string& path) override {
    EndSection();
    size_t depth = 0;
    for (size_t start = 0; start < path.size(); ++depth) {
      size_t end = path.find(u'\\', start);
      if (end == std::u16string::npos) end = path.size();
      if (depth == want_.size()) {  // a key below the one we want
        exists = true;
        return SectionWant::kNothing;
      }
      if (!EqualNoCase(std::u16string_view(path).substr(start, end - start), want_[depth]))
        return SectionWant::kNothing;
      start = end + 1;
    }
    if (depth == want_.size()) {
      exists = true;
      section_ = kExact;
      return SectionWant::kAll;
    }
    section_ = kAbove;
    sectionDepth_ = depth;
    return depth > 0 ? SectionWant::kLink : SectionWant::kNothing;  // only a named key can be a link
  }

  void Link() override { sectionIsLink_ = true; }

  void Value(RegistryValue& value) override {
    if (section_ == kAbove) {
      if (IsLinkValue(value)) {
        sectionTarget_ = value.data;
        sectionHasTarget_ = true;
      }
      return;
    }
    for (auto& known : values) {
      if (EqualNoCase(known.name, value.name)) {
        known = std::move(value);
        return;
      }
    }
    values.push_back(std::move(value));
  }

  // Call once the file has been read.
  void Finish() { EndSection(); }

  bool exists = false;
  bool isLink = false;
  std::vector<RegistryValue> values;
  size_t linkAboveDepth = SIZE_MAX;  // components of the shallowest link above the key
  std::string linkAboveTarget;

 private:
  void EndSection() {
    if (section_ == kExact && sectionIsLink_) isLink = true;
    if (section_ == kAbove && sectionIsLink_ && sectionHasTarget_ && sectionDepth_ < linkAboveDepth) {
      linkAboveDepth = sectionDepth_;
      linkAboveTarget = sectionTarget_;
    }
    section_ = kOther;
    sectionIsLink_ = sectionHasTarget_ = false;
  }

  enum Section { kOther, kExact, kAbove };
  const KeyPath& want_;
  Section section_ = kOther;
  size_t sectionDepth_ = 0;
  bool sectionIsLink_ = false;
  bool sectionHasTarget_ = false;
  std::string sectionTarget_;
};

// A section as the lookups after a link see it: its link mark and the
// values that may hold a link's target are read once, for all of them.
struct IndexedSection {
  RegistrySection section;
  bool link = false;
  std::vector<RegistryValue> targets;
};

class LinkReader : public RegistryFileSink {
 public:
  explicit LinkReader(IndexedSection* entry) : entry_(entry) {}
  SectionWant Key(const std::u16string&) override { return SectionWant::kLink; }
  void Link() override { entry_->link = true; }
  void Value(RegistryValue& value) override { entry_->targets.push_back(std::move(value)); }

 private:
  IndexedSection* entry_;
};

std::vector<IndexedSection> IndexFile(std::string_view text) {
  std::vector<IndexedSection> index;
  RegistrySections all(text);
  for (RegistrySection section; all.Next(&section);) {
    IndexedSection& entry = index.emplace_back();
    entry.section = section;
    LinkReader reader(&entry);
    ParseRegistrySection(section.body, SectionWant::kLink, reader);
  }
  return index;
}

// Looks through an indexed file as ParseRegistryFile would, reading only the
// sections whose values are wanted.
void LookThrough(const std::vector<IndexedSection>& index, Lookup& lookup) {
  for (const auto& entry : index) {
    SectionWant want = lookup.Key(entry.section.path);
    if (want == SectionWant::kAll) {
      ParseRegistrySection(entry.section.body, want, lookup);
    } else if (want == SectionWant::kLink) {
      if (entry.link) lookup.Link();
      for (RegistryValue target : entry.targets) lookup.Value(target);
    }
  }
}

// Finds path in its hive's file and fills key with the path reached and the
// key's values. view32: the path is taken in the 32-bit view, in which a win64
// prefix keeps HKLM\Software\X under Software\Wow6432Node\X (and
// HKLM\Software itself is Software\Wow6432Node); a path that names
// Wow6432Node itself is taken as it is, in either view.
LSTATUS Resolve(Hive hive, KeyPath path, bool view32, bool openLink, OpenKey* key) {
  key->hive = hive;
  std::string text;
  RegistryFileHeader header;
  bool read = ReadHostFile(HiveFile(hive), kMaxFileSize, &text);
  // A file the user may not read shuts them out of its keys, as a key's access
  // control does on Windows; a missing or foreign one holds none.
  if (!read && !path.empty() && (errno == EACCES || errno == EPERM)) return ERROR_ACCESS_DENIED;
  if (!read || !ReadRegistryHeader(text, &header)) {
    if (!path.empty()) return ERROR_FILE_NOT_FOUND;
    key->path.clear();  // the root exists even when its file does not
    return ERROR_SUCCESS;
  }
  if (view32 && hive == Hive::kMachine && header.win64 && !path.empty() && EqualNoCase(path[0], u"Software") &&
      (path.size() == 1 || !EqualNoCase(path[1], u"Wow6432Node")))
    path.insert(path.begin() + 1, u"Wow6432Node");

  // The paths looked for so far, the current one last: a link back to one of
  // them is a loop, which ends as the limit would end it.
  std::vector<KeyPath> seen;
  seen.push_back(std::move(path));
  // Most opens meet no link and read the file once. One that does indexes
  // the file, so that the lookups after the link need not read it again.
  std::vector<IndexedSection> index;
  for (int links = 0;; ++links) {
    const KeyPath& current = seen.back();
    Lookup lookup(current);
    if (links == 0) {
      ParseRegistryFile(text, lookup);
    } else {
      if (links == 1) index = IndexFile(text);
      LookThrough(index, lookup);
    }
    lookup.Finish();
    KeyPath next;
    if (lookup.linkAboveDepth != SIZE_MAX) {
      if (!LinkTarget(hive, lookup.linkAboveTarget, &next)) return ERROR_FILE_NOT_FOUND;
      next.insert(next.end(), current.begin() + static_cast<ptrdiff_t>(lookup.linkAboveDepth), current.end());
    } else {
      if (!lookup.exists && !current.empty()) return ERROR_FILE_NOT_FOUND;
      if (!lookup.isLink || openLink) {
        key->path = std::move(seen.back());
        key->values = std::move(lookup.values);
        return ERROR_SUCCESS;
      }
      const RegistryValue* link = nullptr;
      for (const auto& value : lookup.values)
        if (IsLinkValue(value)) link = &value;
      if (!link || !LinkTarget(hive, link->data, &next)) return ERROR_FILE_NOT_FOUND;
    }
    if (links == kMaxLinks) return ERROR_FILE_NOT_FOUND;
    for (const auto& earlier : seen)
      if (SamePath(earlier, next)) return ERROR_FILE_NOT_FOUND;
    seen.push_back(std::move(next));
  }
}

// The hive and path of a key given to a call: a predefined root we serve, or
// a key we opened.
LSTATUS KeyOf(HKEY key, Hive* hive, KeyPath* path, OpenKey** open) {
  *open = nullptr;
  key = Predefined(key);
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) {
    *hive = key == HKEY_LOCAL_MACHINE ? Hive::kMachine : Hive::kUser;
    path->clear();
    return ERROR_SUCCESS;
  }
  if (IsPredefined(key)) return ERROR_CALL_NOT_IMPLEMENTED;  // no file of the prefix holds it
  auto it = openKeys.find(reinterpret_cast<uintptr_t>(key));
  if (it == openKeys.end()) return ERROR_INVALID_HANDLE;
  *hive = it->second.hive;
  *path = it->second.path;
  *open = &it->second;
  return ERROR_SUCCESS;
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

}  // namespace

namespace posix {

size_t OpenKeyCount() { return openKeys.size(); }

}  // namespace posix

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  Hive hive;
  KeyPath path;
  OpenKey* parent;
  // A key that is no key leaves the result as it was, as on Windows; any
  // other failure leaves it null.
  if (LSTATUS err = KeyOf(key, &hive, &path, &parent)) return err;
  *result = nullptr;
  if ((options & ~REG_OPTION_OPEN_LINK) || ((desired & KEY_WOW64_32KEY) && (desired & KEY_WOW64_64KEY)))
    return ERROR_INVALID_PARAMETER;
  if (desired & kChangingAccess) return ERROR_ACCESS_DENIED;
  // A view flag chooses the view of the whole path; without one the key is
  // in the view of the key it is opened below.
  bool view32 = (desired & KEY_WOW64_32KEY) || (!(desired & KEY_WOW64_64KEY) && (!parent || parent->view32));
  if (subKey && *subKey) {
    if (subKey[0] == '\\') return ERROR_BAD_PATHNAME;
    std::u16string wide;
    if (!Cp932ToUtf16(subKey, &wide) || !SplitKeyPath(wide, &path)) return ERROR_FILE_NOT_FOUND;
  }
  OpenKey opened;
  if (LSTATUS err = Resolve(hive, std::move(path), view32, options & REG_OPTION_OPEN_LINK, &opened)) return err;
  opened.view32 = view32;
  opened.access = desired;
  if (desired & (GENERIC_READ | MAXIMUM_ALLOWED)) opened.access |= KEY_READ;
  lastHandle += 4;
  openKeys[lastHandle] = std::move(opened);
  *result = reinterpret_cast<HKEY>(lastHandle);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD dataSize) {
  if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  Hive hive;
  KeyPath path;
  OpenKey* open;
  if (LSTATUS err = KeyOf(key, &hive, &path, &open)) return err;
  OpenKey root;
  if (!open) {  // a root is read when it is asked
    if (LSTATUS err = Resolve(hive, KeyPath(), false, false, &root)) return err;
    root.access = KEY_READ;
    open = &root;
  }
  if (!(open->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;

  std::u16string name;
  const RegistryValue* value = nullptr;
  if (!valueName || Cp932ToUtf16(valueName, &name)) {
    for (const auto& candidate : open->values)
      if (EqualNoCase(candidate.name, name)) value = &candidate;
  }
  if (!value) {
    if (dataSize && !data) *dataSize = 0;  // asked for the size alone, Windows says none
    return ERROR_FILE_NOT_FOUND;
  }

  // Texts are given in the ANSI code page, with the terminating zero where
  // the stored text has one; other data as stored. The room given is read
  // before anything is written, as one variable may hold both type and size.
  std::string converted;
  if (IsText(value->type)) converted = Utf16ToCp932(Utf16FromData(value->data));
  const std::string& bytes = IsText(value->type) ? converted : value->data;
  DWORD room = dataSize ? *dataSize : 0;
  DWORD size = static_cast<DWORD>(bytes.size());
  if (type) *type = value->type;
  if (!dataSize) return ERROR_SUCCESS;
  *dataSize = size;
  if (!data) return ERROR_SUCCESS;
  if (room < size) return ERROR_MORE_DATA;
  if (size) std::memcpy(data, bytes.data(), size);
  // A text stored without its terminating zero gets one after it where there
  // is room, not counted in the size.
  if (IsText(value->type) && room > size && (size == 0 || bytes.back() != 0)) data[size] = 0;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
  if (IsPredefined(Predefined(key))) return ERROR_SUCCESS;
  return openKeys.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
