// A worker thread that serves a queue of requests. A request of type 0 asks
// the thread to stop serving: Get destroys it and returns false.
#pragma once

#include <cstdint>

#include "ce/handle.h"
#include "ce/types.h"
#include "core/critical_section.h"
#include "core/thread.h"

namespace qel {

class CQelQueueRequest {
 public:
  explicit CQelQueueRequest(uint32_t type) : type_(type) {}
  virtual ~CQelQueueRequest() = default;
  uint32_t type() const { return type_; }

 private:
  friend class CQelQueueThread;
  CQelQueueRequest* next_ = nullptr;
  uint32_t type_;
};

class CQelQueueThread : public CQelThread {
 public:
  explicit CQelQueueThread(const char16_t* name = nullptr, bool selfDelete = false);
  ~CQelQueueThread() override;

  // Appends a request (the queue owns it from now on) and signals the queue.
  void Put(CQelQueueRequest* request);
  // Waits for the next request. A type-0 request is destroyed, *out set to
  // null and false returned; any other is handed to the caller.
  bool Get(CQelQueueRequest** out);
  // Removes and destroys every request still queued.
  void Clear();
  uint32_t count();

 private:
  CriticalSection lock_;
  CQelQueueRequest* head_ = nullptr;
  CQelQueueRequest* tail_ = nullptr;
  uint32_t count_ = 0;
  ce::UniqueHandle queued_;  // manual reset: signalled while requests wait
};

}  // namespace qel
