// The POSIX registry on hand-written registry files in Wine's format.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "platform/posix/registry/registry.h"
#include "platform/win32.h"
#include "support/sandbox.h"
#include "support/syscall_faults.h"

namespace {

const char kHeader[] = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n";

class RegistryFile : public ::testing::Test {
 protected:
  void WriteFile(const char* name, const std::string& text) {
    FILE* f = std::fopen((box.Prefix() + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), f), text.size());
    ASSERT_EQ(std::fclose(f), 0);
  }
  void System(const std::string& text) { WriteFile("system.reg", text); }
  void User(const std::string& text) { WriteFile("user.reg", text); }

  // The value as the ANSI call gives it, or "open error N" or "error N".
  std::string Query(HKEY root, const char* key, const char* name, REGSAM access = KEY_READ | KEY_WOW64_32KEY,
                    DWORD* type = nullptr, DWORD options = 0) {
    HKEY opened;
    LSTATUS err = RegOpenKeyExA(root, key, options, access, &opened);
    if (err != ERROR_SUCCESS) return "open error " + std::to_string(err);
    char buf[512];
    DWORD size = sizeof buf;
    err = RegQueryValueExA(opened, name, nullptr, type, reinterpret_cast<BYTE*>(buf), &size);
    EXPECT_EQ(RegCloseKey(opened), ERROR_SUCCESS);
    return err == ERROR_SUCCESS ? std::string(buf, size) : "error " + std::to_string(err);
  }
  std::string Machine(const char* key, const char* name) { return Query(HKEY_LOCAL_MACHINE, key, name); }

  void TearDown() override { EXPECT_EQ(posix::OpenKeyCount(), 0u); }

  Sandbox box;
};

std::string Z(const std::string& text) { return text + '\0'; }

const std::string kNoKey = "open error 2";
const std::string kNoValue = "error 2";

// The UTF-16LE bytes of an ASCII text in hex, as a link's target is written.
std::string HexUtf16(const std::string& text) {
  std::string out;
  for (char c : text) {
    char byte[8];
    std::snprintf(byte, sizeof byte, "%02x,00,", static_cast<unsigned char>(c));
    out += byte;
  }
  out.pop_back();
  return out;
}

TEST_F(RegistryFile, EscapesAndJapaneseTexts) {
  System(std::string(kHeader) + "#arch=win32\n\n[Software\\\\Escapes] 1700000000\n#time=1da0b2c3d4e5f60\n" +
         "\"Quote\"=\"a\\\"b\\\\c\"\n"
         "\"Controls\"=\"\\a\\b\\e\\f\\n\\r\\t\\v\"\n"
         "\"Unicode\"=\"\\x30b2\\x30fc\\x30e0\\xff5e\"\n"
         "\"HexThenDigit\"=\"\\x00411\\x41-\"\n"
         "\"Octal\"=\"\\101\\60\"\n" +
         u8"\"Utf8\"=\"C:\\\\ゲーム\\\\表\"\n"
         "\"NotCp932\"=\"caf\\xe9 \\xd83d\\xde00 \\xd800\"\n"
         "\"EscapedByte\"=\"\\\xe3\x81\x82\\\\\"\n");
  EXPECT_EQ(Machine("Software\\Escapes", "Quote"), Z("a\"b\\c"));
  EXPECT_EQ(Machine("Software\\Escapes", "Controls"), Z("\a\b\x1b\f\n\r\t\v"));
  EXPECT_EQ(Machine("Software\\Escapes", "Unicode"), Z("ゲーム～"));
  EXPECT_EQ(Machine("Software\\Escapes", "HexThenDigit"), Z("A1A-"));
  EXPECT_EQ(Machine("Software\\Escapes", "Octal"), Z("A0"));
  EXPECT_EQ(Machine("Software\\Escapes", "Utf8"), Z("C:\\ゲーム\\表"));
  EXPECT_EQ(Machine("Software\\Escapes", "NotCp932"), Z("caf? ? ?"));  // as Windows gives what CP932 lacks
  EXPECT_EQ(Machine("Software\\Escapes", "EscapedByte"), Z("あ\\"));  // an escaped byte is part of its UTF-8
}

