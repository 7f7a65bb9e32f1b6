// The registry calls held to what Wine's conformance tests expect of Windows:
// dlls/advapi32/tests/registry.c of wine-mirror/wine, commit
// 023ad350e20c91dbd86977fd84d33798de0f8009. Each case names the line
// (registry.c:N) whose expectation it checks. Where Wine's test first writes
// the keys it reads, the keys here are a prefix's registry files, which is
// how the layer gets them; where Wine opens a key with RegOpenKeyA or
// RegCreateKeyExA, the case opens it with RegOpenKeyExA and read access.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/posix/registry/registry.h"
#include "platform/win32.h"
#include "support/sandbox.h"

namespace {

const char kUserHeader[] =
    "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win32\n";
const char kMachineHeader[] = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n";
const char kTest[] = "Software\\Wine\\Test";

std::string HexBytes(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x,", c);
    out += byte;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

// A text value's data exactly as given (ASCII, zeros included), in UTF-16 as
// Windows keeps it.
std::string Text(const std::string& ascii, int type = REG_SZ) {
  std::string utf16;
  for (char c : ascii) utf16 += std::string{c, '\0'};
  return "hex(" + std::to_string(type) + "):" + HexBytes(utf16);
}

std::string Section(const std::string& key, const std::string& values) {
  std::string escaped;
  for (char c : key) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return "\n[" + escaped + "] 1700000000\n" + values;
}

std::string Value(const std::string& name, const std::string& data) {
  return (name.empty() ? std::string("@") : "\"" + name + "\"") + "=" + data + "\n";
}

class RegistryConformance : public ::testing::Test {
 protected:
  // The prefix's registry files lie beside its drive C:.
  void User(const std::string& sections) { box.Write("..\\user.reg", kUserHeader + sections); }
  void Machine(const std::string& sections) { box.Write("..\\system.reg", kMachineHeader + sections); }

  HKEY Open(HKEY root, const char* path, REGSAM access = KEY_READ) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(root, path, 0, access, &key), ERROR_SUCCESS) << path;
    return key;
  }

  void TearDown() override { EXPECT_EQ(posix::OpenKeyCount(), 0u) << "a key was left open"; }

  Sandbox box;
};

// Wine's test key, with the values its create_test_entries() writes.
class TestKey : public RegistryConformance {
 protected:
  void SetUp() override {
    const std::string value("value\0", 6);
    User(Section(kTest, Value("TP1_SZ", Text(std::string("%LONGSYSTEMVAR%\\subdir1") + '\0')) +
                            Value("BIN32", "hex:78,56,34,12") + Value("test", Text(value)) + Value("", Text(value))) +
         Section("Software\\Wine\\Empty", ""));
    Machine(Section("Software\\Wine\\Winetest", Value("value", "dword:00000040")) +
            Section("Software\\Wow6432Node\\Wine\\Winetest", Value("value", "dword:00000020")));
  }
};

