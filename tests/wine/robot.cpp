// The robot: a person at the screen of the Windows build, under Wine. It starts
// a program, finds each message box and dialog that the program and the
// programs it starts show, writes them to the transcript in the format of
// tests/transcript.md (the same the POSIX build writes), and answers each as
// the harness that drives it says.
//
// Usage: robot.exe CONTROL-FOLDER
//
// The harness and the robot talk through files in the control folder, all
// UTF-8 (Wine holds pipes open, so no pipes):
//   command.txt   the command line to start (read once)
//   cwd.txt       the folder to start it in (optional)
//   env.txt       NAME=VALUE lines added to its environment (optional)
//   pictures      when present, a screenshot of each box goes to picture-N.bmp
//   ask-N.txt     written by the robot: box N waits for an answer (its record)
//   answer-N.txt  written by the harness: the answer, as a person types it in
//                 the POSIX build (a button's label, yes/no/ok/cancel, y/n/o/c,
//                 escape, close; empty for the default button)
//   eof-N         written by the harness instead: no answer will come
//   transcript.txt  the transcript, written by the robot
//   programs.txt  written by the robot at the end: the program file of each
//                 process it followed, one a line
//   removals.txt  written by the robot at the end: the restart-time deletions
//                 that the run registered ("restart PATH"), which it then clears
//                 unless keep-removals is present
//   stalled.txt   written by the robot when the programs showed nothing for
//                 too long: the processes and windows it sees; it then waits a
//                 moment for stalled-seen (the harness has looked at the host)
//                 before it ends them
//   done.txt      written last: "ok", or what went wrong ("stalled: ...")
// The robot ends when the started program and every program it started have
// ended, or after a time limit.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/answer_words.h"

namespace {

std::wstring control;  // the control folder, with a final backslash
int pictureCount = 0;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return "";
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return L"";
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &out[0], n);
  return out;
}

bool ReadFileText(const std::wstring& name, std::string* text) {
  HANDLE h = CreateFileW((control + name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  text->clear();
  char buffer[4096];
  DWORD got;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) text->append(buffer, got);
  CloseHandle(h);
  return true;
}

void WriteFileText(const std::wstring& name, const std::string& text, bool append = false) {
  HANDLE h = CreateFileW((control + name).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         append ? OPEN_ALWAYS : CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(h, text.data(), (DWORD)text.size(), &written, nullptr);
  CloseHandle(h);
}

bool Exists(const std::wstring& name) { return GetFileAttributesW((control + name).c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
  size_t start = s.find_first_not_of(' ');
  return start == std::string::npos ? "" : s.substr(start);
}

// ---------------------------------------------------------------------------
// The programs being watched: the one started and every one it started.

class Programs {
 public:
  explicit Programs(DWORD first) {
    ours_.insert(first);
    Note(first);
  }

  // The program file of each process of ours, one a line, in the order they
  // were seen.
  const std::wstring& Files() const { return files_; }

  // Each process of ours that still runs: its id and program file.
  std::string Alive() const {
    std::string out;
    for (DWORD pid : ours_) {
      HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid);
      if (!h) continue;
      wchar_t path[MAX_PATH] = L"";
      DWORD size = MAX_PATH;
      if (!QueryFullProcessImageNameW(h, 0, path, &size)) size = 0;
      if (WaitForSingleObject(h, 0) == WAIT_TIMEOUT)
        out += "  process " + std::to_string(pid) + " " + Utf8(std::wstring(path, size)) + "\n";
      CloseHandle(h);
    }
    return out;
  }

  // Takes in the programs that ours started; true while any of ours runs.
  bool Running() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return true;
    std::vector<PROCESSENTRY32W> all;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
      all.push_back(entry);
    CloseHandle(snapshot);
    for (bool grew = true; grew;) {
      grew = false;
      for (const auto& p : all)
        if (ours_.count(p.th32ParentProcessID) && !system_.count(p.th32ProcessID) &&
            ours_.insert(p.th32ProcessID).second)
          grew = true;
    }
    for (const auto& p : all)
      if (ours_.count(p.th32ProcessID) && !seen_.count(p.th32ProcessID)) Note(p.th32ProcessID);
    for (const auto& p : all)
      if (ours_.count(p.th32ProcessID)) return true;
    return false;
  }

  bool Owns(HWND window) const {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return ours_.count(pid) != 0;
  }

  void EndAll() {
    for (DWORD pid : ours_) {
      if (HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
        TerminateProcess(h, 3);
        CloseHandle(h);
      }
    }
  }

 private:
  // A process just made may not tell its file yet: it is asked again on the
  // next look. One from the system folder is Wine's, not ours: the first
  // window of a session starts Wine's desktop process (explorer.exe) as a
  // child of the program that made it, and that process stays a while after
  // the last window, the longer the busier the machine.
  void Note(DWORD pid) {
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!h) return;
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    if (QueryFullProcessImageNameW(h, 0, path, &size)) {
      std::wstring file(path, size);
      seen_.insert(pid);
      if (InSystemFolder(file)) {
        system_.insert(pid);
        ours_.erase(pid);
      } else {
        files_ += file + L"\n";
      }
    }
    CloseHandle(h);
  }

  static bool InSystemFolder(const std::wstring& file) {
    wchar_t folder[MAX_PATH];
    UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || file.size() <= n || file[n] != L'\\') return false;
    return CompareStringOrdinal(file.c_str(), (int)n, folder, (int)n, TRUE) == CSTR_EQUAL;
  }

  std::set<DWORD> ours_, seen_, system_;
  std::wstring files_;
};

