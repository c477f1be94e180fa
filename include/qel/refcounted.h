// The reference-counted base shared by every object that crosses the module
// boundary. The count is a data member on purpose: host interfaces derive from
// this class virtually, and a virtual base that carries data is not folded into
// the primary vtable, so those interfaces keep their own operations from slot 0.
#pragma once

#include <cstdint>

#include "qel/ms_layout.h"

#if __has_include(<atomic>)
#include <atomic>
#define QEL_STD_ATOMIC_COUNT 1
#else
// A build without the C++ library (a test host in Microsoft's layout): the
// compiler's own atomics on a plain count.
#define QEL_STD_ATOMIC_COUNT 0
#endif

class CQelRefCounted {
 public:
  CQelRefCounted(const CQelRefCounted&) = delete;
  CQelRefCounted& operator=(const CQelRefCounted&) = delete;

#if QEL_STD_ATOMIC_COUNT
  // slot 0
  virtual int32_t AddRef() { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // slot 1: destroys the object through the virtual destructor at zero.
  virtual int32_t Release() {
    const int32_t now = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (now == 0) delete this;
    return now;
  }
#else
  virtual int32_t AddRef() { return __atomic_add_fetch(&count_, 1, __ATOMIC_RELAXED); }
  virtual int32_t Release() {
    const int32_t now = __atomic_sub_fetch(&count_, 1, __ATOMIC_ACQ_REL);
    if (now == 0) delete this;
    return now;
  }
#endif
  // slot 2 in Microsoft's layout; slots 2 and 3 (complete and deleting) elsewhere.
  QEL_SCALAR_DELETING_DESTRUCTOR(CQelRefCounted)
  virtual ~CQelRefCounted() = default;

#if QEL_STD_ATOMIC_COUNT
  int32_t RefCount() const { return count_.load(std::memory_order_acquire); }
#else
  int32_t RefCount() const { return __atomic_load_n(&count_, __ATOMIC_ACQUIRE); }
#endif

 protected:
  CQelRefCounted() = default;

 private:
#if QEL_STD_ATOMIC_COUNT
  std::atomic<int32_t> count_{1};
#else
  int32_t count_ = 1;
#endif
};
#if QEL_STD_ATOMIC_COUNT
static_assert(sizeof(std::atomic<int32_t>) == 4);
#endif
