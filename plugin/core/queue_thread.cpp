#include "core/queue_thread.h"

#include "ce/handle.h"
#include "ce/sync.h"

namespace qel {

CQelQueueThread::CQelQueueThread(const char16_t* name, bool selfDelete)
    : CQelThread(name, selfDelete), queued_(ce::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CQelQueueThread::~CQelQueueThread() {
  queued_.reset();  // before the queue is emptied, not after it as a member would be
  Hold hold(lock_);
  while (CQelQueueRequest* r = head_) {
    head_ = r->next_;
    delete r;
  }
  tail_ = nullptr;
  count_ = 0;
}

void CQelQueueThread::Put(CQelQueueRequest* request) {
  if (!request) return;
  Hold hold(lock_);
  request->next_ = nullptr;
  (tail_ ? tail_->next_ : head_) = request;
  tail_ = request;
  ++count_;
  ce::SetEvent(queued_.get());
}

bool CQelQueueThread::Get(CQelQueueRequest** out) {
  ce::WaitForSingleObject(queued_.get(), INFINITE);
  CQelQueueRequest* request = nullptr;
  lock_.Enter();
  while (!head_) {
    lock_.Leave();
    ce::WaitForSingleObject(queued_.get(), INFINITE);
    lock_.Enter();
  }
  request = head_;
  head_ = request->next_;
  if (!head_) {
    tail_ = nullptr;
    ce::ResetEvent(queued_.get());
  }
  --count_;
  lock_.Leave();
  request->next_ = nullptr;
  if (request->type() == 0) {
    delete request;
    if (out) *out = nullptr;
    return false;
  }
  if (out) *out = request;
  return true;
}

void CQelQueueThread::Clear() {
  CQelQueueRequest* doomed = nullptr;
  {
    Hold hold(lock_);
    doomed = head_;
    head_ = tail_ = nullptr;
    count_ = 0;
    ce::ResetEvent(queued_.get());
  }
  // Destroyed outside the lock: a request's destructor may wake its waiter.
  while (CQelQueueRequest* r = doomed) {
    doomed = r->next_;
    delete r;
  }
}

uint32_t CQelQueueThread::count() {
  Hold hold(lock_);
  return count_;
}

}  // namespace qel