// ---------------------------------------------------------------------------
// What a person sees of a window.

std::wstring ClassOf(HWND w) {
  wchar_t name[64] = L"";
  GetClassNameW(w, name, 64);
  return name;
}

std::wstring TextOf(HWND w) {
  // WM_GETTEXT goes to the window's own thread, which is in its modal loop.
  wchar_t text[1024] = L"";
  DWORD_PTR got = 0;
  SendMessageTimeoutW(w, WM_GETTEXT, 1024, (LPARAM)text, SMTO_BLOCK, 2000, &got);
  return text;
}

bool IsDialogWindow(HWND w) { return ClassOf(w) == L"#32770"; }

bool IsButton(HWND w) { return !lstrcmpiW(ClassOf(w).c_str(), L"Button"); }

bool IsIcon(HWND w) {
  return !lstrcmpiW(ClassOf(w).c_str(), L"Static") && (GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

bool IsProgressBar(HWND w) { return !lstrcmpiW(ClassOf(w).c_str(), PROGRESS_CLASSW); }

// A message box is made by the system from a template of its own, so its
// instance is not the program's module, from which the program's dialogs come
// (Wine gives it none at all).
bool IsMessageBox(HWND w) {
  HINSTANCE instance = (HINSTANCE)GetWindowLongPtrW(w, GWLP_HINSTANCE);
  if (!instance) return true;
  DWORD pid;
  GetWindowThreadProcessId(w, &pid);
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!process) return false;
  wchar_t program[MAX_PATH] = L"", module[MAX_PATH] = L"";
  K32GetModuleFileNameExW(process, nullptr, program, MAX_PATH);
  K32GetModuleFileNameExW(process, instance, module, MAX_PATH);
  CloseHandle(process);
  return lstrcmpiW(program, module) != 0;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (IsWindowVisible(c)) out.push_back(c);
  return out;
}

RECT RectOf(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  return r;
}

// Top to bottom, then left to right.
bool ReadsBefore(HWND a, HWND b) {
  RECT ra = RectOf(a), rb = RectOf(b);
  return ra.top != rb.top ? ra.top < rb.top : ra.left < rb.left;
}

std::vector<std::string> LinesOfDialog(HWND dialog) {
  std::vector<HWND> shown;
  for (HWND c : Children(dialog))
    if (!IsButton(c) && !IsIcon(c)) shown.push_back(c);
  std::stable_sort(shown.begin(), shown.end(), ReadsBefore);
  std::vector<std::string> lines;
  for (HWND c : shown) {
    if (IsProgressBar(c)) {
      DWORD_PTR position = 0, high = 0;
      SendMessageTimeoutW(c, PBM_GETPOS, 0, 0, SMTO_BLOCK, 2000, &position);
      SendMessageTimeoutW(c, PBM_GETRANGE, FALSE, 0, SMTO_BLOCK, 2000, &high);
      lines.push_back("[" + std::to_string((int)position) + "/" + std::to_string((int)high) + "]");
    } else {
      lines.push_back(Utf8(TextOf(c)));
    }
  }
  return lines;
}

// A box's text, split at its line feeds; carriage returns and empty lines at
// the end dropped.
std::vector<std::string> LinesOfBox(HWND box) {
  std::wstring text;
  for (HWND c : Children(box))
    if (!lstrcmpiW(ClassOf(c).c_str(), L"Static") && !IsIcon(c)) text += TextOf(c);
  std::vector<std::wstring> wide(1);
  for (wchar_t ch : text) {
    if (ch == L'\n')
      wide.emplace_back();
    else if (ch != L'\r')
      wide.back() += ch;
  }
  while (wide.size() > 1 && wide.back().empty()) wide.pop_back();
  std::vector<std::string> lines;
  for (const auto& w : wide) lines.push_back(Utf8(w));
  return lines;
}

// A button's label without its accelerator: "はい(&Y)" is "はい", "&OK" is "OK".
std::string Label(std::wstring text) {
  // "(&Y)": an opening parenthesis, the mark, one character, the closing one.
  for (size_t at; (at = text.find(L"(&")) != std::wstring::npos && at + 3 < text.size() && text[at + 3] == L')';)
    text.erase(at, 4);
  text.erase(std::remove(text.begin(), text.end(), L'&'), text.end());
  return Utf8(text);
}

struct Button {
  int id;
  std::string label;
  HWND window;
};

std::vector<Button> ButtonsOf(HWND box) {
  std::vector<HWND> found;
  for (HWND c : Children(box))
    if (IsButton(c)) found.push_back(c);
  std::stable_sort(found.begin(), found.end(), [](HWND a, HWND b) { return RectOf(a).left < RectOf(b).left; });
  std::vector<Button> out;
  for (HWND b : found) out.push_back({GetDlgCtrlID(b), Label(TextOf(b)), b});
  return out;
}

// ---------------------------------------------------------------------------
// Pixels: the icon of a box, and pictures of the screen.

struct Pixels {
  int width = 0, height = 0;
  std::vector<DWORD> bits;  // top-down, 0x00RRGGBB
};

// A top-down 32-bit picture.
BITMAPINFOHEADER Header(int width, int height) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof h;
  h.biWidth = width;
  h.biHeight = -height;
  h.biPlanes = 1;
  h.biBitCount = 32;
  h.biCompression = BI_RGB;
  return h;
}

