// Window classes and windows. A window is known terminal-wide through the
// terminal's object server (class name, title, owner, rectangle, style), so
// other processes can find, post to and move it; its class, procedure, user
// data and extra bytes stay in this process's window table.
#include <algorithm>
#include <cstring>

#include "api.h"
#include "case_fold.h"
#include "ce/error.h"
#include "ce/process.h"
#include "ce/window.h"
#include "kernel.h"
#include "last_error.h"
#include "processes.h"
#include "terminal.h"
#include "terminal_objects.h"

namespace ce::sim::api {
namespace {

sim::WindowTable& Table() { return sim::Kernel::Get().windows; }

uint32_t Value(HWND hwnd) { return uint32_t(reinterpret_cast<uintptr_t>(hwnd)); }
HWND Handle(uint32_t value) { return reinterpret_cast<HWND>(uintptr_t{value}); }

// A class may be named by its atom (MAKEINTATOM) instead of a string.
bool IsAtom(LPCWSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

std::shared_ptr<sim::WindowClass> ClassLocked(LPCWSTR name) {
  sim::WindowTable& table = Table();
  if (!name) return nullptr;
  if (IsAtom(name)) {
    const ATOM atom = ATOM(reinterpret_cast<uintptr_t>(name));
    for (const auto& [key, c] : table.classes)
      if (c->atom == atom) return c;
    return nullptr;
  }
  auto it = table.classes.find(sim::FoldName(name));
  return it == table.classes.end() ? nullptr : it->second;
}

void PutText(char16_t* to, uint32_t* units, LPCWSTR text) {
  const std::u16string_view view = text ? std::u16string_view(text) : std::u16string_view();
  *units = uint32_t(std::min<size_t>(view.size(), wire::kMaxName));
  std::copy_n(view.data(), *units, to);
}

BOOL Failed(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// What the terminal knows of the window; nullopt for none.
std::optional<wire::WindowRecord> Record(HWND hwnd) {
  auto objects = sim::CurrentObjects();
  if (!hwnd || !objects) return std::nullopt;
  auto found = objects->FindWindows(wire::kFindHandle, Value(hwnd), {});
  if (!found || found->empty()) return std::nullopt;
  return found->front();
}

// Changes what the terminal knows of the window; false (the error set) for
// no window. styleBefore, when not null: the style before.
bool Change(HWND hwnd, uint32_t what, const wire::WindowRecord& values, uint32_t* styleBefore = nullptr) {
  auto objects = sim::CurrentObjects();
  if (hwnd && objects) {
    if (auto before = objects->ChangeWindow(Value(hwnd), what, values)) {
      if (styleBefore) *styleBefore = *before;
      return true;
    }
  }
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return false;
}

// A window of another process is reached only by what the terminal keeps.
DWORD NotOwnError(HWND hwnd) { return Record(hwnd) ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE; }

// Takes the window out of this process's table and the terminal's.
void Forget(const std::shared_ptr<sim::Window>& window) {
  {
    std::lock_guard lock(Table().mu);
    if (Table().windows.erase(Value(window->hwnd)) == 0) return;
    --window->windowClass->windows;
  }
  if (auto objects = sim::CurrentObjects()) objects->RemoveWindow(Value(window->hwnd));
}

// A thread's windows go when it ends (its queue, which their messages need, goes too).
struct ThreadWindows {
  DWORD thread;
  ~ThreadWindows() {
    std::vector<std::shared_ptr<sim::Window>> mine;
    {
      std::lock_guard lock(Table().mu);
      for (const auto& [value, w] : Table().windows)
        if (w->thread == thread) mine.push_back(w);
    }
    for (const auto& w : mine) Forget(w);
  }
};
thread_local ThreadWindows t_windows{GetCurrentThreadId()};

// Reads or writes one value of a window of this process: GWL_USERDATA,
// GWL_WNDPROC, GWL_ID, or width bytes of its extra bytes. value: the new one,
// or null to read. False, with the error set, for a bad window or index.
bool WindowLong(HWND hwnd, int index, size_t width, const LONG_PTR* value, LONG_PTR* before) {
  auto window = Table().Find(hwnd);
  if (!window) return Failed(NotOwnError(hwnd));
  // A procedure does not fit in 32 bits on a 64-bit system: only the pointer-wide calls reach it.
  if (index == GWL_WNDPROC && width < sizeof(WNDPROC)) return Failed(ERROR_INVALID_INDEX);
  if (index == GWL_WNDPROC && value && !*value) return Failed(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(Table().mu);
  LONG_PTR* field = nullptr;
  LONG_PTR proc = reinterpret_cast<LONG_PTR>(window->proc);
  switch (index) {
    case GWL_USERDATA:
      field = &window->userData;
      break;
    case GWL_ID:
      field = &window->id;
      break;
    case GWL_WNDPROC:
      field = &proc;
      break;
    default:
      if (index < 0 || size_t(index) + width > window->extra.size()) return Failed(ERROR_INVALID_INDEX);
      if (width == sizeof(LONG)) {
        LONG old = 0;
        std::memcpy(&old, window->extra.data() + index, width);
        *before = old;
        if (value) {
          const LONG now = LONG(*value);
          std::memcpy(window->extra.data() + index, &now, width);
        }
      } else {
        std::memcpy(before, window->extra.data() + index, width);
        if (value) std::memcpy(window->extra.data() + index, value, width);
      }
      return true;
  }
  *before = *field;
  if (value) *field = width == sizeof(LONG) ? LONG_PTR(LONG(*value)) : *value;
  if (value && index == GWL_WNDPROC) window->proc = reinterpret_cast<WNDPROC>(proc);
  return true;
}

LONG_PTR GetLong(HWND hwnd, int index, size_t width) {
  if (index == GWL_STYLE || index == GWL_EXSTYLE) {
    auto record = Record(hwnd);
    if (!record) return Failed(ERROR_INVALID_WINDOW_HANDLE);
    return LONG(index == GWL_STYLE ? record->style : record->exStyle);
  }
  LONG_PTR before = 0;
  return WindowLong(hwnd, index, width, nullptr, &before) ? before : 0;
}

LONG_PTR SetLong(HWND hwnd, int index, size_t width, LONG_PTR value) {
  if (index == GWL_STYLE || index == GWL_EXSTYLE) {
    if (!Table().Find(hwnd)) return Failed(NotOwnError(hwnd));
    auto record = Record(hwnd);
    wire::WindowRecord values;
    values.style = uint32_t(value);
    values.exStyle = uint32_t(value);
    if (!record || !Change(hwnd, index == GWL_STYLE ? wire::kWindowStyle : wire::kWindowExStyle, values))
      return Failed(ERROR_INVALID_WINDOW_HANDLE);
    return LONG(index == GWL_STYLE ? record->style : record->exStyle);
  }
  LONG_PTR before = 0;
  return WindowLong(hwnd, index, width, &value, &before) ? before : 0;
}

}  // namespace

ATOM RegisterClassW(const WNDCLASSW* wndClass) {
  if (!wndClass || !wndClass->lpfnWndProc || !wndClass->lpszClassName || IsAtom(wndClass->lpszClassName) ||
      !*wndClass->lpszClassName || wndClass->cbWndExtra < 0 || wndClass->cbClsExtra < 0)
    return ATOM(Failed(ERROR_INVALID_PARAMETER));
  std::lock_guard lock(Table().mu);
  const std::u16string key = sim::FoldName(wndClass->lpszClassName);
  if (Table().classes.contains(key)) return ATOM(Failed(ERROR_CLASS_ALREADY_EXISTS));
  auto c = std::make_shared<sim::WindowClass>();
  c->name = wndClass->lpszClassName;
  c->atom = Table().nextAtom++;
  c->proc = wndClass->lpfnWndProc;
  c->windowExtra = wndClass->cbWndExtra;
  c->instance = wndClass->hInstance;
  Table().classes.emplace(key, c);
  return c->atom;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE) {
  std::lock_guard lock(Table().mu);
  auto c = ClassLocked(className);
  if (!c) return Failed(ERROR_CLASS_DOES_NOT_EXIST);
  if (c->windows > 0) return Failed(ERROR_CLASS_HAS_WINDOWS);
  Table().classes.erase(sim::FoldName(c->name));
  return TRUE;
}

HGDIOBJ GetStockObject(int index) {
  // Brushes paint nothing here: each stock one is a distinct handle, and that is all.
  static BYTE brushes[NULL_BRUSH + 1];
  if (index < WHITE_BRUSH || index > NULL_BRUSH) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return &brushes[index];
}

namespace {

// A rectangle's edges from its place and size: false when the right or the
// bottom edge would not fit in 32 bits.
bool Edges(int x, int y, int width, int height, wire::WindowRecord* r) {
  const int64_t right = int64_t(x) + width, bottom = int64_t(y) + height;
  if (right < INT32_MIN || right > INT32_MAX || bottom < INT32_MIN || bottom > INT32_MAX) return false;
  r->left = x;
  r->top = y;
  r->right = int32_t(right);
  r->bottom = int32_t(bottom);
  return true;
}

}  // namespace

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param) {
  std::shared_ptr<sim::WindowClass> windowClass;
  {
    std::lock_guard lock(Table().mu);
    windowClass = ClassLocked(className);
  }
  if (!windowClass) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  if (parent && !IsWindow(parent)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  auto objects = sim::CurrentObjects();
  if (!objects) {
    SetLastError(ERROR_NOT_READY);  // windows are the terminal's: a process without one has none
    return nullptr;
  }
  // Its messages need its thread's queue.
  auto queue = sim::MessageQueue::OfCallingThread();
  if (!queue) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  (void)&t_windows;
  if (x == CW_USEDEFAULT) x = y = 0;
  if (width == CW_USEDEFAULT) width = height = 0;
  wire::WindowRecord record;
  record.parent = Value(parent);
  record.thread = GetCurrentThreadId();
  record.style = style;
  record.exStyle = exStyle;
  if (!Edges(x, y, width, height, &record)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  PutText(record.className, &record.classUnits, windowClass->name.c_str());
  PutText(record.title, &record.titleUnits, windowName);
  const uint32_t value = objects->AddWindow(record);
  if (!value) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto window = std::make_shared<sim::Window>();
  window->hwnd = Handle(value);
  window->parent = parent;
  window->thread = record.thread;
  window->windowClass = windowClass;
  window->proc = windowClass->proc;
  window->id = reinterpret_cast<LONG_PTR>(menu);
  window->extra.assign(size_t(windowClass->windowExtra), 0);
  {
    std::lock_guard lock(Table().mu);
    Table().windows.emplace(value, window);
    ++windowClass->windows;
  }
  CREATESTRUCTW create{param, instance, menu,        parent,     height,    width,
                       y,     x,        LONG(style), windowName, className, exStyle};
  if (SendMessageW(window->hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(window->hwnd);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return window->hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
  auto window = Table().Find(hwnd);
  if (!window) return Failed(NotOwnError(hwnd));
  if (window->thread != GetCurrentThreadId()) return Failed(ERROR_ACCESS_DENIED);
  {
    std::lock_guard lock(Table().mu);
    if (window->destroying) return TRUE;
    window->destroying = true;
  }
  SendMessageW(hwnd, WM_DESTROY, 0, 0);
  std::vector<std::shared_ptr<sim::Window>> children;
  {
    std::lock_guard lock(Table().mu);
    for (const auto& [value, w] : Table().windows)
      if (w->parent == hwnd) children.push_back(w);
  }
  for (const auto& child : children)
    if (!DestroyWindow(child->hwnd)) Forget(child);  // a child of another thread goes all the same
  Forget(window);
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return hwnd && (Table().Find(hwnd) || Record(hwnd)) ? TRUE : FALSE; }

BOOL ShowWindow(HWND hwnd, int command) {
  uint32_t before = 0;
  return Change(hwnd, command == SW_HIDE ? wire::kWindowHide : wire::kWindowShow, {}, &before) &&
                 (before & WS_VISIBLE)
             ? TRUE
             : FALSE;
}

BOOL UpdateWindow(HWND hwnd) { return IsWindow(hwnd) ? TRUE : Failed(ERROR_INVALID_WINDOW_HANDLE); }

LONG GetWindowLongW(HWND hwnd, int index) { return LONG(GetLong(hwnd, index, sizeof(LONG))); }
LONG SetWindowLongW(HWND hwnd, int index, LONG value) {
  return LONG(SetLong(hwnd, index, sizeof(LONG), value));
}
LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) { return GetLong(hwnd, index, sizeof(LONG_PTR)); }
LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
  return SetLong(hwnd, index, sizeof(LONG_PTR), value);
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  if (!rect) return Failed(ERROR_INVALID_PARAMETER);
  auto record = Record(hwnd);
  if (!record) return Failed(ERROR_INVALID_WINDOW_HANDLE);
  *rect = {record->left, record->top, record->right, record->bottom};
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
  wire::WindowRecord values;
  if (!Edges(x, y, cx, cy, &values)) return Failed(ERROR_INVALID_PARAMETER);
  uint32_t what = 0;
  if (!(flags & SWP_NOMOVE)) what |= wire::kWindowMove;
  if (!(flags & SWP_NOSIZE)) what |= wire::kWindowSize;
  if (flags & SWP_SHOWWINDOW) what |= wire::kWindowShow;
  if (flags & SWP_HIDEWINDOW) what |= wire::kWindowHide;
  return Change(hwnd, what, values) ? TRUE : FALSE;
}

HWND GetParent(HWND hwnd) {
  auto record = Record(hwnd);
  SetLastError(record ? ERROR_SUCCESS : ERROR_INVALID_WINDOW_HANDLE);
  return record ? Handle(record->parent) : nullptr;
}

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
  auto objects = sim::CurrentObjects();
  if (!objects) {
    SetLastError(ERROR_NOT_READY);
    return nullptr;
  }
  wire::WindowRecord match;
  uint32_t how = wire::kFindTopLevel;
  if (className) {
    std::u16string name;
    if (IsAtom(className)) {
      std::lock_guard lock(Table().mu);
      auto c = ClassLocked(className);
      if (!c) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
      }
      name = c->name;
    } else {
      name = className;
    }
    PutText(match.className, &match.classUnits, name.c_str());
    how |= wire::kFindClass;
  }
  if (windowName) {
    PutText(match.title, &match.titleUnits, windowName);
    how |= wire::kFindTitle;
  }
  auto found = objects->FindWindows(how, 0, match);
  if (!found || found->empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return Handle(found->front().hwnd);
}

BOOL EnumWindows(WNDENUMPROC proc, LPARAM lParam) {
  if (!proc) return Failed(ERROR_INVALID_PARAMETER);
  auto objects = sim::CurrentObjects();
  if (!objects) return Failed(ERROR_NOT_READY);
  auto found = objects->FindWindows(wire::kFindTopLevel, 0, {});
  if (!found) return Failed(ERROR_NOT_READY);
  for (const wire::WindowRecord& record : *found)
    if (!proc(Handle(record.hwnd), lParam)) return FALSE;
  return TRUE;
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId) {
  auto record = Record(hwnd);
  if (!record) return Failed(ERROR_INVALID_WINDOW_HANDLE);
  if (processId) *processId = record->process;
  return record->thread;
}

BOOL SetForegroundWindow(HWND hwnd) { return Change(hwnd, wire::kWindowForeground, {}) ? TRUE : FALSE; }

HWND GetForegroundWindow() {
  auto objects = sim::CurrentObjects();
  auto found = objects ? objects->FindWindows(wire::kFindForeground, 0, {}) : std::nullopt;
  SetLastError(ERROR_SUCCESS);
  return found && !found->empty() ? Handle(found->front().hwnd) : nullptr;
}

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg) return Failed(ERROR_INVALID_PARAMETER);
  if (!msg->hwnd) return 0;  // a thread message has no procedure
  auto window = Table().Find(msg->hwnd);
  if (!window) return Failed(ERROR_INVALID_WINDOW_HANDLE);
  WNDPROC proc;
  {
    std::lock_guard lock(Table().mu);
    proc = window->proc;
  }
  return proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  // Keys that type a character; without a shift state letters are small.
  const WPARAM key = msg->wParam;
  WPARAM typed = 0;
  if ((key >= '0' && key <= '9') || key == ' ' || key == '\r' || key == '\b' || key == '\t' || key == 0x1B)
    typed = key;
  else if (key >= 'A' && key <= 'Z')
    typed = key - 'A' + 'a';
  if (!typed) return FALSE;
  return PostMessageW(msg->hwnd, WM_CHAR, typed, msg->lParam);
}

LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM, LPARAM) {
  if (message == WM_CLOSE) DestroyWindow(hwnd);
  return 0;
}

}  // namespace ce::sim::api
