#include "ui_windows.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>

#include "platform/posix/text/errors.h"

namespace posix::ui {
namespace {

std::map<uintptr_t, std::unique_ptr<Window>> windows;
uintptr_t nextHandle = 0x10000;

struct Posted {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::deque<Posted> posted;

// Reading order: top to bottom, then left to right.
bool ReadsBefore(const Window* a, const Window* b) { return a->y != b->y ? a->y < b->y : a->x < b->x; }

bool IsIcon(const Window& w) { return w.className == "STATIC" && (w.style & SS_TYPEMASK) == SS_ICON; }

}  // namespace

Window* Find(HWND handle) {
  auto it = windows.find(reinterpret_cast<uintptr_t>(handle));
  if (it == windows.end()) {
    Fail(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return it->second.get();
}

static Window* NewWindow() {
  auto w = std::make_unique<Window>();
  w->handle = reinterpret_cast<HWND>(nextHandle);
  nextHandle += 4;
  Window* raw = w.get();
  windows[reinterpret_cast<uintptr_t>(raw->handle)] = std::move(w);
  return raw;
}

Window* CreateDialogWindow(const DialogTemplate& dialog, Window* owner, DLGPROC proc) {
  Window* d = NewWindow();
  d->parent = owner;
  d->isDialog = true;
  d->id = dialog.id;
  d->text = dialog.caption;
  d->style = dialog.style;
  d->x = dialog.x;
  d->y = dialog.y;
  d->cx = dialog.cx;
  d->cy = dialog.cy;
  d->proc = proc;
  for (int i = 0; i < dialog.controlCount; ++i) {
    const ControlTemplate& c = dialog.controls[i];
    Window* w = NewWindow();
    w->parent = d;
    w->id = c.id;
    w->className = c.className;
    w->text = c.text;
    w->style = c.style;
    w->x = c.x;
    w->y = c.y;
    w->cx = c.cx;
    w->cy = c.cy;
    w->visible = (c.style & WS_VISIBLE) != 0;
    d->children.push_back(w);
  }
  return d;
}

void Destroy(Window* window) {
  for (Window* child : window->children) windows.erase(reinterpret_cast<uintptr_t>(child->handle));
  // Windows it owned lose their owner; messages to it are dropped.
  for (auto& [handle, w] : windows)
    if (w->parent == window) w->parent = nullptr;
  HWND handle = window->handle;
  posted.erase(std::remove_if(posted.begin(), posted.end(), [&](const Posted& p) { return p.window == handle; }),
               posted.end());
  windows.erase(reinterpret_cast<uintptr_t>(handle));
}

bool DispatchPosted() {
  if (posted.empty()) return false;
  Posted p = posted.front();
  posted.pop_front();
  Window* w = Find(p.window);
  if (w && w->isDialog && w->proc) w->proc(p.window, p.message, p.wParam, p.lParam);
  return true;
}

std::vector<std::string> Lines(const Window& window) {
  std::vector<Window*> shown;
  for (Window* c : window.children)
    if (c->visible && c->className != "BUTTON" && !IsIcon(*c)) shown.push_back(c);
  std::stable_sort(shown.begin(), shown.end(), ReadsBefore);
  std::vector<std::string> lines;
  for (Window* c : shown) {
    if (c->className == "msctls_progress32") {
      char bar[48];
      std::snprintf(bar, sizeof bar, "[%d/%d]", c->position, c->high);
      lines.push_back(bar);
    } else {
      lines.push_back(c->text);
    }
  }
  return lines;
}

std::vector<std::string> Behind(const Window* except) {
  std::vector<std::string> out;
  for (auto& [handle, w] : windows) {
    if (!w->isDialog || !w->visible || w.get() == except) continue;
    std::string line;
    for (const std::string& text : Lines(*w)) line += (line.empty() ? "" : " ") + text;
    out.push_back(line);
  }
  return out;
}

}  // namespace posix::ui

using namespace posix::ui;

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!Find(window)) return FALSE;
  posted.push_back({window, message, wParam, lParam});
  return TRUE;
}

static LRESULT ProgressMessage(Window* bar, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT previous = bar->position;
  switch (message) {
    case PBM_SETRANGE:
      previous = MAKELONG(bar->low, bar->high);
      bar->low = LOWORD(lParam);
      bar->high = HIWORD(lParam);
      break;
    case PBM_SETSTEP:
      previous = bar->step;
      bar->step = static_cast<int>(wParam);
      return previous;
    case PBM_STEPIT:
      bar->position += bar->step;
      // Past the end the bar starts over from the beginning.
      if (bar->position > bar->high && bar->high > bar->low)
        bar->position = bar->low + (bar->position - bar->high) % (bar->high - bar->low);
      break;
    case PBM_SETPOS:
      bar->position = static_cast<int>(wParam);
      break;
    case PBM_DELTAPOS:
      bar->position += static_cast<int>(wParam);
      break;
    case PBM_GETPOS:
      return bar->position;
    case PBM_GETRANGE:
      return wParam ? bar->low : bar->high;
    default:
      return 0;
  }
  bar->position = std::clamp(bar->position, bar->low, std::max(bar->low, bar->high));
  if (bar->parent && bar->parent->visible) CurrentUser().Progress(bar->position, bar->low, bar->high);
  return previous;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = Find(window);
  if (!w) return 0;
  if (w->className == "msctls_progress32" && message >= PBM_SETRANGE && message <= PBM_GETPOS)
    return ProgressMessage(w, message, wParam, lParam);
  if (message == WM_SETTEXT) {
    w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
    Window* top = w->isDialog ? w : w->parent;
    if (top && top->visible) ShowChanged(*top);
    return TRUE;
  }
  if (message == WM_GETTEXT) {
    if (wParam == 0) return 0;
    char* out = reinterpret_cast<char*>(lParam);
    size_t n = std::min<size_t>(w->text.size(), wParam - 1);
    w->text.copy(out, n);
    out[n] = 0;
    return static_cast<LRESULT>(n);
  }
  if (w->isDialog && w->proc) return w->proc(window, message, wParam, lParam);
  return 0;
}

BOOL WINAPI IsWindowVisible(HWND window) {
  Window* w = Find(window);
  return w && w->visible && (!w->parent || w->isDialog || w->parent->visible);
}
