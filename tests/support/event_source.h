// An event source for the HAL event handler over an auto-reset event of its
// own: the test fires it, and it counts the calls it gets back.
#pragma once

#include <atomic>
#include <functional>
#include <utility>

#include "ce/handle.h"
#include "ce/sync.h"
#include "qel/hal_event.h"
#include "qel/refcounted.h"

namespace qeltest {

class EventSource final : public IQelHalEventSource, public CQelRefCounted {
 public:
  // onSignaled, when given, runs on the handler's thread with the source's id.
  explicit EventSource(int id, std::function<void(int)> onSignaled = nullptr)
      : id_(id),
        event_(ce::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
        onSignaled_(std::move(onSignaled)) {}
  int32_t AddRef() override { return CQelRefCounted::AddRef(); }
  int32_t Release() override { return CQelRefCounted::Release(); }
  void* GetHandle() override { return event_.get(); }
  bool OnSignaled() override {
    ++signaled;
    if (onSignaled_) onSignaled_(id_);
    return true;
  }
  void Fire() { ce::SetEvent(event_.get()); }

  std::atomic<int> signaled{0};

 private:
  int id_;
  ce::UniqueHandle event_;
  std::function<void(int)> onSignaled_;
};

}  // namespace qeltest
