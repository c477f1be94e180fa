#include "msgqueue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "api.h"
#include "ce/error.h"
#include "ce/msgqueue.h"
#include "kernel.h"
#include "last_error.h"
#include "threads.h"

#ifndef ERROR_NO_DATA
#define ERROR_NO_DATA 232
#endif

namespace ce {
namespace sim {

MsgQueue::MsgQueue(DWORD maxMessages, DWORD maxMessageBytes)
    : maxMessages_(maxMessages), maxBytes_(maxMessageBytes), fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

MsgQueue::~MsgQueue() {
  if (fd_ >= 0) ::close(fd_);
}

bool MsgQueue::TryAcquire() {
  std::lock_guard lock(mu_);
  return !messages_.empty();
}

DWORD MsgQueue::Write(const void* data, DWORD bytes) {
  if (bytes > maxBytes_) return ERROR_INSUFFICIENT_BUFFER;
  std::lock_guard lock(mu_);
  if (maxMessages_ != 0 && messages_.size() >= maxMessages_) return ERROR_OUTOFMEMORY;
  const auto* p = static_cast<const uint8_t*>(data);
  messages_.emplace_back(p, p + bytes);
  if (messages_.size() == 1) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
  }
  return ERROR_SUCCESS;
}

DWORD MsgQueue::Read(void* buffer, DWORD size, DWORD* bytes) {
  std::lock_guard lock(mu_);
  if (messages_.empty()) return ERROR_NO_DATA;
  const auto& front = messages_.front();
  *bytes = DWORD(front.size());
  if (front.size() > size) return ERROR_INSUFFICIENT_BUFFER;
  if (!front.empty()) std::memcpy(buffer, front.data(), front.size());
  messages_.pop_front();
  if (messages_.empty()) {
    uint64_t v;
    [[maybe_unused]] ssize_t n = ::read(fd_, &v, sizeof v);
  }
  return ERROR_SUCCESS;
}

namespace {

std::shared_ptr<MsgQueueEnd> LookupEnd(HANDLE h) {
  auto end = LookupHandleAs<MsgQueueEnd>(h);
  if (!end) SetLastError(ERROR_INVALID_HANDLE);
  return end;
}

}  // namespace
}  // namespace sim

namespace sim::api {

HANDLE CreateMsgQueue(LPCWSTR name, MSGQUEUEOPTIONS* options) {
  using namespace sim;
  if (!options || options->dwSize != sizeof(MSGQUEUEOPTIONS) || options->cbMaxMessage == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto make = [&] { return std::make_shared<MsgQueue>(options->dwMaxMessages, options->cbMaxMessage); };
  std::shared_ptr<MsgQueue> queue;
  auto outcome = NamedObjects::Outcome::kCreated;
  if (name && *name)
    queue = Kernel::Get().names.Open<MsgQueue>(name, make, &outcome);
  else
    queue = make();
  if (outcome == NamedObjects::Outcome::kOtherKind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!queue->ok()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HANDLE h = AddHandle(std::make_shared<MsgQueueEnd>(queue, options->bReadAccess != FALSE));
  SetLastError(outcome == NamedObjects::Outcome::kOpened ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

BOOL CloseMsgQueue(HANDLE queue) {
  if (!sim::LookupEnd(queue)) return FALSE;
  return sim::RemoveHandle(queue) ? TRUE : FALSE;
}

BOOL ReadMsgQueue(HANDLE queue, void* buffer, DWORD bufferSize, DWORD* bytesRead, DWORD timeout,
                  DWORD* flags) {
  using Clock = std::chrono::steady_clock;
  auto end = sim::LookupEnd(queue);
  if (!end) return FALSE;
  if (!end->reads() || !buffer || !bytesRead) {
    SetLastError(end->reads() ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
  while (true) {
    const DWORD r = end->queue()->Read(buffer, bufferSize, bytesRead);
    if (r == ERROR_SUCCESS) {
      if (flags) *flags = 0;
      return TRUE;
    }
    if (r != ERROR_NO_DATA) {
      SetLastError(r);
      return FALSE;
    }
    int wait = -1;
    if (timeout != INFINITE) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        SetLastError(ERROR_TIMEOUT);
        return FALSE;
      }
      wait = int(std::min<long long>(left, 1 << 30));
    }
    pollfd p{end->queue()->WaitFd(), POLLIN, 0};
    sim::CancellationPoint cancellable;
    ::poll(&p, 1, wait);
  }
}

BOOL WriteMsgQueue(HANDLE queue, const void* buffer, DWORD bufferSize, DWORD, DWORD) {
  auto end = sim::LookupEnd(queue);
  if (!end) return FALSE;
  if (end->reads() || (!buffer && bufferSize)) {
    SetLastError(end->reads() ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD r = end->queue()->Write(buffer, bufferSize);
  if (r != ERROR_SUCCESS) {
    SetLastError(r);
    return FALSE;
  }
  return TRUE;
}

}  // namespace sim::api
}  // namespace ce