// What paint draws into a memory picture of the given size.
template <typename Paint>
Pixels Draw(int width, int height, Paint paint) {
  Pixels p;
  p.width = width;
  p.height = height;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader = Header(width, height);
  void* bits;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  paint(memory, screen);
  GdiFlush();
  p.bits.assign((DWORD*)bits, (DWORD*)bits + (size_t)width * height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  for (DWORD& px : p.bits) px &= 0xFFFFFF;
  return p;
}

Pixels Grab(int x, int y, int width, int height) {
  return Draw(width, height, [&](HDC memory, HDC screen) { BitBlt(memory, 0, 0, width, height, screen, x, y, SRCCOPY); });
}

// A system icon as the box draws it: its pixels and which of them it covers.
struct Reference {
  const char* name;
  Pixels pixels;
  std::vector<bool> covered;
};

std::vector<Reference> References(int size) {
  struct {
    const char* name;
    LPCWSTR id;
  } kinds[] = {{"error", IDI_HAND}, {"question", IDI_QUESTION}, {"warning", IDI_EXCLAMATION},
               {"information", IDI_ASTERISK}};
  std::vector<Reference> out;
  for (auto& kind : kinds) {
    HICON icon = LoadIconW(nullptr, kind.id);
    // Drawn on black and on white: where the two agree, the icon covers the pixel.
    Pixels on[2];
    for (int pass = 0; pass < 2; ++pass) {
      on[pass] = Draw(size, size, [&](HDC memory, HDC) {
        RECT all = {0, 0, size, size};
        FillRect(memory, &all, (HBRUSH)GetStockObject(pass ? WHITE_BRUSH : BLACK_BRUSH));
        DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
      });
    }
    Reference ref{kind.name, on[0], {}};
    for (int i = 0; i < size * size; ++i) ref.covered.push_back(on[0].bits[i] == on[1].bits[i]);
    out.push_back(ref);
  }
  return out;
}

// Which system icon the box shows, by its pixels on the screen; empty when
// none matches (the box is not drawn yet, or shows no icon).
std::string IconShown(HWND box) {
  HWND iconWindow = nullptr;
  for (HWND c : Children(box))
    if (IsIcon(c)) iconWindow = c;
  if (!iconWindow) return "";
  RECT r = RectOf(iconWindow);
  int size = GetSystemMetrics(SM_CXICON);
  Pixels shown = Grab(r.left, r.top, size, size);
  std::string best;
  int bestMisses = size * size;
  for (const Reference& ref : References(size)) {
    int misses = 0, covered = 0;
    for (int i = 0; i < size * size; ++i) {
      if (!ref.covered[i]) continue;
      ++covered;
      if (ref.pixels.bits[i] != shown.bits[i]) ++misses;
    }
    if (covered && misses * 20 < covered && misses < bestMisses) {
      best = ref.name;
      bestMisses = misses;
    }
  }
  return best;
}

void SavePicture() {
  if (!Exists(L"pictures")) return;
  Sleep(150);  // what the window drew reaches the screen
  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  Pixels p = Grab(0, 0, width, height);
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = Header(width, height);
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + (DWORD)p.bits.size() * 4;
  std::string bytes((const char*)&file, sizeof file);
  bytes.append((const char*)&info, sizeof info);
  bytes.append((const char*)p.bits.data(), p.bits.size() * 4);
  WriteFileText(L"picture-" + std::to_wstring(++pictureCount) + L".bmp", bytes);
}

// ---------------------------------------------------------------------------
// Scenes and answers.

struct Scene {
  HWND window;
  bool box;
  std::string caption, icon;
  std::vector<std::string> lines, behind;
  std::vector<Button> buttons;
  int defaultButton = 0;
};

BOOL CALLBACK AddWindow(HWND w, LPARAM out) {
  reinterpret_cast<std::vector<HWND>*>(out)->push_back(w);
  return TRUE;
}

std::vector<HWND> TopWindows() {
  std::vector<HWND> all;
  EnumWindows(AddWindow, (LPARAM)&all);
  return all;
}

std::vector<std::string> Behind(HWND except) {
  DWORD pid;
  GetWindowThreadProcessId(except, &pid);
  std::vector<HWND> shown;
  for (HWND w : TopWindows()) {
    DWORD owner;
    GetWindowThreadProcessId(w, &owner);
    if (w != except && owner == pid && IsWindowVisible(w) && IsDialogWindow(w) && !IsMessageBox(w)) shown.push_back(w);
  }
  // In the order they were made.
  std::sort(shown.begin(), shown.end(), [](HWND a, HWND b) { return (UINT_PTR)a < (UINT_PTR)b; });
  std::vector<std::string> out;
  for (HWND w : shown) {
    std::string line;
    for (const std::string& text : LinesOfDialog(w)) line += (line.empty() ? "" : " ") + text;
    out.push_back(line);
  }
  return out;
}

Scene Look(HWND w) {
  Scene s;
  s.window = w;
  s.box = IsMessageBox(w);
  s.caption = Utf8(TextOf(w));
  s.lines = s.box ? LinesOfBox(w) : LinesOfDialog(w);
  s.buttons = ButtonsOf(w);
  DWORD_PTR id = 0;
  SendMessageTimeoutW(w, DM_GETDEFID, 0, 0, SMTO_BLOCK, 2000, &id);
  s.defaultButton = HIWORD(id) == DC_HASDEFID ? LOWORD(id) : (s.buttons.empty() ? 0 : s.buttons[0].id);
  s.behind = Behind(w);
  return s;
}

std::string Describe(const Scene& s) {
  std::string text = (s.box ? "box: " : "dialog: ") + s.caption + "\n";
  if (!s.icon.empty()) text += "  icon: " + s.icon + "\n";
  for (const std::string& line : s.lines) text += "  text: " + line + "\n";
  std::string buttons;
  for (const Button& b : s.buttons) buttons += (buttons.empty() ? "" : " | ") + b.label;
  text += "  buttons: " + buttons + "\n";
  for (const std::string& line : s.behind) text += "  behind: " + line + "\n";
  return text;
}

// Waits until the window's thread has handled what was sent to it before: it
// is then in its message loop, with everything it set up on screen.
bool Settled(HWND w) {
  DWORD_PTR ignored;
  return SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored) != 0;
}

