// This process's window classes and windows: what only the process that made
// a window knows (its class, procedure, user data and extra bytes). What every
// process on the terminal sees of a window (class name, title, owner,
// rectangle, style) the terminal's object server keeps.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ce/window.h"

namespace ce::sim {

struct WindowClass {
  std::u16string name;  // as registered
  ATOM atom = 0;
  WNDPROC proc = nullptr;
  int windowExtra = 0;
  HINSTANCE instance = nullptr;
  size_t windows = 0;  // live windows of the class
};

struct Window {
  HWND hwnd = nullptr;
  HWND parent = nullptr;
  DWORD thread = 0;
  std::shared_ptr<WindowClass> windowClass;
  WNDPROC proc = nullptr;
  LONG_PTR userData = 0;
  LONG_PTR id = 0;
  std::vector<BYTE> extra;
  bool destroying = false;
};

// Every field of the table and of what it holds is guarded by mu.
struct WindowTable {
  std::mutex mu;
  std::map<std::u16string, std::shared_ptr<WindowClass>> classes;  // by folded name
  std::map<uintptr_t, std::shared_ptr<Window>> windows;            // by handle
  ATOM nextAtom = 0xC000;                                          // where the system's atoms start

  std::shared_ptr<Window> Find(HWND hwnd) {
    std::lock_guard lock(mu);
    auto it = windows.find(reinterpret_cast<uintptr_t>(hwnd));
    return it == windows.end() ? nullptr : it->second;
  }
};

}  // namespace ce::sim
