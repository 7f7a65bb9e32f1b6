// What the two programs carry, read through the Windows loader itself: one
// manifest of our own, the dialogs with their texts as a Japanese Windows shows
// them, the icons and the version block. Run for the programs of this build;
// those of the 32-bit build are the ones that go on the medium.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32.h"

namespace {

struct Program {
  std::string arch;
  std::string path;
  bool launcher;
};

// ZEFA_PROGRAM_DIRS: "arch=/build/tree;arch=/build/tree", host paths that
// Wine shows on drive Z:.
std::vector<Program> Programs() {
  std::vector<Program> out;
  std::string dirs = ZEFA_PROGRAM_DIRS;
  size_t start = 0;
  while (start < dirs.size()) {
    size_t end = dirs.find(';', start);
    if (end == std::string::npos) end = dirs.size();
    std::string item = dirs.substr(start, end - start);
    size_t equals = item.find('=');
    std::string dir = "Z:" + item.substr(equals + 1);
    for (char& c : dir)
      if (c == '/') c = '\\';
    out.push_back({item.substr(0, equals), dir + "\\launcher\\Orbane.exe", true});
    out.push_back({item.substr(0, equals), dir + "\\updater\\Tavrix.bin", false});
    start = end + 1;
  }
  return out;
}

void PrintTo(const Program& program, std::ostream* out) { *out << program.path; }

class ProgramFile : public ::testing::TestWithParam<Program> {
 protected:
  void SetUp() override {
    module = LoadLibraryExA(GetParam().path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << GetParam().path << ": error " << GetLastError();
  }
  void TearDown() override {
    if (module) FreeLibrary(module);
  }

  std::string Resource(LPCSTR type, int id) const {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!found) return "";
    HGLOBAL loaded = LoadResource(module, found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    return bytes ? std::string(bytes, SizeofResource(module, found)) : "";
  }

  HMODULE module = nullptr;
};

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

BOOL CALLBACK CountLanguage(HMODULE, LPCSTR, LPCSTR, WORD, LONG_PTR count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

// MinGW's start files would bring a manifest of their own if the toolchain
// had one; Windows then takes either, so there must be exactly ours.
TEST_P(ProgramFile, CarriesExactlyOneManifestOfItsOwn) {
  int names = 0, languages = 0;
  EnumResourceNamesA(module, RT_MANIFEST, CountName, reinterpret_cast<LONG_PTR>(&names));
  EnumResourceLanguagesA(module, RT_MANIFEST, MAKEINTRESOURCEA(1), CountLanguage,
                         reinterpret_cast<LONG_PTR>(&languages));
  EXPECT_EQ(names, 1);
  EXPECT_EQ(languages, 1);

  std::string manifest = Resource(RT_MANIFEST, 1);
  std::string level = GetParam().launcher ? "level=\"requireAdministrator\"" : "level=\"asInvoker\"";
  EXPECT_NE(manifest.find(level), std::string::npos) << manifest;
  // The ANSI code page must stay the system's.
  EXPECT_EQ(manifest.find("activeCodePage>"), std::string::npos);
  size_t supported = 0;
  for (size_t at = manifest.find("<supportedOS"); at != std::string::npos; at = manifest.find("<supportedOS", at + 1))
    ++supported;
  EXPECT_EQ(supported, 5u) << "Vista, 7, 8, 8.1 and 10";
}

#pragma pack(push, 1)
struct IconGroupEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST_P(ProgramFile, CarriesItsIconIn32And16PixelsOf16Colours) {
  std::string group = Resource(RT_GROUP_ICON, GetParam().launcher ? 102 : 101);
  ASSERT_GE(group.size(), 6u);
  WORD count = *reinterpret_cast<const WORD*>(&group[4]);
  ASSERT_EQ(group.size(), 6u + count * sizeof(IconGroupEntry));
  std::vector<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    const auto* entry = reinterpret_cast<const IconGroupEntry*>(&group[6 + i * sizeof(IconGroupEntry)]);
    EXPECT_TRUE(entry->colours == 16 || entry->bitCount == 4) << "image " << i;
    EXPECT_EQ(Resource(RT_ICON, entry->id).size(), entry->bytes) << "image " << i;
    sizes.push_back(entry->width);
  }
  EXPECT_EQ(sizes, (std::vector<int>{32, 16}));
}

TEST_P(ProgramFile, CarriesItsVersionBlockInJapanese) {
  const std::string& path = GetParam().path;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed;
  UINT length;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00020000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00020000u);
  WORD* translation;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                             &length));
  EXPECT_EQ(translation[0], 0x0411);
  EXPECT_EQ(translation[1], 1200);

  auto text = [&](const char* name) {
    char* value;
    std::string query = std::string("\\StringFileInfo\\041104b0\\") + name;
    return VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) ? std::string(value)
                                                                                                   : "(missing)";
  };
  bool launcher = GetParam().launcher;
  EXPECT_EQ(text("FileVersion"), "Version 2.0");
  EXPECT_EQ(text("ProductVersion"), "Version 2.0");
  EXPECT_EQ(text("ProductName"), "ゼファ アップデート");
  EXPECT_EQ(text("FileDescription"), launcher ? "ゼファ アップデート" : "ゼファ Fix");
  EXPECT_EQ(text("InternalName"), launcher ? "ゼファ アップデート" : "ゼファ Fix");
  EXPECT_EQ(text("OriginalFilename"), launcher ? "Orbane.exe" : "Tavrix.bin");
}