// Whether any top-level window of our programs is on the screen.
bool AnyShown(const Programs& programs) {
  for (HWND w : TopWindows())
    if (IsWindowVisible(w) && programs.Owns(w)) return true;
  return false;
}

// What the robot can tell of programs that show nothing: which of them run,
// and their top-level windows, shown or not.
std::string Diagnosis(const Programs& programs) {
  std::string out = programs.Alive();
  for (HWND w : TopWindows()) {
    if (!programs.Owns(w)) continue;
    DWORD pid;
    GetWindowThreadProcessId(w, &pid);
    out += "  window of " + std::to_string(pid) + ": " + Utf8(ClassOf(w)) + " \"" + Utf8(TextOf(w)) + "\"" +
           (IsWindowVisible(w) ? " shown" : " hidden") + (IsWindowEnabled(w) ? "" : " disabled") + "\n";
  }
  return out;
}

// The box or dialog of ours that waits for an answer: a visible, enabled
// dialog window of our programs with at least one button.
HWND Waiting(Programs& programs) {
  for (HWND w : TopWindows()) {
    if (!IsWindowVisible(w) || !IsWindowEnabled(w) || !IsDialogWindow(w) || !programs.Owns(w)) continue;
    for (HWND c : Children(w))
      if (IsButton(c)) return w;
  }
  return nullptr;
}

