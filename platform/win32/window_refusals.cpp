// The device's refusals where a desktop, or Wine, answers otherwise: a class
// without a procedure or a name is refused (a desktop registers it), a window
// of a class that does not exist says so as on Windows, and destroying a
// window that is none says that (Wine says access is denied).
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

}  // namespace ce
