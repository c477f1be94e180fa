// The device's refusals of bad arguments to the message calls, which Wine
// words otherwise or, for a window that is none, does not refuse at all (its
// GetMessageW then waits for ever): checked here before the system is asked.
#include "ce/error.h"
#include "ce/window.h"

namespace ce {
namespace {

// The filter names a window that is none (NULL and -1 are no windows).
bool NoSuchWindow(HWND hwnd) {
  if (hwnd == nullptr || hwnd == reinterpret_cast<HWND>(-1) || ::IsWindow(static_cast<::HWND>(hwnd)))
    return false;
  ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return true;
}

bool NoRecord(const MSG* msg) {
  if (msg != nullptr) return false;
  ::SetLastError(ERROR_INVALID_PARAMETER);
  return true;
}

}  // namespace

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  if (threadId != 0 && ::PostThreadMessageW(threadId, message, wParam, lParam)) return TRUE;
  // No thread of that id with a queue: Wine says ERROR_INVALID_PARAMETER.
  if (threadId == 0 || ::GetLastError() == ERROR_INVALID_PARAMETER) ::SetLastError(ERROR_INVALID_THREAD_ID);
  return FALSE;
}

BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMessage) {
  if (NoRecord(msg) || NoSuchWindow(hwnd)) return FALSE;
  return ::PeekMessageW(reinterpret_cast<::MSG*>(msg), static_cast<::HWND>(hwnd), filterMin, filterMax,
                        removeMessage);
}

BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (NoRecord(msg) || NoSuchWindow(hwnd)) return -1;
  return ::GetMessageW(reinterpret_cast<::MSG*>(msg), static_cast<::HWND>(hwnd), filterMin, filterMax);
}

}  // namespace ce