INT_PTR CALLBACK Passive(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

struct DialogText {
  int dialog;
  const char* caption;
  int control;  // 0: none to read
  const char* text;
};

// Every dialog is made from the program's own template by the window manager,
// and its texts read back in the ANSI code page: the .rc files' UTF-8 arrives
// as the Shift-JIS the programs write themselves.
TEST_P(ProgramFile, MakesItsDialogsWithTheirJapaneseTexts) {
  InitCommonControls();
  std::vector<DialogText> dialogs;
  if (GetParam().launcher) {
    dialogs = {{101, "", 0, nullptr}};
  } else {
    dialogs = {{102, "ゼファ アップデート", 1002, "アプリケーションのアップデート"},
               {103, "ﾌｧｲﾙの上書きの確認", 1002, "新しいﾌｧｲﾙが存在します。"},
               {104, "ﾌｧｲﾙの上書きの確認", IDYES, "はい"}};
  }
  for (const DialogText& d : dialogs) {
    HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(d.dialog), nullptr, Passive, 0);
    ASSERT_NE(dialog, nullptr) << "dialog " << d.dialog << ": error " << GetLastError();
    char text[260];
    GetWindowTextA(dialog, text, sizeof text);
    EXPECT_STREQ(text, d.caption) << "dialog " << d.dialog;
    if (d.control) {
      GetDlgItemTextA(dialog, d.control, text, sizeof text);
      EXPECT_STREQ(text, d.text) << "dialog " << d.dialog;
    }
    if (d.dialog == 102) {
      char name[64];
      GetClassNameA(GetDlgItem(dialog, 1000), name, sizeof name);
      EXPECT_STREQ(name, "msctls_progress32");
    }
    DestroyWindow(dialog);
  }
  if (GetParam().launcher) {
    // The preparing window's one line of text has no id of its own.
    HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(101), nullptr, Passive, 0);
    ASSERT_NE(dialog, nullptr);
    std::string texts;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
      char text[260];
      GetWindowTextA(c, text, sizeof text);
      texts += text;
    }
    EXPECT_EQ(texts, "ゼファアップデートの準備中です．．．");
    EXPECT_EQ(GetWindowLongA(dialog, GWL_STYLE) & WS_CAPTION, 0) << "no title bar";
    DestroyWindow(dialog);
  }
}

std::string Name(const ::testing::TestParamInfo<Program>& info) {
  return std::string(info.param.launcher ? "Orbane_" : "Tavrix_") + info.param.arch;
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramFile, ::testing::ValuesIn(Programs()), Name);

}  // namespace
