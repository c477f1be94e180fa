// Message queues of the simulated kernel. The queue is one object; each
// handle is an end of it, for reading (waitable while messages wait) or for
// writing.
#pragma once

#include <deque>
#include <mutex>
#include <vector>

#include "ce/types.h"
#include "handles.h"

namespace ce::sim {

class MsgQueue final : public KernelObject {
 public:
  MsgQueue(DWORD maxMessages, DWORD maxMessageBytes);
  ~MsgQueue() override;
  bool ok() const { return fd_ >= 0; }
  int WaitFd() const override { return fd_; }
  bool TryAcquire() override;
  DWORD maxMessageBytes() const { return maxBytes_; }

  // ERROR_SUCCESS, ERROR_INSUFFICIENT_BUFFER (above the maximum size) or
  // ERROR_OUTOFMEMORY (full).
  DWORD Write(const void* data, DWORD bytes);
  // Takes the oldest message into buffer: ERROR_SUCCESS, ERROR_NO_DATA (empty)
  // or ERROR_INSUFFICIENT_BUFFER (kept; *bytes says how big it is).
  DWORD Read(void* buffer, DWORD size, DWORD* bytes);

 private:
  const DWORD maxMessages_;
  const DWORD maxBytes_;
  const int fd_;  // readable while messages wait
  std::mutex mu_;
  std::deque<std::vector<uint8_t>> messages_;
};

class MsgQueueEnd final : public KernelObject {
 public:
  MsgQueueEnd(std::shared_ptr<MsgQueue> queue, bool read) : queue_(std::move(queue)), read_(read) {}
  int WaitFd() const override { return read_ ? queue_->WaitFd() : -1; }
  bool TryAcquire() override { return queue_->TryAcquire(); }
  const std::shared_ptr<MsgQueue>& queue() const { return queue_; }
  bool reads() const { return read_; }

 private:
  std::shared_ptr<MsgQueue> queue_;
  bool read_;
};

}  // namespace ce::sim