TEST_F(RegistryFile, KeyNamesAreDecodedBeforeTheyAreSplit) {
  // ソ and 表 end in the byte 0x5C; the key below has no separator there.
  System(std::string(kHeader) + "[Software\\\\\\x30bd\\x30d5\\x30c8\\\\\\x8868] 1\n\"V\"=\"1\"\n" +
         "[Software\\\\a\\]b\\\\\\\\c\\\\] 1\n\"V\"=\"2\"\n");
  EXPECT_EQ(Machine("software\\ソフト\\表", "v"), Z("1"));
  EXPECT_EQ(Machine("Software\\ソフト", "V"), kNoValue);  // exists, holds nothing
  EXPECT_EQ(Machine("Software\\ソ", "V"), kNoKey);
  EXPECT_EQ(Machine("Software\\a]b\\c", "V"), Z("2"));  // empty names of the key line dropped
}

TEST_F(RegistryFile, EveryKindOfData) {
  System(std::string(kHeader) +
         "[Software\\\\Types] 1\r\n"
         "\"Expand\"=str(2):\"%ProgramFiles%\\\\Game\"\r\n"
         "\"Multi\"=str(7):\"a\\0b\\0\"\r\n"
         "\"Explicit\"=str:\"plain\"\r\n"
         "\"Number\"=dword:0000002a\r\n"
         "\"Bytes\"=hex:01,02,\\\r\n"
         "  03,ff\r\n"
         "\"Empty\"=hex:\r\n"
         "\"Bare\"=hex(1):41,00,42,00\r\n"
         "\"Short\"=hex(4):01,02\r\n"
         "\"Qword\"=hex(b):01,00,00,00,00,00,00,80\r\n");
  DWORD type;
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Types", "Expand", KEY_READ, &type), Z("%ProgramFiles%\\Game"));
  EXPECT_EQ(type, DWORD(REG_EXPAND_SZ));
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Types", "Multi", KEY_READ, &type), Z(Z("a") + Z("b")));
  EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Types", "Explicit", KEY_READ, &type), Z("plain"));
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Types", "Number", KEY_READ, &type), std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(type, DWORD(REG_DWORD));
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Types", "Bytes", KEY_READ, &type), "\x01\x02\x03\xff");
  EXPECT_EQ(type, DWORD(REG_BINARY));
  EXPECT_EQ(Machine("Software\\Types", "Empty"), "");
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Types", "Bare", KEY_READ, &type), "AB");  // no zero stored, none given
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(Machine("Software\\Types", "Short"), "\x01\x02");
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Types", "Qword", KEY_READ, &type).size(), 8u);
  EXPECT_EQ(type, DWORD(REG_QWORD));
}

TEST_F(RegistryFile, MalformedLinesAreSkippedAndTheRestIsRead) {
  System(std::string(kHeader) +
         "garbage\n"
         "[Software\\\\Broken\n"
         "\"Orphan\"=\"of no key\"\n"
         "[Software\\\\Good] 1\n"
         "\"BadDword\"=dword:xyz\n"
         "\"LongDword\"=dword:123456789\n"
         "\"Open\"=\"abc\n"
         "\"BadHex\"=hex:01,zz\n"
         "\"Unknown\"=foo:\"x\"\n"
         "\"NoEquals\" \"x\"\n"
         "\"Cut\"=hex:01,\\\n"
         "\"Lost\"=\"taken for the hex data above\"\n"
         "\"Fine\"=\"ok\"\n"
         "@=\"default\"\n"
         "\"Tail\"=hex:02,\\");
  EXPECT_EQ(Machine("Software\\Good", "Fine"), Z("ok"));
  EXPECT_EQ(Machine("Software\\Good", nullptr), Z("default"));
  EXPECT_EQ(Machine("Software\\Good", "Tail"), "\x02");
  for (const char* name : {"BadDword", "LongDword", "Open", "BadHex", "Unknown", "NoEquals", "Cut", "Lost"})
    EXPECT_EQ(Machine("Software\\Good", name), kNoValue) << name;
  EXPECT_EQ(Machine("Software\\Broken", "Orphan"), kNoKey);

  // Hex data continued on a line that looks like a key line takes that line,
  // whichever key is looked for.
  System(std::string(kHeader) + "[Software\\\\A] 1\n\"V\"=hex:01,\\\n  [Software\\\\B] 1\n\"W\"=\"w\"\n");
  EXPECT_EQ(Machine("Software\\B", "W"), kNoKey);
  EXPECT_EQ(Machine("Software\\A", "W"), Z("w"));
  EXPECT_EQ(Machine("Software\\A", "V"), kNoValue);
}

