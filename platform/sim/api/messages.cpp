// Messages between threads and to windows, of this process or of another on
// the terminal.
#include <poll.h>

#include "api.h"
#include "ce/error.h"
#include "ce/window.h"
#include "kernel.h"
#include "last_error.h"
#include "message_queue.h"
#include "sent_messages.h"
#include "terminal.h"
#include "terminal_objects.h"
#include "threads.h"

namespace ce::sim::api {
namespace {

// How often a sender that waits for its result checks that the window still lives.
constexpr int kSendCheckMs = 100;

wire::PostedMessage Posted(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.hwnd = hwnd;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = GetTickCount();
  return sim::ToWire(msg);
}

BOOL Failed(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// A filter names no window, thread messages only, or a window of this process.
bool GoodFilter(HWND hwnd) {
  if (!hwnd || hwnd == HWND(-1) || sim::Kernel::Get().windows.Find(hwnd)) return true;
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return false;
}

// The thread whose queue gets the window's messages, of this process or
// another on the terminal; 0 for no window.
DWORD ThreadOfWindow(HWND hwnd) {
  if (!hwnd) return 0;
  if (auto own = sim::Kernel::Get().windows.Find(hwnd)) {
    std::lock_guard lock(sim::Kernel::Get().windows.mu);
    return own->thread;
  }
  auto objects = sim::CurrentObjects();
  if (!objects) return 0;
  auto found = objects->FindWindows(wire::kFindHandle, uint32_t(reinterpret_cast<uintptr_t>(hwnd)), {});
  return found && !found->empty() ? found->front().thread : 0;
}

// Until the queue's socket turns readable (true), or ms pass.
bool WaitForMessages(const sim::MessageQueue& queue, int ms) {
  pollfd p{queue.ReceiveFd(), POLLIN, 0};
  sim::CancellationPoint cancellable;
  return ::poll(&p, 1, ms) != 0;
}

}  // namespace

void RunSentMessages(sim::MessageQueue& queue) {
  while (auto sent = queue.TakeSent()) {
    const MSG msg = sim::FromWire(*sent);
    wire::PostedMessage reply;
    reply.delivery = wire::Delivery::kReply;
    reply.sendId = sent->sendId;
    // A window gone before its turn answers 0.
    auto window = sim::Kernel::Get().windows.Find(msg.hwnd);
    if (window) reply.lParam = int64_t(api::DispatchMessageW(&msg));
    sim::PostToThread(sent->sender, reply);
  }
}

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  const DWORD error = sim::PostToThread(threadId, Posted(nullptr, message, wParam, lParam));
  return error == ERROR_SUCCESS ? TRUE : Failed(error);
}

BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMessage) {
  if (!msg) return Failed(ERROR_INVALID_PARAMETER);
  if (!GoodFilter(hwnd)) return FALSE;
  auto queue = sim::MessageQueue::OfCallingThread();
  if (!queue) return Failed(ERROR_NOT_ENOUGH_MEMORY);
  RunSentMessages(*queue);
  return queue->Peek(msg, hwnd, filterMin, filterMax, removeMessage & PM_REMOVE) ? TRUE : FALSE;
}

BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!GoodFilter(hwnd)) return -1;
  auto queue = sim::MessageQueue::OfCallingThread();
  if (!queue) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return -1;
  }
  while (true) {
    RunSentMessages(*queue);
    if (queue->Peek(msg, hwnd, filterMin, filterMax, true)) break;
    // Messages outside the range stay in the owner's lists, not in the
    // socket, so the socket turns readable only for new ones.
    if (!queue->HasSent()) WaitForMessages(*queue, -1);
  }
  return msg->message == WM_QUIT ? 0 : 1;
}

void PostQuitMessage(int exitCode) {
  if (auto queue = sim::MessageQueue::OfCallingThread())
    queue->Post(Posted(nullptr, WM_QUIT, WPARAM(exitCode), 0));
}

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!hwnd) {
    auto queue = sim::MessageQueue::OfCallingThread();
    if (!queue) return Failed(ERROR_NOT_ENOUGH_MEMORY);
    const DWORD error = queue->Post(Posted(nullptr, message, wParam, lParam));
    return error == ERROR_SUCCESS ? TRUE : Failed(error);
  }
  const DWORD thread = ThreadOfWindow(hwnd);
  if (!thread) return Failed(ERROR_INVALID_WINDOW_HANDLE);
  const DWORD error = sim::PostToThread(thread, Posted(hwnd, message, wParam, lParam));
  // Its thread is gone, and the window with it.
  if (error == ERROR_INVALID_THREAD_ID) return Failed(ERROR_INVALID_WINDOW_HANDLE);
  return error == ERROR_SUCCESS ? TRUE : Failed(error);
}

LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const DWORD thread = ThreadOfWindow(hwnd);
  if (!thread) return Failed(ERROR_INVALID_WINDOW_HANDLE);
  const DWORD self = GetCurrentThreadId();
  if (thread == self) {
    MSG msg{};
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    return api::DispatchMessageW(&msg);
  }
  auto queue = sim::MessageQueue::OfCallingThread();
  if (!queue) return Failed(ERROR_NOT_ENOUGH_MEMORY);
  const uint64_t id = queue->Await();
  wire::PostedMessage sent = Posted(hwnd, message, wParam, lParam);
  sent.delivery = wire::Delivery::kSent;
  sent.sender = self;
  sent.sendId = id;
  if (const DWORD error = sim::PostToThread(thread, sent); error != ERROR_SUCCESS) {
    queue->Forget(id);
    return Failed(error == ERROR_INVALID_THREAD_ID ? ERROR_INVALID_WINDOW_HANDLE : error);
  }
  while (true) {
    // What others send to this thread's windows runs meanwhile: two threads
    // sending to each other both get their answers.
    RunSentMessages(*queue);
    if (auto result = queue->ReplyTo(id)) {
      queue->Forget(id);
      return *result;
    }
    if (queue->HasSent()) continue;
    if (!WaitForMessages(*queue, kSendCheckMs) && !IsWindow(hwnd) && !queue->ReplyTo(id)) {
      queue->Forget(id);
      return Failed(ERROR_INVALID_WINDOW_HANDLE);
    }
  }
}

}  // namespace ce::sim::api
