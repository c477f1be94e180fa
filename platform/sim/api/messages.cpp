// Messages between threads, of this process or of another on the terminal.
#include <poll.h>

#include "api.h"
#include "ce/error.h"
#include "ce/window.h"
#include "last_error.h"
#include "message_queue.h"
#include "threads.h"

namespace ce::sim::api {
namespace {

// No windows yet: a window handle names nothing.
bool NoWindow(HWND hwnd) {
  if (!hwnd) return true;
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return false;
}

}  // namespace

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = GetTickCount();
  DWORD error = ERROR_INVALID_THREAD_ID;
  if (auto local = sim::MessageQueue::OfThread(threadId))
    error = local->Post(msg);
  else if (threadId != 0)
    error = sim::PostToOtherProcess(threadId, msg);
  if (error == ERROR_SUCCESS) return TRUE;
  SetLastError(error);
  return FALSE;
}

BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMessage) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!NoWindow(hwnd)) return FALSE;
  auto queue = sim::MessageQueue::OfCallingThread();
  if (!queue) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return queue->Peek(msg, filterMin, filterMax, removeMessage & PM_REMOVE) ? TRUE : FALSE;
}

BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!NoWindow(hwnd)) return -1;
  auto queue = sim::MessageQueue::OfCallingThread();
  if (!queue) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return -1;
  }
  while (!queue->Peek(msg, filterMin, filterMax, true)) {
    // Messages outside the range stay in the owner's list, not in the
    // socket, so the socket turns readable only for new ones.
    pollfd p{queue->ReceiveFd(), POLLIN, 0};
    sim::CancellationPoint cancellable;
    ::poll(&p, 1, -1);
  }
  return msg->message == WM_QUIT ? 0 : 1;
}

}  // namespace ce::sim::api