TEST_F(RegistryFile, RepeatedKeysAddUpAndTheLastValueWins) {
  System(std::string(kHeader) + "[Software\\\\Twice] 1\n\"A\"=\"first\"\n\"B\"=\"b\"\n" +
         "[Software\\\\Other] 1\n\"A\"=\"other\"\n[SOFTWARE\\\\twice] 2\n\"a\"=\"second\"\n");
  EXPECT_EQ(Machine("Software\\Twice", "A"), Z("second"));
  EXPECT_EQ(Machine("Software\\Twice", "B"), Z("b"));
}

TEST_F(RegistryFile, WhatIsNoRegistryFileHoldsNoKeys) {
  const std::string body = "[Software\\\\K] 1\n\"V\"=\"1\"\n";
  EXPECT_EQ(Machine("Software\\K", "V"), kNoKey);  // no file at all
  System(std::string(kHeader) + body);
  EXPECT_EQ(Machine("Software\\K", "V"), Z("1"));
  for (const char* header : {"WINE REGISTRY Version 1\n", "REGEDIT4\n", "", "\n WINE REGISTRY Version 2\n"}) {
    System(std::string(header) + body);
    EXPECT_EQ(Machine("Software\\K", "V"), kNoKey) << header;
  }
  std::remove((box.Prefix() + "/system.reg").c_str());
  ASSERT_EQ(mkdir((box.Prefix() + "/system.reg").c_str(), 0755), 0);
  EXPECT_EQ(Machine("Software\\K", "V"), kNoKey);
}

TEST_F(RegistryFile, FilesAreReadThroughTheSystemCallTable) {
  System(std::string(kHeader) + "[Software\\\\K] 1\n\"V\"=\"1\"\n");
  {
    SyscallFaults faults;
    faults.sys().read = FailRead<EIO>;
    EXPECT_EQ(Machine("Software\\K", "V"), kNoKey);
    faults.sys().open = FailOpen<EIO>;
    EXPECT_EQ(Machine("Software\\K", "V"), kNoKey);
    faults.sys().open = FailOpen<EACCES>;  // a file the user may not read refuses its keys
    EXPECT_EQ(Machine("Software\\K", "V"), "open error 5");
  }
  EXPECT_EQ(Machine("Software\\K", "V"), Z("1"));
}