TEST_F(TestKey, OpeningFindsKeysAndRefusesWhatWindowsRefuses) {
  HKEY preserve = nullptr, result = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTest, 0, KEY_READ, &preserve), ERROR_SUCCESS);  // registry.c:1044
  EXPECT_NE(preserve, nullptr);                                                               // registry.c:1045
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTest, 0, KEY_READ, &result), ERROR_SUCCESS);    // registry.c:1050
  EXPECT_NE(result, preserve);                                                                // registry.c:1051
  EXPECT_NE(result, nullptr);                                                                 // registry.c:1052
  RegCloseKey(result);
  // Trailing backslashes name the same key.
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Test\\\\", 0, KEY_READ, &result),
            ERROR_SUCCESS);  // registry.c:1057
  RegCloseKey(result);
  for (int twice = 0; twice < 2; ++twice) {  // the second open finds that the first made nothing
    result = preserve;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Nonexistent", 0, KEY_READ, &result),
              ERROR_FILE_NOT_FOUND);  // registry.c:1065, 1071
    EXPECT_EQ(result, nullptr);       // registry.c:1066, 1072
  }
  // A null key is refused before anything is written to the result.
  result = preserve;
  EXPECT_EQ(RegOpenKeyExA(nullptr, kTest, 0, KEY_READ, &result), ERROR_INVALID_HANDLE);  // registry.c:1101
  EXPECT_EQ(result, preserve);                                                           // registry.c:1103
  result = preserve;
  EXPECT_EQ(RegOpenKeyExA(nullptr, "", 0, KEY_QUERY_VALUE, &result), ERROR_INVALID_HANDLE);           // registry.c:1163
  EXPECT_EQ(result, preserve);                                                                        // registry.c:1164
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTest, 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);  // :1107
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);  // :1110
  EXPECT_EQ(RegOpenKeyExA(nullptr, nullptr, 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);  // registry.c:1113
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software\\Wine\\Test", 0, KEY_READ, &result),
            ERROR_BAD_PATHNAME);  // registry.c:1117
  // An empty or null name below an open key opens that key once more.
  for (const char* name : {"", static_cast<const char*>(nullptr)}) {
    result = preserve;
    EXPECT_EQ(RegOpenKeyExA(preserve, name, 0, KEY_QUERY_VALUE, &result), ERROR_SUCCESS);  // registry.c:1149, 1156
    EXPECT_NE(result, preserve);                                                           // registry.c:1150, 1157
    EXPECT_EQ(RegCloseKey(result), ERROR_SUCCESS);                                         // registry.c:1151, 1158
  }
  RegCloseKey(preserve);
}

TEST_F(TestKey, OpeningAsAUserWhoMayNotWrite) {
  // Windows lets a limited user read HKLM\Software and refuses writing; the
  // layer refuses writing to everyone.
  HKEY key = reinterpret_cast<HKEY>(uintptr_t(0xdeadbeef));
  LSTATUS ret = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ | KEY_WRITE, &key);
  EXPECT_TRUE(ret == ERROR_SUCCESS || ret == ERROR_ACCESS_DENIED) << ret;  // registry.c:212
  EXPECT_EQ(ret, ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);  // registry.c:220
}

TEST_F(TestKey, ViewFlagsAndPredefinedKeys) {
  // Both views of HKLM\Software open, also for the keys below.
  for (REGSAM view : {REGSAM(KEY_WOW64_32KEY), REGSAM(KEY_WOW64_64KEY)}) {
    HKEY key = Open(HKEY_LOCAL_MACHINE, "Software", KEY_READ | view);  // registry.c:1171, 1177
    EXPECT_NE(key, nullptr);
    RegCloseKey(key);
    key = Open(HKEY_LOCAL_MACHINE, "Software\\Wine", KEY_READ | view);  // registry.c:1287, 1293
    EXPECT_NE(key, nullptr);
    RegCloseKey(key);
  }
  // A predefined key is known by its low 32 bits alone.
  struct {
    HKEY root;
    uint64_t high;
    int line;
  } const cases[] = {{HKEY_CURRENT_USER, 0, 1188},
                     {HKEY_CURRENT_USER, 1, 1193},
                     {HKEY_CURRENT_USER, 0xdeadbeef, 1198},
                     {HKEY_CURRENT_USER, 0xffffffff, 1203},
                     {HKEY_LOCAL_MACHINE, 0xdeadbeef, 1209}};
  for (const auto& c : cases) {
    uint64_t low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(c.root));
    HKEY root = reinterpret_cast<HKEY>(static_cast<uintptr_t>(low | c.high << 32));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(root, "Software", 0, KEY_READ, &key), ERROR_SUCCESS) << "registry.c:" << c.line;
    EXPECT_NE(key, nullptr) << "registry.c:" << c.line + 1;
    RegCloseKey(key);
  }
  // Keys of HKCU and HKLM do not carry the mark of HKEY_CLASSES_ROOT's keys.
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    HKEY key = Open(root, "Software");                    // registry.c:3307, 3312
    EXPECT_NE(reinterpret_cast<uintptr_t>(key) & 3, 2u);  // registry.c:3308, 3313
    RegCloseKey(key);
  }
}

