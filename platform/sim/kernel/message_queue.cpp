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
DWORD SendPosted(int fd, const wire::PostedMessage& posted) {
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

void MessageQueue::ReleaseCallingThread() { t_queue.reset(); }

std::shared_ptr<MessageQueue> MessageQueue::OfThread(DWORD thread) {
  MessageQueueTable& table = Kernel::Get().messageQueues;
  std::lock_guard lock(table.mu);
  auto it = table.byThread.find(thread);
  return it == table.byThread.end() ? nullptr : it->second.lock();
}

DWORD MessageQueue::Post(const wire::PostedMessage& message) { return SendPosted(send_.get(), message); }

void MessageQueue::TakeArrived() {
  wire::PostedMessage posted;
  ssize_t n;
  while ((n = ::recv(receive_.get(), &posted, sizeof posted, MSG_DONTWAIT)) == ssize_t(sizeof posted) ||
         (n < 0 && errno == EINTR)) {
    if (n <= 0) continue;
    switch (posted.delivery) {
      case wire::Delivery::kPosted:
        arrived_.push_back(FromWire(posted));
        break;
      case wire::Delivery::kSent:
        sent_.push_back(posted);
        break;
      case wire::Delivery::kReply:
        // A send given up on (its window went) leaves nobody to take its reply.
        if (auto it = awaited_.find(posted.sendId); it != awaited_.end()) it->second = LPARAM(posted.lParam);
        break;
    }
  }
}

bool MessageQueue::Peek(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, bool remove) {
  TakeArrived();
  WindowTable& windows = Kernel::Get().windows;
  for (auto it = arrived_.begin(); it != arrived_.end();) {
    // A window's messages die with it.
    if (it->hwnd && !windows.Find(it->hwnd)) {
      it = arrived_.erase(it);
      continue;
    }
    const bool forHwnd = !hwnd || (hwnd == HWND(-1) ? !it->hwnd : it->hwnd == hwnd);
    if (!forHwnd || !InRange(it->message, filterMin, filterMax)) {
      ++it;
      continue;
    }
    *msg = *it;
    if (remove) arrived_.erase(it);
    return true;
  }
  return false;
}

std::optional<wire::PostedMessage> MessageQueue::TakeSent() {
  TakeArrived();
  if (sent_.empty()) return std::nullopt;
  wire::PostedMessage sent = sent_.front();
  sent_.pop_front();
  return sent;
}

uint64_t MessageQueue::Await() {
  const uint64_t id = ++sends_;
  awaited_[id];
  return id;
}

std::optional<LPARAM> MessageQueue::ReplyTo(uint64_t sendId) {
  TakeArrived();
  auto it = awaited_.find(sendId);
  return it == awaited_.end() ? std::nullopt : it->second;
}

DWORD PostToThread(DWORD thread, const wire::PostedMessage& message) {
  if (auto local = MessageQueue::OfThread(thread)) return local->Post(message);
  if (thread == 0) return ERROR_INVALID_THREAD_ID;
  auto objects = CurrentObjects();
  if (!objects) return ERROR_INVALID_THREAD_ID;
  auto opened = objects->Open(wire::Kind::kQueue, u"", 0, 0, 0, thread);
  if (opened.status != wire::Status::kOpened) return ERROR_INVALID_THREAD_ID;
  ServerHold hold(objects, opened.id, opened.connection);
  return SendPosted(opened.event.get(), message);
}

}  // namespace ce::sim