TEST_F(RegistryFile, A32BitProgramSeesHklmSoftwareThroughWow6432NodeOnWin64) {
  const std::string keys =
      "\n[Software\\\\Maker\\\\Game] 1\n\"Bits\"=\"64\"\n"
      "[Software\\\\Wow6432Node\\\\Maker\\\\Game] 1\n\"Bits\"=\"32\"\n"
      "[System\\\\Setup] 1\n\"Bits\"=\"shared\"\n";
  System(std::string(kHeader) + "#arch=win64\n" + keys);
  User("WINE REGISTRY Version 2\n#arch=win64\n" + keys);
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Maker\\Game", "Bits", KEY_READ | KEY_WOW64_32KEY), Z("32"));
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Maker\\Game", "Bits", KEY_READ), Z("32"));
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Maker\\Game", "Bits", KEY_READ | KEY_WOW64_64KEY), Z("64"));
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Maker\\Game", "Bits"), Z("32"));
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "System\\Setup", "Bits"), Z("shared"));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\Maker\\Game", "Bits"), Z("64"));  // HKCU is one view

  HKEY software, game;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ | KEY_WOW64_32KEY, &software), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(software, "Maker\\Game", 0, KEY_READ | KEY_WOW64_32KEY, &game), ERROR_SUCCESS);
  char buf[8];
  DWORD size = sizeof buf;
  EXPECT_EQ(RegQueryValueExA(game, "Bits", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_STREQ(buf, "32");
  RegCloseKey(game);
  RegCloseKey(software);

  System(std::string(kHeader) + "#arch=win32\n" + keys);  // one view only
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Maker\\Game", "Bits", KEY_READ | KEY_WOW64_32KEY), Z("64"));
}

TEST_F(RegistryFile, LinksAreFollowedWithinTheirFile) {
  System(std::string(kHeader) + "#arch=win64\n\n" +
         "[Software\\\\Shared] 1\n\"Top\"=\"top\"\n"
         "[Software\\\\Shared\\\\Sub] 1\n\"V\"=\"shared\"\n"
         "[Software\\\\Wow6432Node\\\\Shared] 1\n#time=1\n#link\n"
         "\"SymbolicLinkValue\"=hex(6):" +
         HexUtf16("\\REGISTRY\\Machine\\Software\\Shared") +
         "\n"
         "[Software\\\\LoopA] 1\n#link\n\"SymbolicLinkValue\"=hex(6):" +
         HexUtf16("\\Registry\\Machine\\Software\\LoopB") +
         "\n"
         "[Software\\\\LoopB] 1\n#link\n\"SymbolicLinkValue\"=hex(6):" +
         HexUtf16("\\Registry\\Machine\\Software\\LoopA") +
         "\n"
         "[Software\\\\Away] 1\n#link\n\"SymbolicLinkValue\"=hex(6):" +
         HexUtf16("\\Registry\\User\\S-1\\Software\\Shared") + "\n" +
         "[software\\\\shared\\\\sub] 2\n\"W\"=\"again\"\n" +
         "[Software\\\\Wow6432Node\\\\Late] 1\n\"SymbolicLinkValue\"=hex(6):" +
         HexUtf16("\\Registry\\Machine\\Software\\Shared") + "\n#link\n");
  EXPECT_EQ(Machine("Software\\Shared\\Sub", "V"), Z("shared"));  // through Wow6432Node\Shared
  EXPECT_EQ(Machine("Software\\Shared\\Sub", "W"), Z("again"));
  EXPECT_EQ(Machine("Software\\Late\\Sub", "V"), Z("shared"));  // the link mark may follow the target
  EXPECT_EQ(Machine("Software\\Wow6432Node\\Shared\\Sub", "V"), Z("shared"));
  EXPECT_EQ(Machine("Software\\Wow6432Node\\Shared", "Top"), Z("top"));
  DWORD type;
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Shared", "SymbolicLinkValue", KEY_READ, &type,
                  REG_OPTION_OPEN_LINK)
                .size(),
            2 * std::string("\\REGISTRY\\Machine\\Software\\Shared").size());
  EXPECT_EQ(type, DWORD(REG_LINK));
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\LoopA", "V", KEY_READ | KEY_WOW64_64KEY), kNoKey);
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Away\\Sub", "V", KEY_READ | KEY_WOW64_64KEY), kNoKey);

  // A chain that never comes back ends after 16 links.
  std::string chain = std::string(kHeader) + "[Software\\\\L17] 1\n\"V\"=\"end\"\n";
  for (int i = 0; i < 17; ++i)
    chain += "[Software\\\\L" + std::to_string(i) + "] 1\n#link\n\"SymbolicLinkValue\"=hex(6):" +
             HexUtf16("\\Registry\\Machine\\Software\\L" + std::to_string(i + 1)) + "\n";
  System(chain);
  EXPECT_EQ(Machine("Software\\L1", "V"), Z("end"));
  EXPECT_EQ(Machine("Software\\L0", "V"), kNoKey);
}

TEST_F(RegistryFile, NothingIsEverWritten) {
  const std::string text = std::string(kHeader) + "[Software\\\\K] 1\n\"V\"=\"1\"\n";
  System(text);
  HKEY key = nullptr;
  for (REGSAM access : {REGSAM(KEY_SET_VALUE), REGSAM(KEY_CREATE_SUB_KEY), REGSAM(KEY_WRITE), REGSAM(KEY_ALL_ACCESS)})
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\K", 0, access, &key), ERROR_ACCESS_DENIED) << access;
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\K", "V", KEY_ENUMERATE_SUB_KEYS), "error 5");  // no query right
  EXPECT_EQ(box.Read("../system.reg"), text);
}

TEST_F(RegistryFile, RootsAndPathsAsWindowsTakesThem) {
  System(std::string(kHeader) + "[Software\\\\K] 1\n\"V\"=\"1\"\n");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Software", 0, KEY_READ, &key), ERROR_CALL_NOT_IMPLEMENTED);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\Software\\K", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\\\K", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\K", 0, KEY_READ | KEY_WOW64_32KEY | KEY_WOW64_64KEY, &key),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Machine("Software\\K\\", "V"), Z("1"));  // one backslash may end the path
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

}  // namespace