TEST_F(TestKey, ClosingAKeyTwiceOrNoKey) {
  HKEY key = Open(HKEY_CURRENT_USER, kTest);              // registry.c:1484
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);             // registry.c:1486
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);      // registry.c:1490, NT's answer
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);  // registry.c:1495
}

TEST_F(TestKey, QueryingSizesTypesAndMissingValues) {
  HKEY key = Open(HKEY_CURRENT_USER, kTest);
  BYTE buffer[10];
  DWORD type = 0, size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "TP1_SZ", nullptr, &type, nullptr, &size), ERROR_SUCCESS);  // registry.c:804
  EXPECT_EQ(size, std::strlen("%LONGSYSTEMVAR%\\subdir1") + 1);                               // registry.c:805
  EXPECT_EQ(type, DWORD(REG_SZ));                                                             // registry.c:806

  // A missing value asked for its size alone has none; asked with a buffer,
  // the size is left as it was. (Wine asks HKEY_CLASSES_ROOT, which the
  // layer does not serve; the answer is the key's, whichever it is.)
  type = size = 0xdeadbeef;
  EXPECT_EQ(RegQueryValueExA(key, "Nonexistent Value", nullptr, &type, nullptr, &size),
            ERROR_FILE_NOT_FOUND);  // registry.c:811
  EXPECT_EQ(size, 0u);              // registry.c:812
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "Nonexistent Value", nullptr, &type, buffer, &size),
            ERROR_FILE_NOT_FOUND);  // registry.c:816
  EXPECT_EQ(size, sizeof buffer);   // registry.c:817

  // One variable for the type and the size: the size is read before the
  // type is written.
  size = 4;
  EXPECT_EQ(RegQueryValueExA(key, "BIN32", nullptr, &size, buffer, &size), ERROR_SUCCESS);  // registry.c:821

  // Nothing asked for at all, of a value and of the default value.
  EXPECT_EQ(RegQueryValueExA(key, "test", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);  // registry.c:3382
  EXPECT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);      // registry.c:3404
  RegCloseKey(key);
  key = Open(HKEY_CURRENT_USER, "Software\\Wine\\Empty");  // the same names once deleted
  EXPECT_EQ(RegQueryValueExA(key, "test", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);  // :3388
  EXPECT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);      // :3410
  RegCloseKey(key);
}

