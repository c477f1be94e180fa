// The device's refusals where a desktop, or Wine, answers otherwise: a class
// without a procedure or a name is refused (a desktop registers it), a window
// of a class that does not exist says so as on Windows, destroying a window
// that is none says that (Wine says access is denied), a window moved so that
// an edge lies beyond 32 bits stays where it was (a desktop clips it), and a
// rectangle is read into a record only.
#include <cstdint>

#include "ce/error.h"
#include "ce/window.h"

namespace ce {

ATOM RegisterClassW(const WNDCLASSW* wndClass) {
  if (!wndClass || !wndClass->lpfnWndProc || !wndClass->lpszClassName) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return ::RegisterClassW(reinterpret_cast<const ::WNDCLASSW*>(wndClass));
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param) {
  const HWND made = ::CreateWindowExW(exStyle, reinterpret_cast<const wchar_t*>(className),
                                      reinterpret_cast<const wchar_t*>(windowName), style, x, y, width,
                                      height, static_cast<::HWND>(parent), static_cast<::HMENU>(menu),
                                      static_cast<::HINSTANCE>(instance), param);
  if (!made && ::GetLastError() == ERROR_CLASS_DOES_NOT_EXIST) ::SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
  return made;
}

BOOL DestroyWindow(HWND hwnd) {
  if (!::IsWindow(static_cast<::HWND>(hwnd))) {
    ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return ::DestroyWindow(static_cast<::HWND>(hwnd));
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  const int64_t right = int64_t{x} + width, bottom = int64_t{y} + height;
  if (right < INT32_MIN || right > INT32_MAX || bottom < INT32_MIN || bottom > INT32_MAX) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return ::MoveWindow(static_cast<::HWND>(hwnd), x, y, width, height, repaint);
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  if (!rect) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return ::GetWindowRect(static_cast<::HWND>(hwnd), reinterpret_cast<::RECT*>(rect));
}

}  // namespace ce