enum class Choice { kButton, kEscape, kClose };

struct Answer {
  Choice choice;
  int button;
};

// An answer as a person types it in the POSIX build's terminal.
bool Parse(const Scene& s, const std::string& typed, Answer* answer) {
  std::string t = Trim(typed), lower = t;
  for (char& c : lower) c = (char)tolower((unsigned char)c);
  if (lower == "escape" || lower == "esc") return *answer = {Choice::kEscape, 0}, true;
  if (lower == "close") return *answer = {Choice::kClose, 0}, true;
  if (t.empty()) return *answer = {Choice::kButton, s.defaultButton}, true;
  for (const Button& b : s.buttons) {
    std::string alias = AnswerWord(b.id);
    if (t == b.label || lower == alias || (!alias.empty() && lower == alias.substr(0, 1)))
      return *answer = {Choice::kButton, b.id}, true;
  }
  return false;
}

std::string AnswerText(const Scene& s, const Answer& a) {
  if (a.choice == Choice::kEscape) return "(escape)";
  if (a.choice == Choice::kClose) return "(close)";
  for (const Button& b : s.buttons)
    if (b.id == a.button) return b.label;
  return "(button " + std::to_string(a.button) + ")";
}

// Hands the answer over as the person's own action would: a click on the
// button, the Escape key (which the dialog's message loop turns into what
// the window makes of it), or the close command of the window's menu.
void Deliver(const Scene& s, const Answer& a) {
  switch (a.choice) {
    case Choice::kButton:
      // What a click on the button sends its dialog.
      for (const Button& b : s.buttons)
        if (b.id == a.button) PostMessageW(s.window, WM_COMMAND, MAKEWPARAM(b.id, BN_CLICKED), (LPARAM)b.window);
      break;
    case Choice::kEscape:
      PostMessageW(s.window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
      PostMessageW(s.window, WM_KEYUP, VK_ESCAPE, 0xC0010001);
      break;
    case Choice::kClose:
      PostMessageW(s.window, WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
  }
}

// Waits for the window to go; false when it stays: the answer did not end
// it, and its thread has taken up waiting again.
bool Gone(HWND w) {
  for (int waited = 0; waited < 5000; waited += 25) {
    if (!IsWindow(w) || !IsWindowVisible(w)) return true;
    if (waited >= 500 && Settled(w) && IsWindow(w) && IsWindowVisible(w)) return false;
    Sleep(25);
  }
  return false;
}

// ---------------------------------------------------------------------------

std::wstring RegisteredRemovals() {
  HKEY key;
  const wchar_t* path = L"System\\CurrentControlSet\\Control\\Session Manager";
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_SET_VALUE, &key) != ERROR_SUCCESS) return L"";
  DWORD type, size = 0;
  std::wstring out;
  if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<wchar_t> data(size / 2 + 2, 0);
    RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, (BYTE*)data.data(), &size);
    // Pairs of names: the file, then its new name, empty for a deletion.
    for (const wchar_t* p = data.data(); p < data.data() + size / 2;) {
      std::wstring from = p;
      p += from.size() + 1;
      if (from.empty()) break;
      std::wstring to = p;
      p += to.size() + 1;
      if (from.rfind(L"\\??\\", 0) == 0) from = from.substr(4);
      out += (to.empty() ? L"restart " : L"rename ") + from + L"\n";
    }
    // The next run starts with none, unless the harness wants to see them
    // carried out at the next start of Windows.
    if (!Exists(L"keep-removals")) RegDeleteValueW(key, L"PendingFileRenameOperations");
  }
  RegCloseKey(key);
  return out;
}