// test_set_value: each text as Windows stores it, read back with the ANSI
// call as test_hkey_main_Value_A reads it (registry.c:241-268).
TEST_F(RegistryConformance, TextsReadBackAsTheyAreStored) {
  const std::string broken("This\0Breaks\0\0A\0\0\0Lot\0\0\0\0", 25);  // with its terminator
  struct Row {
    int line;
    const char* name;
    std::string stored;  // what Windows keeps after the set
    bool empty;          // test_hkey_main_Value_A's string argument is NULL
  } const rows[] = {
      {345, "", std::string("ThisNeverBreaks\0", 16), false},
      {351, "", std::string("ThisNeverBreaks\0", 16), false},
      {357, "", std::string("This\0", 5), false},
      {375, "CleanSingleString", "", true},
      {381, "CleanSingleString", std::string(1, '\0'), false},
      {393, "CleanSingleString", std::string("ThisNeverBreaks\0", 16), false},
      {399, "SomeIntraZeroedString", broken, false},
      {414, "", std::string("ThisNeverBreaks\0", 16), false},
      {419, "CleanSingleString", std::string("ThisNeverBreaks\0", 16), false},
      {425, "", std::string("ThisNeverBreaks\0", 16), false},
      {431, "", std::string("This\0", 5), false},
      {451, "CleanSingleString", std::string("ThisNeverBreaks\0", 16), false},
      {457, "SomeIntraZeroedString", broken, false},
      {492, "CleanSingleString", broken, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("registry.c:" + std::to_string(row.line));
    User(Section(kTest, Value(row.name, Text(row.stored))));
    HKEY key = Open(HKEY_CURRENT_USER, kTest);
    DWORD type = 0xdeadbeef, size = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(RegQueryValueExA(key, row.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);  // registry.c:243
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);                                                     // registry.c:245
    EXPECT_EQ(type, DWORD(REG_SZ));                                                             // registry.c:249
    EXPECT_EQ(size, row.stored.size());                                                         // registry.c:250
    std::string value(size + 1, '\xbd');
    EXPECT_EQ(RegQueryValueExA(key, row.name, nullptr, &type, reinterpret_cast<BYTE*>(&value[0]), &size),
              ERROR_SUCCESS);  // registry.c:257
    if (row.empty) {
      EXPECT_EQ(value[0], '\xbd');  // registry.c:261
    } else {
      EXPECT_EQ(value.substr(0, size), row.stored);  // registry.c:265
      EXPECT_EQ(value[size], '\xbd');                // registry.c:268
    }
    RegCloseKey(key);
  }
}

// test_string_termination: "FullString" once with its terminator and once
// stored nine characters long without one.
TEST_F(RegistryConformance, ATextWithoutTerminatorGetsOneWhereThereIsRoom) {
  const std::string full = "FullString";
  User(Section("Software\\Wine\\Full", Value("stringtest", Text(full + '\0'))) +
       Section("Software\\Wine\\Cut", Value("stringtest", Text(full.substr(0, 9)))));
  HKEY key = Open(HKEY_CURRENT_USER, "Software\\Wine\\Full");
  BYTE buffer[11];
  DWORD size = 10;
  EXPECT_EQ(RegQueryValueExA(key, "stringtest", nullptr, nullptr, buffer, &size), ERROR_MORE_DATA);  // :2074
  RegCloseKey(key);

  key = Open(HKEY_CURRENT_USER, "Software\\Wine\\Cut");
  size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "stringtest", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);  // :2082
  EXPECT_EQ(size, 9u);                                                                              // :2083
  for (DWORD room : {9u, 10u}) {  // room for the text, then for a terminator too
    std::memset(buffer, 0xbd, sizeof buffer);
    size = room;
    EXPECT_EQ(RegQueryValueExA(key, "stringtest", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);  // :2089, 2099
    EXPECT_EQ(size, 9u);                                                                             // :2090, 2100
    EXPECT_EQ(std::memcmp(buffer, full.data(), 9), 0);                                               // :2091, 2101
    EXPECT_EQ(buffer[9], room == 9 ? 0xbd : 0) << room;                                              // :2093, 2103
  }
  RegCloseKey(key);
}

// test_symlinks: HKCU\Software\Wine\Test\link points at ...\Test\target.
TEST_F(RegistryConformance, LinksLeadToTheirTargetAndOpenThemselvesOnRequest) {
  const std::string target = "\\Registry\\User\\S-1-5-21-0-0-0-1000\\Software\\Wine\\Test\\target";
  std::string utf16;
  for (char c : target) utf16 += std::string{c, '\0'};
  const std::string link =
      Section("Software\\Wine\\Test\\link", "#link\n" + Value("SymbolicLinkValue", "hex(6):" + HexBytes(utf16)));
  User(link);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Test\\link", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);  // registry.c:2405, no target yet

  User(link + Section("Software\\Wine\\Test\\target",
                      Value("value", "dword:0000beef") + Value("SymbolicLinkValue", "hex(6):" + HexBytes(utf16))));
  key = Open(HKEY_CURRENT_USER, "Software\\Wine\\Test\\link");  // registry.c:2416
  BYTE buffer[1024];
  DWORD type, size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "value", nullptr, &type, buffer, &size), ERROR_SUCCESS);  // registry.c:2420
  EXPECT_EQ(size, sizeof(DWORD));                                                           // registry.c:2421
  // A REG_LINK value in a key that is no link is a value like any other.
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "SymbolicLinkValue", nullptr, &type, buffer, &size), ERROR_SUCCESS);  // :2433
  EXPECT_EQ(size, utf16.size());                                                                        // :2434
  RegCloseKey(key);
  User(link + Section("Software\\Wine\\Test\\target", Value("value", "dword:0000beef")));
  key = Open(HKEY_CURRENT_USER, "Software\\Wine\\Test\\link");
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "SymbolicLinkValue", nullptr, &type, buffer, &size),
            ERROR_FILE_NOT_FOUND);  // registry.c:2425
  RegCloseKey(key);

  // Opened as a link, the key shows its target's path. Windows grants the
  // link all access; the layer grants no access that could change a key
  // (an expected difference), and read access shows the same.
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Test\\link", REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &key),
            ERROR_ACCESS_DENIED);  // registry.c:2455 expects ERROR_SUCCESS
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Test\\link", REG_OPTION_OPEN_LINK, KEY_READ, &key),
            ERROR_SUCCESS);
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "SymbolicLinkValue", nullptr, &type, buffer, &size), ERROR_SUCCESS);  // :2458
  EXPECT_EQ(size, utf16.size());                                                                        // :2459
  RegCloseKey(key);
}

