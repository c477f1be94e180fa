// The reference-counted base shared by every object that crosses the module
// boundary. The count is a data member on purpose: host interfaces derive from
// this class virtually, and a virtual base that carries data is not folded into
// the primary vtable, so those interfaces keep their own operations from slot 0.
#pragma once

#include <atomic>
#include <cstdint>

class CQelRefCounted {
 public:
  CQelRefCounted(const CQelRefCounted&) = delete;
  CQelRefCounted& operator=(const CQelRefCounted&) = delete;

  // slot 0
  virtual int32_t AddRef() { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // slot 1: destroys the object through the virtual destructor at zero.
  virtual int32_t Release() {
    const int32_t now = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (now == 0) delete this;
    return now;
  }
  // slots 2 and 3 (complete and deleting destructor)
  virtual ~CQelRefCounted() = default;

  int32_t RefCount() const { return count_.load(std::memory_order_acquire); }

 protected:
  CQelRefCounted() = default;

 private:
  std::atomic<int32_t> count_{1};
};
static_assert(sizeof(std::atomic<int32_t>) == 4);
