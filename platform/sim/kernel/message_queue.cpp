#include "message_queue.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "api.h"
#include "ce/error.h"
#include "kernel.h"
#include "terminal.h"
#include "terminal_objects.h"

namespace ce::sim {
namespace {

// Keeps the calling thread's queue for as long as the thread lives.
thread_local std::shared_ptr<MessageQueue> t_queue;

bool InRange(UINT message, UINT filterMin, UINT filterMax) {
  return (filterMin == 0 && filterMax == 0) || (message >= filterMin && message <= filterMax);
}

// ERROR_SUCCESS, ERROR_NOT_ENOUGH_QUOTA for a full queue, or
// ERROR_INVALID_THREAD_ID for one whose thread has gone.
DWORD SendPosted(int fd, const MSG& msg) {
  const wire::PostedMessage posted = ToWire(msg);
  ssize_t n;
  while ((n = ::send(fd, &posted, sizeof posted, MSG_NOSIGNAL | MSG_DONTWAIT)) < 0 && errno == EINTR) {
  }
  if (n == ssize_t(sizeof posted)) return ERROR_SUCCESS;
  return n < 0 && (errno == EAGAIN || errno == ENOBUFS) ? ERROR_NOT_ENOUGH_QUOTA : ERROR_INVALID_THREAD_ID;
}

}  // namespace

wire::PostedMessage ToWire(const MSG& msg) {
  return {uint64_t(reinterpret_cast<uintptr_t>(msg.hwnd)), msg.message, msg.time, uint64_t(msg.wParam),
          int64_t(msg.lParam)};
}

MSG FromWire(const wire::PostedMessage& p) {
  MSG msg{};
  msg.hwnd = reinterpret_cast<HWND>(uintptr_t(p.hwnd));
  msg.message = p.message;
  msg.time = p.time;
  msg.wParam = WPARAM(p.wParam);
  msg.lParam = LPARAM(p.lParam);
  return msg;
}

MessageQueue::MessageQueue(DWORD thread, HostFd receive, HostFd send, ServerHold hold)
    : thread_(thread), receive_(std::move(receive)), send_(std::move(send)), hold_(std::move(hold)) {}

MessageQueue::~MessageQueue() {
  MessageQueueTable& table = Kernel::Get().messageQueues;
  std::lock_guard lock(table.mu);
  if (auto it = table.byThread.find(thread_); it != table.byThread.end() && it->second.expired())
    table.byThread.erase(it);
}

std::shared_ptr<MessageQueue> MessageQueue::OfCallingThread() {
  if (t_queue) return t_queue;
  const DWORD thread = api::GetCurrentThreadId();
  std::shared_ptr<MessageQueue> queue;
  if (auto objects = CurrentObjects()) {
    auto opened = objects->Open(wire::Kind::kQueue, u"", wire::kCreate, 0, 0, thread);
    if (opened.status != wire::Status::kCreated) return nullptr;
    queue = std::make_shared<MessageQueue>(thread, std::move(opened.event), std::move(opened.page),
                                           ServerHold(objects, opened.id, opened.connection));
  } else {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) return nullptr;
    queue = std::make_shared<MessageQueue>(thread, HostFd(ends[0]), HostFd(ends[1]), ServerHold());
  }
  MessageQueueTable& table = Kernel::Get().messageQueues;
  {
    std::lock_guard lock(table.mu);
    table.byThread[thread] = queue;
  }
  t_queue = queue;
  return queue;
}

std::shared_ptr<MessageQueue> MessageQueue::OfThread(DWORD thread) {
  MessageQueueTable& table = Kernel::Get().messageQueues;
  std::lock_guard lock(table.mu);
  auto it = table.byThread.find(thread);
  return it == table.byThread.end() ? nullptr : it->second.lock();
}

DWORD MessageQueue::Post(const MSG& msg) { return SendPosted(send_.get(), msg); }

void MessageQueue::TakeArrived() {
  wire::PostedMessage posted;
  ssize_t n;
  while ((n = ::recv(receive_.get(), &posted, sizeof posted, MSG_DONTWAIT)) == ssize_t(sizeof posted) ||
         (n < 0 && errno == EINTR))
    if (n > 0) arrived_.push_back(FromWire(posted));
}

bool MessageQueue::Peek(MSG* msg, UINT filterMin, UINT filterMax, bool remove) {
  TakeArrived();
  for (auto it = arrived_.begin(); it != arrived_.end(); ++it) {
    if (!InRange(it->message, filterMin, filterMax)) continue;
    *msg = *it;
    if (remove) arrived_.erase(it);
    return true;
  }
  return false;
}

DWORD PostToOtherProcess(DWORD thread, const MSG& msg) {
  auto objects = CurrentObjects();
  if (!objects) return ERROR_INVALID_THREAD_ID;
  auto opened = objects->Open(wire::Kind::kQueue, u"", 0, 0, 0, thread);
  if (opened.status != wire::Status::kOpened) return ERROR_INVALID_THREAD_ID;
  ServerHold hold(objects, opened.id, opened.connection);
  return SendPosted(opened.event.get(), msg);
}

}  // namespace ce::sim