Programs* watched = nullptr;

int Finish(const std::string& how, int status) {
  if (watched) WriteFileText(L"programs.txt", Utf8(watched->Files()));
  WriteFileText(L"removals.txt", Utf8(RegisteredRemovals()));
  WriteFileText(L"done.txt", how + "\n");
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: robot.exe CONTROL-FOLDER\n");
    return 2;
  }
  control = argv[1];
  if (control.back() != L'\\') control += L'\\';

  std::string command, cwd, env;
  if (!ReadFileText(L"command.txt", &command)) return Finish("no command.txt", 2);
  ReadFileText(L"cwd.txt", &cwd);
  ReadFileText(L"env.txt", &env);
  size_t start = 0;
  while (start < env.size()) {
    size_t end = env.find('\n', start);
    if (end == std::string::npos) end = env.size();
    std::string line = Trim(env.substr(start, end - start));
    size_t equals = line.find('=');
    if (equals != std::string::npos)
      SetEnvironmentVariableW(Wide(line.substr(0, equals)).c_str(), Wide(line.substr(equals + 1)).c_str());
    start = end + 1;
  }

  std::wstring line = Wide(Trim(command));
  std::wstring folder = Wide(Trim(cwd));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.empty() ? nullptr : folder.c_str(),
                      &startup, &process))
    return Finish("cannot start " + Trim(command) + ": error " + std::to_string(GetLastError()), 2);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  Programs programs(process.dwProcessId);
  watched = &programs;
  DWORD started = GetTickCount(), deadline = started + 90000;
  // Every scenario shows a window within a second or two. A program that
  // shows none for this long has stalled where it cannot be answered (Wine
  // has been seen to stall a starting process): the harness is told, so it
  // can note the state of the machine and run the scenario again.
  const DWORD kFirstWindowLimit = 30000;
  bool shown = false;
  int asked = 0;
  HWND last = nullptr;
  std::string lastRecord;
  while (programs.Running()) {
    if ((int)(GetTickCount() - deadline) > 0) {
      programs.EndAll();
      return Finish("timed out", 1);
    }
    shown = shown || AnyShown(programs);
    if (!shown && GetTickCount() - started > kFirstWindowLimit) {
      std::string diagnosis = Diagnosis(programs);
      WriteFileText(L"stalled.txt", diagnosis);
      for (int i = 0; i < 100 && !Exists(L"stalled-seen"); ++i) Sleep(50);
      programs.EndAll();
      return Finish("stalled: nothing shown in " + std::to_string(kFirstWindowLimit / 1000) + " s\n" + diagnosis, 4);
    }
    HWND w = Waiting(programs);
    if (!w || !Settled(w)) {
      Sleep(20);
      continue;
    }
    Scene scene = Look(w);
    if (scene.box) {
      // The icon is known by its pixels, once the box is drawn: on a loaded
      // machine the screen may show it a few seconds late. A box with no
      // icon control shows none, which a second's looking settles.
      DWORD looked = GetTickCount();
      for (int i = 0; scene.icon.empty(); ++i) {
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Settled(w);
        Sleep(i < 2 ? 30 : 100);
        scene.icon = IconShown(w);
        bool hasIcon = false;
        for (HWND c : Children(w)) hasIcon |= IsIcon(c);
        DWORD spent = GetTickCount() - looked;
        if ((!hasIcon && spent > 1000) || spent > 15000) break;
      }
    }
    std::string record = Describe(scene);
    // An answer that leaves the window as it was adds only an answer line.
    if (w != last || record != lastRecord) {
      WriteFileText(L"transcript.txt", record, true);
      SavePicture();
    }
    last = w;
    lastRecord = record;

    ++asked;
    std::wstring n = std::to_wstring(asked);
    WriteFileText(L"ask-" + n + L".tmp", record);
    MoveFileExW((control + L"ask-" + n + L".tmp").c_str(), (control + L"ask-" + n + L".txt").c_str(),
                MOVEFILE_REPLACE_EXISTING);
    std::string typed;
    for (;;) {
      if (Exists(L"eof-" + n)) {
        WriteFileText(L"transcript.txt", "  answer: (end of input)\n", true);
        programs.EndAll();
        while (programs.Running()) Sleep(20);
        return Finish("a box was left without an answer", 3);
      }
      if (ReadFileText(L"answer-" + n + L".txt", &typed)) break;
      if ((int)(GetTickCount() - deadline) > 0) {
        programs.EndAll();
        return Finish("no answer came", 1);
      }
      Sleep(10);
    }
    Answer answer;
    if (!Parse(scene, typed, &answer)) {
      programs.EndAll();
      return Finish("\"" + Trim(typed) + "\" is none of this box's answers", 1);
    }
    WriteFileText(L"transcript.txt", "  answer: " + AnswerText(scene, answer) + "\n", true);
    Deliver(scene, answer);
    if (Gone(w)) last = nullptr;
  }
  return Finish("ok", 0);
}