// test_redirection, as a 32-bit program sees it on 64-bit Windows 7 and
// later: HKLM\Software\Wine\Winetest holds 64 in the 64-bit view and 32 in
// the 32-bit one (Software\Wow6432Node). A key keeps the view it was opened
// in; a view flag chooses the view of the whole path anew, but a path that
// is in Wow6432Node already stays there.
TEST_F(TestKey, ThirtyTwoBitProgramsSeeTheirOwnViewOfHklmSoftware) {
  // get_key_value(): the value below a key, 0 where there is none.
  auto valueBelow = [&](HKEY root, const char* name, REGSAM flags) -> DWORD {
    HKEY key;
    LSTATUS err = RegOpenKeyExA(root, name, 0, KEY_READ | flags, &key);
    if (err == ERROR_FILE_NOT_FOUND) return 0;
    EXPECT_EQ(err, ERROR_SUCCESS);  // registry.c:2500
    DWORD dw = 0, size = sizeof dw;
    EXPECT_EQ(RegQueryValueExA(key, "value", nullptr, nullptr, reinterpret_cast<BYTE*>(&dw), &size),
              ERROR_SUCCESS);  // registry.c:2506
    RegCloseKey(key);
    return dw;
  };
  const REGSAM k32 = KEY_WOW64_32KEY, k64 = KEY_WOW64_64KEY;
  EXPECT_EQ(valueBelow(HKEY_LOCAL_MACHINE, "Software\\Wine\\Winetest", k32), 32u);  // registry.c:2568, 2569
  EXPECT_EQ(valueBelow(HKEY_LOCAL_MACHINE, "Software\\Wine\\Winetest", k64), 64u);  // registry.c:2574, 2575

  struct Check {
    const char* name;
    REGSAM flags;
    DWORD expected;
    int line;
  };
  struct Group {
    const char* opened;  // below HKLM; null: HKLM itself
    REGSAM view;
    Check checks[6];
  } const groups[] = {
      {"Software",
       0,
       {{"Wine\\Winetest", 0, 32, 2590},
        {"Wine\\Winetest", k64, 32, 2591},
        {"Wine\\Winetest", k32, 32, 2592},
        {"Wow6432Node\\Wine\\Winetest", 0, 0, 2593},
        {"Wow6432Node\\Wine\\Winetest", k64, 0, 2594},
        {"Wow6432Node\\Wine\\Winetest", k32, 0, 2595}}},
      {"Software",
       k64,
       {{"Wine\\Winetest", 0, 64, 2615},
        {"Wine\\Winetest", k64, 64, 2616},
        {"Wine\\Winetest", k32, 32, 2617},
        {"Wow6432Node\\Wine\\Winetest", 0, 32, 2618},
        {"Wow6432Node\\Wine\\Winetest", k64, 32, 2620},
        {"Wow6432Node\\Wine\\Winetest", k32, 32, 2621}}},
      {"Software",
       k32,
       {{"Wine\\Winetest", 0, 32, 2627},
        {"Wine\\Winetest", k64, 32, 2628},
        {"Wine\\Winetest", k32, 32, 2629},
        {"Wow6432Node\\Wine\\Winetest", 0, 0, 2630},
        {"Wow6432Node\\Wine\\Winetest", k64, 0, 2631},
        {"Wow6432Node\\Wine\\Winetest", k32, 0, 2632}}},
      {nullptr,
       0,
       {{"Software\\Wine\\Winetest", 0, 32, 2657},
        {"Software\\Wow6432Node\\Wine\\Winetest", 0, 32, 2658},
        {"Software\\Wine\\Winetest", k64, 64, 2669},
        {"Software\\Wine\\Winetest", k32, 32, 2670},
        {"Software\\Wow6432Node\\Wine\\Winetest", k64, 32, 2671},
        {"Software\\Wow6432Node\\Wine\\Winetest", k32, 32, 2672}}},
      {"Software\\Wow6432Node",
       0,
       {{"Wine\\Winetest", 0, 32, 2678}, {"Wine\\Winetest", k64, 32, 2679}, {"Wine\\Winetest", k32, 32, 2680}}},
      {"Software\\Wow6432Node",
       k64,
       {{"Wine\\Winetest", 0, 32, 2689}, {"Wine\\Winetest", k64, 32, 2690}, {"Wine\\Winetest", k32, 32, 2691}}},
      {"Software\\Wow6432Node",
       k32,
       {{"Wine\\Winetest", 0, 32, 2697}, {"Wine\\Winetest", k64, 32, 2698}, {"Wine\\Winetest", k32, 32, 2699}}},
      {"Software\\Wow6432Node\\Wine",
       0,
       {{"Winetest", 0, 32, 2706}, {"Winetest", k64, 32, 2707}, {"Winetest", k32, 32, 2708}}},
      {"Software\\Wow6432Node\\Wine",
       k64,
       {{"Winetest", 0, 32, 2717}, {"Winetest", k64, 32, 2718}, {"Winetest", k32, 32, 2719}}},
      {"Software\\Wow6432Node\\Wine",
       k32,
       {{"Winetest", 0, 32, 2725}, {"Winetest", k64, 32, 2726}, {"Winetest", k32, 32, 2727}}},
      {"Software\\Wine", 0, {{"Winetest", 0, 32, 2734}, {"Winetest", k64, 32, 2735}, {"Winetest", k32, 32, 2738}}},
      {"Software\\Wine", k64, {{"Winetest", 0, 64, 2747}, {"Winetest", k64, 64, 2748}, {"Winetest", k32, 32, 2750}}},
      {"Software\\Wine", k32, {{"Winetest", 0, 32, 2756}, {"Winetest", k64, 32, 2757}, {"Winetest", k32, 32, 2758}}},
  };
  for (const Group& group : groups) {
    HKEY key = group.opened ? Open(HKEY_LOCAL_MACHINE, group.opened, KEY_READ | group.view) : HKEY_LOCAL_MACHINE;
    for (const Check& check : group.checks) {
      if (!check.name) break;
      EXPECT_EQ(valueBelow(key, check.name, check.flags), check.expected) << "registry.c:" << check.line;
    }
    RegCloseKey(key);
  }
}

}  // namespace
