#include "registry_fixture.h"

#include <cstdio>
#include <stdexcept>

#ifndef _WIN32
#include "platform/posix/files/syscalls.h"
#include "platform/posix/text/utf16.h"
#endif

namespace {

void Check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error("registry fixture: " + what);
}

std::string Dword(DWORD value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

}  // namespace

void RegistryFixture::SetString(HKEY root, const std::string& key, const std::string& name, const std::string& text) {
  SetData(root, key, name, REG_SZ, text + '\0');
}

void RegistryFixture::SetDword(HKEY root, const std::string& key, const std::string& name, DWORD value) {
  SetData(root, key, name, REG_DWORD, Dword(value));
}

#ifndef _WIN32

namespace {

int (*previousOpen)(const char*, int, mode_t);
std::string systemFile, userFile;
int systemReads, userReads;

int CountingOpen(const char* path, int flags, mode_t mode) {
  if (systemFile == path) ++systemReads;
  if (userFile == path) ++userReads;
  return previousOpen(path, flags, mode);
}

// Names and texts as Wine escapes them; every character outside printable
// ASCII as a UTF-16 unit.
std::string Escape(const std::string& cp932) {
  std::u16string text;
  Check(posix::Cp932ToUtf16(cp932, &text), "not CP932");
  std::string out;
  for (char16_t unit : text) {
    if (unit == '\\' || unit == '"') {
      out += '\\';
      out += static_cast<char>(unit);
    } else if (unit >= 0x20 && unit < 0x7F) {
      out += static_cast<char>(unit);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%04x", static_cast<unsigned>(unit));
      out += escape;
    }
  }
  return out;
}

std::string Hex(DWORD type, const std::string& bytes) {
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, type == REG_BINARY ? "hex:" : "hex(%x):", static_cast<unsigned>(type));
  std::string out = prefix;
  for (size_t i = 0; i < bytes.size(); ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(bytes[i]));
    out += byte;
    if (i + 1 < bytes.size()) out += (i % 24 == 23) ? ",\\\n  " : ",";  // long data continues, as Wine writes it
  }
  return out;
}

std::string Data(DWORD type, const std::string& bytes) {
  bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
  if (text && !bytes.empty() && bytes.back() == '\0') {
    const char* prefix = type == REG_SZ ? "" : type == REG_EXPAND_SZ ? "str(2):" : "str(7):";
    return prefix + ("\"" + Escape(bytes.substr(0, bytes.size() - 1)) + "\"");
  }
  if (text) {  // stored without its zero: only hex can say that
    std::u16string wide;
    Check(posix::Cp932ToUtf16(bytes, &wide), "not CP932");
    std::string utf16;
    for (char16_t unit : wide) {
      utf16 += static_cast<char>(unit & 0xFF);
      utf16 += static_cast<char>(unit >> 8);
    }
    return Hex(type, utf16);
  }
  if (type == REG_DWORD && bytes.size() == 4) {
    char number[20];
    DWORD value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[i]);
    std::snprintf(number, sizeof number, "dword:%08x", static_cast<unsigned>(value));
    return number;
  }
  return Hex(type, bytes);
}

}  // namespace

RegistryFixture::RegistryFixture(const Sandbox& box) : box_(box) {
  systemFile = box.Prefix() + "/system.reg";
  userFile = box.Prefix() + "/user.reg";
  systemReads = userReads = 0;
  previousOpen = posix::sys.open;
  posix::sys.open = CountingOpen;
}

RegistryFixture::~RegistryFixture() { posix::sys.open = previousOpen; }

bool RegistryFixture::CanCountReads() { return true; }

int RegistryFixture::Reads(HKEY root) const { return root == HKEY_LOCAL_MACHINE ? systemReads : userReads; }

void RegistryFixture::SetData(HKEY root, const std::string& key, const std::string& name, DWORD type,
                              const std::string& bytes) {
  Hive& hive = root == HKEY_LOCAL_MACHINE ? machine_ : user_;
  hive[key].push_back(Value{name, type, bytes});
  WriteHive(root);
}

void RegistryFixture::WriteHive(HKEY root) {
  bool machine = root == HKEY_LOCAL_MACHINE;
  std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\";
  text += machine ? "Machine\n\n#arch=win32\n" : "User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win32\n";
  for (const auto& [key, values] : machine ? machine_ : user_) {
    // Escape doubles the backslashes between the names, as a key line has them.
    text += "\n[" + Escape(key) + "] 1700000000\n#time=1da0b2c3d4e5f60\n";
    for (const Value& v : values)
      text += (v.name.empty() ? std::string("@") : "\"" + Escape(v.name) + "\"") + "=" + Data(v.type, v.bytes) + "\n";
  }
  FILE* f = std::fopen((machine ? systemFile : userFile).c_str(), "wb");
  Check(f != nullptr, "open hive file");
  Check(std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fclose(f) == 0, "write hive file");
}

#else  // _WIN32

RegistryFixture::RegistryFixture(const Sandbox& box) : box_(box) {}

RegistryFixture::~RegistryFixture() {
  for (auto it = created_.rbegin(); it != created_.rend(); ++it)
    RegDeleteKeyExA(it->first, it->second.c_str(), KEY_WOW64_32KEY, 0);
}

bool RegistryFixture::CanCountReads() { return false; }

int RegistryFixture::Reads(HKEY) const { return -1; }

void RegistryFixture::SetData(HKEY root, const std::string& key, const std::string& name, DWORD type,
                              const std::string& bytes) {
  HKEY opened;
  Check(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY, nullptr, &opened, nullptr) ==
            ERROR_SUCCESS,
        "create " + key);
  created_.emplace_back(root, key);
  LSTATUS result = RegSetValueExA(opened, name.empty() ? nullptr : name.c_str(), 0, type,
                                  reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  RegCloseKey(opened);
  Check(result == ERROR_SUCCESS, "set " + name);
}

void RegistryFixture::WriteHive(HKEY) {}

#endif
