// The registry files of the prefix on arbitrary bytes: the parser may skip
// what it cannot read, never crash; the calls that read through it keep the
// sizes they promise; the locator reads them without running past a buffer.
#include <cstring>
#include <string>

#include "engine/update_job.h"
#include "foundation/text.h"
#include "fuzz_prefix.h"
#include "platform/posix/registry/registry.h"
#include "platform/posix/registry/registry_file.h"
#include "platform/posix/text/utf16.h"
#include "platform/win32.h"

namespace {

// Records what a parse delivers of keys, link marks and links' targets.
class CheckingSink : public posix::RegistryFileSink {
 public:
  explicit CheckingSink(posix::SectionWant want) : want_(want) {}
  posix::SectionWant Key(const std::u16string& path) override {
    // Paths come without empty names.
    if (!path.empty() && (path.front() == u'\\' || path.back() == u'\\')) __builtin_trap();
    if (path.find(u"\\\\") != std::u16string::npos) __builtin_trap();
    Record('[', path);
    return want_;
  }
  void Link() override { seen += '#'; }
  void Value(posix::RegistryValue& value) override {
    if (!posix::EqualNoCase(value.name, posix::kLinkValueName)) {
      if (want_ == posix::SectionWant::kLink) __builtin_trap();  // only links' targets were asked for
      return;
    }
    Record('=', value.name);
    seen += static_cast<char>(value.type);
    seen += std::to_string(value.data.size()) + ':' + value.data;
  }
  std::string seen;

 private:
  void Record(char mark, const std::u16string& text) {
    seen += mark + std::to_string(text.size()) + ':';
    seen.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
  }

  posix::SectionWant want_;
};

void QueryValue(HKEY key, const char* name) {
  DWORD needed = 0, type = 0;
  LSTATUS sized = RegQueryValueExA(key, name, nullptr, &type, nullptr, &needed);
  char buf[MAX_PATH];
  DWORD size = sizeof buf;
  LSTATUS read = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  if (read == ERROR_SUCCESS && (size > sizeof buf || size != needed || sized != ERROR_SUCCESS)) __builtin_trap();
  if (read == ERROR_MORE_DATA && (size <= sizeof buf || size != needed)) __builtin_trap();
}

void Query(HKEY root, const char* key, REGSAM view) {
  HKEY opened;
  if (RegOpenKeyExA(root, key, 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return;
  QueryValue(opened, "V");
  QueryValue(opened, nullptr);
  if (RegCloseKey(opened) != ERROR_SUCCESS) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Every open reads and parses the whole file, so a run takes one way,
  // chosen by the last byte: the file parsed on its own, the locator (two
  // keys, one in each file), or one of two keys in one of the two views. A
  // change of that byte takes an input the other ways.
  uint8_t choice = size ? data[size - 1] : 0;
  if (choice & 8) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    // Passing over the values that are not wanted takes the same lines as
    // reading them: both parses see the same keys, links and targets.
    CheckingSink all(posix::SectionWant::kAll), links(posix::SectionWant::kLink);
    posix::RegistryFileHeader header;
    bool valid = posix::ParseRegistryFile(text, all);
    if (valid != posix::ReadRegistryHeader(text, &header) || valid != posix::ParseRegistryFile(text, links) ||
        all.seen != links.seen)
      __builtin_trap();
    return 0;
  }
  WritePrefixFile("system.reg", data, size);
  if (choice & 4) {
    WritePrefixFile("user.reg", data, size);
    UpdateScript script;
    script.registryName = DupString("Game");
    script.kitValueName = DupString("Kit");
    UpdateJob job(&script);
    int located = job.Locate();
    if (std::memchr(job.installDir, 0, sizeof job.installDir) == nullptr) __builtin_trap();
    if ((located == 1 && job.refused != 0) || (located == 0 && job.installDir[0] != 0)) __builtin_trap();
  } else {
    REGSAM view = choice & 1 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    Query(HKEY_LOCAL_MACHINE, choice & 2 ? "Software\\Wow6432Node\\Shared\\Sub" : "Software\\Maker\\Game", view);
  }
  if (posix::OpenKeyCount() != 0) __builtin_trap();
  return 0;
}
