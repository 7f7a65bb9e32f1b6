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
#include "platform/win32.h"

namespace {

class CheckingSink : public posix::RegistryFileSink {
 public:
  bool Key(const std::u16string& path) override {
    // Paths come without empty names.
    if (!path.empty() && (path.front() == u'\\' || path.back() == u'\\')) __builtin_trap();
    if (path.find(u"\\\\") != std::u16string::npos) __builtin_trap();
    return true;
  }
  void Value(posix::RegistryValue& value) override { bytes += value.data.size() + value.name.size(); }
  size_t bytes = 0;
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
    CheckingSink sink;
    posix::RegistryFileHeader header;
    if (posix::ParseRegistryFile(text, sink) != posix::ReadRegistryHeader(text, &header)) __builtin_trap();
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
